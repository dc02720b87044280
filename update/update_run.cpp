#include "update_run.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <json/reader.h>
#include <json/value.h>

#include <cstring>
#include <exception>

#include "download.h"
#include "files.h"
#include "update_query.h"

const wchar_t kSingleInstanceMutexName[] = L"{AACD344A-4795-4C62-BCA1-67068EB20886}";

namespace {

const wchar_t kWorkDirPrefix[] = L"scoped_dir_mrvda";
const wchar_t kManifestFileName[] = L"version.json";
const char kInstallerFileName[] = "update_file.exe";
const char kInstallerSwitch[] = " /S";

// True when another run already holds the mutex. A mutex this run creates
// stays open on purpose: the run owns it until the process ends.
bool AnotherRunIsActive() {
  SetLastError(ERROR_SUCCESS);
  HANDLE mutex = CreateMutexW(nullptr, TRUE, kSingleInstanceMutexName);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    if (mutex) CloseHandle(mutex);
    return true;
  }
  // Could not create it at all: go on without the guard.
  return false;
}

// The work directory joined with "version.json", as PathAppendW joins them;
// false when the result would not fit MAX_PATH.
bool ManifestPath(const std::wstring& work_dir, wchar_t (&path)[MAX_PATH]) {
  if (work_dir.empty()) return false;
  if (work_dir.size() + 1 + wcslen(kManifestFileName) >= MAX_PATH) return false;
  wmemcpy(path, work_dir.c_str(), work_dir.size() + 1);
  return PathAppendW(path, kManifestFileName) != FALSE;
}

// "update_file.exe" in the program's own directory, in the ANSI code page;
// false when the program path or the result would not fit MAX_PATH.
bool InstallerPath(char (&path)[MAX_PATH]) {
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;  // cut off
  PathRemoveFileSpecA(path);
  if (std::strlen(path) + 1 + std::strlen(kInstallerFileName) >= MAX_PATH) return false;
  return PathAppendA(path, kInstallerFileName) != FALSE;
}

}  // namespace

UpdateManifest ReadUpdateManifest(const std::string& text) {
  UpdateManifest manifest;
  // jsoncpp throws for nesting past its limit and for reads of the wrong kind;
  // none of those inputs is an offer.
  try {
    Json::Value root;
    Json::Reader reader;
    // The verdict is not needed: a broken-off document keeps its complete members.
    reader.parse(text, root, true);
    if (!root.isObject()) return manifest;
    const Json::Value data = root.get("data", Json::Value());
    if (!data.isObject() || !data.isMember("is_update")) return manifest;

    const Json::Value is_update = data["is_update"];
    if (!(is_update.isBool() || is_update.isNumeric() || is_update.isNull())) return manifest;
    const Json::Value download_url = data.get("download_url", Json::Value(""));
    if (!(download_url.isString() || download_url.isNull())) return manifest;

    manifest.download_url = download_url.asString();
    manifest.is_update = is_update.asBool();
  } catch (const std::exception&) {
    manifest = UpdateManifest();
  }
  return manifest;
}

int RunUpdate() {
  CoInitialize(nullptr);  // URLDownloadToFileW needs COM on this thread

  if (AnotherRunIsActive()) return -1;

  const std::string query_url = BuildUpdateQueryUrl();

  // From here on every return removes the work directory with what it holds.
  WorkDir work_dir;
  if (!CreateUniqueTempDir(kWorkDirPrefix, work_dir.mutable_path())) return 0;
  wchar_t manifest_path[MAX_PATH] = {};
  if (!ManifestPath(work_dir.path(), manifest_path)) return 0;

  if (!DownloadToFile(manifest_path, AnsiToWide(query_url))) return 0;

  std::string manifest_text;
  ReadWholeFile(manifest_path, &manifest_text);
  manifest_text.resize(std::strlen(manifest_text.c_str()));  // up to the first zero byte
  const UpdateManifest manifest = ReadUpdateManifest(manifest_text);

  char installer_path[MAX_PATH] = {};
  if (manifest.is_update && InstallerPath(installer_path)) {
    // The old installer goes first; if the new download fails it is not restored.
    if (PathFileExistsA(installer_path)) DeleteFileA(installer_path);
    if (DownloadToFile(AnsiToWide(installer_path), AnsiToWide(manifest.download_url))) {
      // Quoted, so that a directory with blanks cannot start a program named
      // after the path's first word.
      const std::string command_line =
          std::string("\"") + installer_path + "\"" + kInstallerSwitch;
      WinExec(command_line.c_str(), SW_HIDE);
    }
  }

  CoUninitialize();
  return 1;
}
