// A netvane.dll that lacks MorvendaVPNDiscon: the console must refuse it
// before it calls anything, also for the connect it could call. Each export
// answers a code that no run of the console otherwise ends with, so a call
// would show in its exit code.
extern "C" __declspec(dllexport) int __cdecl MorvendaRasDial(const char*, const char*) {
  return 0x7717;
}

extern "C" __declspec(dllexport) int __cdecl MorvendaVPNCon(const char*, const char*, const char*) {
  return 0x7717;
}
