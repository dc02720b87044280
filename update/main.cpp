// update.exe: one update run per start; the exit code is its only report.
#include <windows.h>

#include "update_run.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Nothing may escape into the runtime's handler, which would end the run
  // with a crash report instead of an exit code. What could still throw here
  // is allocation; the work directory is removed while unwinding.
  try {
    return RunUpdate();
  } catch (...) {
    return 0;
  }
}
