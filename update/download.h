// Fetching a URL into a file.
#pragma once

#include <string>

// Fetches `url` into `file_path`, creating missing parent directories first.
// True only when the fetch reported S_OK. An existing file is not removed
// first. Blocks until the transfer has ended; call it after COM is initialised.
bool DownloadToFile(const std::wstring& file_path, const std::wstring& url);
