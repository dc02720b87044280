// A stand-in for the product's installer, served by the test service. When
// started it records how: "<its own path>.ran" gets, in UTF-8, the full
// command line on the first line and then one line per argument after the
// program name. The record is written under another name and renamed, so a
// reader never sees half of it.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                      nullptr, nullptr);
  return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t self[32768] = {};
  const DWORD length = GetModuleFileNameW(nullptr, self, 32768);
  if (length == 0 || length >= 32768) return 3;

  const wchar_t* command_line = GetCommandLineW();
  std::string record = Utf8(command_line) + "\n";
  int argc = 0;
  if (wchar_t** argv = CommandLineToArgvW(command_line, &argc)) {
    for (int i = 1; i < argc; ++i) record += Utf8(argv[i]) + "\n";
    LocalFree(argv);
  }

  const std::wstring final_name = std::wstring(self) + L".ran";
  const std::wstring partial_name = final_name + L".part";
  HANDLE file = CreateFileW(partial_name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 4;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written,
                            nullptr);
  CloseHandle(file);
  if (!ok || written != record.size()) return 5;
  return MoveFileExW(partial_name.c_str(), final_name.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 6;
}
