// The library's boundary: the load and unload entry and the three exports
// (named at their ordinals in netvane.def). The work lives with its concern.
#include "netvane.h"

#include "broadband.h"
#include "report.h"
#include "vpn.h"

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

int __cdecl MorvendaRasDial(const char* user_name, const char* password) {
  return static_cast<int>(netvane::MorvendaRasDial(user_name, password));
}

int __cdecl MorvendaVPNCon(const char* server, const char* user_name, const char* password) {
  return static_cast<int>(netvane::MorvendaVPNCon(server, user_name, password));
}

int __cdecl MorvendaVPNDiscon(void) {
  return static_cast<int>(netvane::MorvendaVPNDiscon());
}
