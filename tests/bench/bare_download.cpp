// bare_download.exe URL FILE: the floor for an update run that finds no
// update. It does only what such a run cannot avoid (COM, the cache purge and
// one URLDownloadToFileW) and deletes the file again.
#include <windows.h>
#include <objbase.h>
#include <urlmon.h>
#include <wininet.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  CoInitialize(nullptr);
  DeleteUrlCacheEntryW(argv[1]);
  const HRESULT result = URLDownloadToFileW(nullptr, argv[1], argv[2], 0, nullptr);
  DeleteFileW(argv[2]);
  CoUninitialize();
  return result == S_OK ? 1 : 0;  // the exit codes of update.exe for the same outcomes
}
