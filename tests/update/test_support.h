// Helpers shared by the updater's unit tests: a scratch directory in the
// test's working directory (inside the build tree) and small file utilities
// that go straight to the Windows API, independent of the code under test.
#pragma once

#include <windows.h>

#include <string>

namespace test_support {

inline std::wstring CurrentDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, buffer);
  std::wstring dir = buffer;
  if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
  return dir;
}

inline bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline void WriteFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

inline std::string ReadFile(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char chunk[4096];
  DWORD got = 0;
  while (::ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

// Removes a tree without the code under test; \\?\ lets it reach paths past MAX_PATH.
inline void RemoveTree(const std::wstring& path) {
  const std::wstring long_path = path.compare(0, 4, L"\\\\?\\") == 0 ? path : L"\\\\?\\" + path;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((long_path + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = long_path + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(child);
      else DeleteFileW(child.c_str());
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(long_path.c_str());
  DeleteFileW(long_path.c_str());
}

// A fresh, empty directory for one test case, removed again afterwards.
class Scratch {
 public:
  explicit Scratch(const std::wstring& name)
      : path_(CurrentDirectory() + L"\\unit-scratch-" + name) {
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~Scratch() { RemoveTree(path_); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// Sets an environment variable for the rest of a scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t old[32768];
    const DWORD length = GetEnvironmentVariableW(name, old, 32768);
    had_ = length > 0 && length < 32768;
    if (had_) old_ = old;
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedEnvironment() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const wchar_t* name_;
  bool had_ = false;
  std::wstring old_;
};

inline std::wstring WorkDirName(const std::wstring& prefix) {
  return prefix + std::to_wstring(static_cast<long>(GetCurrentProcessId())) + L"_done";
}

}  // namespace test_support
