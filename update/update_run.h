// One update run: ask the service, and when it offers a newer build, download
// the installer beside the program and start it silently.
#pragma once

#include <string>

// Name of the mutex that keeps one run at a time.
extern const wchar_t kSingleInstanceMutexName[];

// What the service's answer ("version.json") decides.
struct UpdateManifest {
  bool is_update = false;
  std::string download_url;
};

// Reads the manifest text. Anything that is not a well-formed offer (no
// "data" object, no "is_update", values of the wrong kind, text that is not
// JSON) reads as no update.
UpdateManifest ReadUpdateManifest(const std::string& text);

// Performs one run and returns the process exit code:
//  -1 another run holds the mutex; nothing else was done,
//   0 no answer from the service (or no place to put it),
//   1 the answer was read, whatever it said.
int RunUpdate();
