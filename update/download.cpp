#include "download.h"

#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include "files.h"

bool DownloadToFile(const std::wstring& file_path, const std::wstring& url) {
  // A cached copy would hide a newer answer from the service.
  DeleteUrlCacheEntryW(url.c_str());

  // A path without any backslash has no directory part: creating a directory
  // of the file's own name would only block the download.
  const size_t last = file_path.rfind(L'\\');
  if (last != std::wstring::npos) {
    const std::wstring directory = file_path.substr(0, last);
    if (GetFileAttributesW(directory.c_str()) == INVALID_FILE_ATTRIBUTES) {
      MakeDirectoryPath(directory);
    }
  }
  return URLDownloadToFileW(nullptr, url.c_str(), file_path.c_str(), 0, nullptr) == S_OK;
}
