// The load and unload entry. The three exports live with their concerns
// (broadband.cpp, vpn.cpp, vpn_disconnect.cpp) and are named in netvane.def.
#include <windows.h>

#include "report.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  // Thread notifications stay on; they simply do nothing.
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      netvane::ReportAttach();
      break;
    case DLL_PROCESS_DETACH:
      netvane::ReportFlush();
      break;
    default:
      break;
  }
  return TRUE;
}
