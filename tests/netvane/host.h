// The test host's view of netvane.dll: the library loaded with standard
// output pointed at a file, the RAS stand-in's script and record, and heap
// spies patched into the library's import table.
#pragma once

#include <string>
#include <vector>

#include "ras_standin/standin.h"

// GBK texts of the broadband dial.
extern const std::string kNoDeviceLine;     // "设备查找失败\r\n"
extern const std::string kDialFailedText;   // "连接错误!"

// A temporary file that standard output can point at.
class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  HANDLE handle() const { return handle_; }
  std::string Contents() const;

 private:
  std::string path_;
  HANDLE handle_;
};

enum class StdOut { File, None, Invalid };

// netvane.dll loaded with standard output captured, and the stand-in reset.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(StdOut mode = StdOut::File);
  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  StandinScript& script() { return *script_; }
  HMODULE module() const { return module_; }

  int RasDial(const char* user, const char* password);
  int VpnCon(const char* server, const char* user, const char* password);
  int VpnDiscon();

  std::string Written() const;  // what reached the file so far
  std::string Unload();         // unloads and returns everything written

 private:
  StandinScript* script_;
  OutputFile output_;
  HANDLE savedStdOut_;
  HMODULE module_ = nullptr;
  int(__cdecl* rasDial_)(const char*, const char*) = nullptr;
  int(__cdecl* vpnCon_)(const char*, const char*, const char*) = nullptr;
  int(__cdecl* vpnDiscon_)() = nullptr;
};

// The stand-in's record; fails the running test for anything it found
// wrong with what it was given.
std::vector<StandinCall> Calls();
std::vector<StandinFunction> Functions();
std::vector<StandinCall> CallsOf(StandinFunction function);

// Replaces one imported function in a module's import address table for the
// lifetime of the object.
// The import address table slot through which `module` calls `function` of
// `dll`, or null when it imports no such function.
void** ImportSlot(HMODULE module, const char* dll, const char* function);
// Writes `replacement` into an import slot and returns what was there.
void* SwapImportSlot(void** slot, void* replacement);

class ImportPatch {
 public:
  ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
  ~ImportPatch();
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;
  void* original() const { return original_; }

 private:
  HMODULE module_;
  void** slot_ = nullptr;
  void* original_ = nullptr;
};

// HeapAlloc and HeapFree of netvane.dll, counted and made to fail on demand.
class HeapSpy {
 public:
  explicit HeapSpy(HMODULE module);
  ~HeapSpy();
  void FailAlloc(int nth, DWORD lastError);  // the nth call from now (1-based)
  void FailFree(int nth, DWORD lastError);
  const std::vector<SIZE_T>& allocSizes() const;
  int frees() const;
  int live() const;  // blocks allocated and not released

 private:
  ImportPatch alloc_;
  ImportPatch free_;
};

// Bytes of an IPv4 or IPv6 address, for scripting.
void SetIpv4(BYTE (&bytes)[4], BYTE a, BYTE b, BYTE c, BYTE d);

// A system where everything works: one PPPoE device, and a VPN that
// negotiates IKEv2 with IPv4 addresses and no MOBIKE support.
void ScriptWorkingRas(StandinScript& s);
// What a connect to that system prints.
extern const char kWorkingVpnReport[];
std::string Repeat(char c, size_t n);

// The dial parameters saved for `entry` in the default phonebook, with the
// password kept, and no phone number of their own.
void CheckSavedDialParams(const StandinCall& saved, const char* entry, const char* user,
                          const char* password);
// A dial in the default phonebook, without extensions or notifier (so
// synchronous), into a handle that starts empty.
void CheckSynchronousDial(const StandinCall& dial);
