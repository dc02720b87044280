#include "download.h"

#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include "files.h"
#include "transfer_check.h"

namespace {

// -1 when the file is not there.
int64_t StoredSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

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

  TransferWatch watch;
  const HRESULT result = URLDownloadToFileW(nullptr, url.c_str(), file_path.c_str(), 0, &watch);
  if (TransferComplete(result, watch.facts(), StoredSize(file_path))) return true;
  // The fetch claimed success but stored an error page or a cut-off body.
  // It has already replaced whatever was there, so removing it loses nothing
  // and leaves no broken program where an installer is expected.
  if (result == S_OK) DeleteFileW(file_path.c_str());
  return false;
}
