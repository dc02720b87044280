#include "files.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <io.h>
#include <memory>
#include <share.h>
#include <vector>

namespace {

constexpr int kCreateAttempts = 50;
constexpr size_t kReadChunk = 0x10000;

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

}  // namespace

bool CreateUniqueTempDir(const std::wstring& prefix, std::wstring* path) {
  wchar_t temp[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  // A result above MAX_PATH - 1 is the size the path would need: it did not fit.
  if (length == 0 || length > MAX_PATH - 1) return false;
  return CreateUniqueDirIn(temp, prefix, path);
}

bool CreateUniqueDirIn(std::wstring base, const std::wstring& prefix, std::wstring* path) {
  const std::wstring name =
      prefix + std::to_wstring(static_cast<long>(static_cast<LONG>(GetCurrentProcessId()))) +
      L"_done";
  for (int attempt = 1; attempt <= kCreateAttempts; ++attempt) {
    // The base keeps every copy appended so far, so each attempt tries a new,
    // longer name in the same parent directory.
    base += name;
    if (CreateDirectoryW(base.c_str(), nullptr)) {
      *path = base;
      return true;
    }
  }
  return false;
}

bool DeleteTree(const std::wstring& path) {
  const size_t length = wcslen(path.c_str());
  if (length >= MAX_PATH) return false;
  // SHFileOperationW takes a list ended by two zero characters.
  wchar_t from[MAX_PATH + 1] = {};
  wmemcpy(from, path.c_str(), length);

  SHFILEOPSTRUCTW operation = {};
  operation.hwnd = nullptr;
  operation.wFunc = FO_DELETE;
  operation.pFrom = from;
  operation.pTo = nullptr;
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  operation.fAnyOperationsAborted = FALSE;
  operation.hNameMappings = nullptr;
  operation.lpszProgressTitle = nullptr;
  const int result = SHFileOperationW(&operation);
  if (operation.fAnyOperationsAborted) return false;
  // 2 and 0x402 are what the shell says about a path that is not there.
  return result == 0 || result == ERROR_FILE_NOT_FOUND || result == 0x402;
}

bool MakeDirectoryPath(const std::wstring& path) {
  if (path.empty()) return false;
  std::wstring full = path;
  if (full.back() != L'\\') full += L'\\';

  std::vector<std::wstring> prefixes;
  for (size_t i = 0; i < full.size(); ++i) {
    if (full[i] == L'\\') prefixes.push_back(full.substr(0, i));
  }
  // Failures on the way (the drive, directories that exist) are expected;
  // only the full path decides.
  BOOL created = FALSE;
  for (const std::wstring& prefix : prefixes) {
    created = CreateDirectoryW(prefix.c_str(), nullptr);
  }
  return created != FALSE;
}

void ReadWholeFile(const std::wstring& path, std::string* contents) {
  UniqueFile file(_wfsopen(path.c_str(), L"rb", _SH_DENYNO));
  if (!file) return;
  // Room for the whole file at once: growing a large string chunk by chunk
  // copies it again at every doubling. The file may still change size while
  // it is read; the appends below take whatever comes.
  if (contents) {
    const long long size = _filelengthi64(_fileno(file.get()));
    if (size > 0 && static_cast<unsigned long long>(size) < contents->max_size() - contents->size())
      contents->reserve(contents->size() + static_cast<size_t>(size));
  }
  std::vector<char> chunk(kReadChunk);
  for (;;) {
    const size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
    if (got == 0) break;  // end of file and read error alike
    if (contents) contents->append(chunk.data(), got);
  }
}

std::wstring AnsiToWide(const std::string& text) {
  const int units = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], units);
  wide.resize(static_cast<size_t>(units) - 1);  // the converted terminating zero
  return wide;
}

WorkDir::~WorkDir() { Remove(); }

WorkDir::WorkDir(WorkDir&& other) noexcept : path_(std::move(other.path_)) {
  other.path_.clear();
}

WorkDir& WorkDir::operator=(WorkDir&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::move(other.path_);
    other.path_.clear();
  }
  return *this;
}

void WorkDir::Remove() noexcept {
  if (!path_.empty()) DeleteTree(path_);
  path_.clear();
}
