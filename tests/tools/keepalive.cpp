// Holds a Wine session open for the test run. It marks the file named on its
// command line once Wine is up, then sleeps until wineserver ends it.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc > 1) {
    HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  }
  Sleep(INFINITE);
  return 0;
}
