#include "host.h"

#include <doctest/doctest.h>

#include <cstring>

const std::string kNoDeviceLine = "\xC9\xE8\xB1\xB8\xB2\xE9\xD5\xD2\xCA\xA7\xB0\xDC\r\n";
const std::string kDialFailedText = "\xC1\xAC\xBD\xD3\xB4\xED\xCE\xF3!";

OutputFile::OutputFile() {
  char dir[MAX_PATH] = {};
  char path[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  GetTempFileNameA(dir, "nvo", 0, path);
  path_ = path;
  handle_ = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  REQUIRE(handle_ != INVALID_HANDLE_VALUE);
}

OutputFile::~OutputFile() {
  CloseHandle(handle_);
  DeleteFileA(path_.c_str());
}

std::string OutputFile::Contents() const {
  HANDLE reader = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  REQUIRE(reader != INVALID_HANDLE_VALUE);
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(reader, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
  CloseHandle(reader);
  return text;
}

namespace {

// GetProcAddress returns a generic function pointer; the export's own type
// is restored through void*.
template <typename F>
void ResolveExport(HMODULE module, F& target, const char* name) {
  void* address = reinterpret_cast<void*>(GetProcAddress(module, name));
  REQUIRE_MESSAGE(address != nullptr, name << " is not exported");
  target = reinterpret_cast<F>(address);
}

}  // namespace

LoadedLibrary::LoadedLibrary(StdOut mode)
    : script_(StandinReset()), savedStdOut_(GetStdHandle(STD_OUTPUT_HANDLE)) {
  HANDLE out = mode == StdOut::File ? output_.handle()
               : mode == StdOut::None ? nullptr
                                      : INVALID_HANDLE_VALUE;
  SetStdHandle(STD_OUTPUT_HANDLE, out);
  module_ = LoadLibraryA("netvane.dll");
  REQUIRE(module_ != nullptr);
  ResolveExport(module_, rasDial_, "MorvendaRasDial");
  ResolveExport(module_, vpnCon_, "MorvendaVPNCon");
  ResolveExport(module_, vpnDiscon_, "MorvendaVPNDiscon");
}

LoadedLibrary::~LoadedLibrary() {
  if (module_) FreeLibrary(module_);
  SetStdHandle(STD_OUTPUT_HANDLE, savedStdOut_);
}

int LoadedLibrary::RasDial(const char* user, const char* password) {
  return rasDial_(user, password);
}
int LoadedLibrary::VpnCon(const char* server, const char* user, const char* password) {
  return vpnCon_(server, user, password);
}
int LoadedLibrary::VpnDiscon() { return vpnDiscon_(); }

std::string LoadedLibrary::Written() const { return output_.Contents(); }

std::string LoadedLibrary::Unload() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
  return output_.Contents();
}

std::vector<StandinCall> Calls() {
  const StandinLog* log = StandinCalls();
  std::vector<StandinCall> calls(log->calls, log->calls + log->count);
  for (const StandinCall& call : calls) {
    INFO("RAS call " << static_cast<int>(call.function));
    CHECK(std::string(call.problem) == "");
  }
  return calls;
}

std::vector<StandinFunction> Functions() {
  std::vector<StandinFunction> functions;
  for (const StandinCall& call : Calls()) functions.push_back(call.function);
  return functions;
}

std::vector<StandinCall> CallsOf(StandinFunction function) {
  std::vector<StandinCall> matching;
  for (const StandinCall& call : Calls()) {
    if (call.function == function) matching.push_back(call);
  }
  return matching;
}

void** ImportSlot(HMODULE module, const char* dll, const char* function) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
  for (; desc->Name != 0; ++desc) {
    if (lstrcmpiA(reinterpret_cast<char*>(base + desc->Name), dll) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<char*>(byName->Name), function) == 0) {
        return reinterpret_cast<void**>(&slots->u1.Function);
      }
    }
  }
  return nullptr;
}

void* SwapImportSlot(void** slot, void* replacement) {
  DWORD old = 0;
  VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
  void* previous = *slot;
  *slot = replacement;
  VirtualProtect(slot, sizeof(void*), old, &old);
  return previous;
}

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement)
    : module_(module), slot_(ImportSlot(module, dll, function)) {
  REQUIRE_MESSAGE(slot_ != nullptr, function << " not imported from " << dll);
  original_ = SwapImportSlot(slot_, replacement);
}

ImportPatch::~ImportPatch() {
  // Nothing to restore once the library has been unloaded.
  HMODULE still = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(slot_), &still) ||
      still != module_) {
    return;
  }
  SwapImportSlot(slot_, original_);
}

namespace {

struct HeapSpyState {
  int allocCalls = 0;
  int failAllocAt = 0;
  DWORD allocError = 0;
  int freeCalls = 0;
  int failFreeAt = 0;
  DWORD freeError = 0;
  int live = 0;
  std::vector<SIZE_T> sizes;
};
HeapSpyState g_heap;

LPVOID WINAPI SpyHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
  if (++g_heap.allocCalls == g_heap.failAllocAt) {
    SetLastError(g_heap.allocError);
    return nullptr;
  }
  g_heap.sizes.push_back(size);
  LPVOID block = HeapAlloc(heap, flags, size);
  if (block) ++g_heap.live;
  return block;
}

BOOL WINAPI SpyHeapFree(HANDLE heap, DWORD flags, LPVOID block) {
  if (++g_heap.freeCalls == g_heap.failFreeAt) {
    SetLastError(g_heap.freeError);
    return FALSE;
  }
  BOOL freed = HeapFree(heap, flags, block);
  if (freed) --g_heap.live;
  return freed;
}

}  // namespace

HeapSpy::HeapSpy(HMODULE module)
    : alloc_(module, "KERNEL32.dll", "HeapAlloc", reinterpret_cast<void*>(&SpyHeapAlloc)),
      free_(module, "KERNEL32.dll", "HeapFree", reinterpret_cast<void*>(&SpyHeapFree)) {
  g_heap = HeapSpyState{};
}

HeapSpy::~HeapSpy() = default;

void HeapSpy::FailAlloc(int nth, DWORD lastError) {
  g_heap.failAllocAt = g_heap.allocCalls + nth;
  g_heap.allocError = lastError;
}

void HeapSpy::FailFree(int nth, DWORD lastError) {
  g_heap.failFreeAt = g_heap.freeCalls + nth;
  g_heap.freeError = lastError;
}

const std::vector<SIZE_T>& HeapSpy::allocSizes() const { return g_heap.sizes; }
int HeapSpy::frees() const { return g_heap.freeCalls; }
int HeapSpy::live() const { return g_heap.live; }

void SetIpv4(BYTE (&bytes)[4], BYTE a, BYTE b, BYTE c, BYTE d) {
  bytes[0] = a;
  bytes[1] = b;
  bytes[2] = c;
  bytes[3] = d;
}

void ScriptWorkingRas(StandinScript& s) {
  s.deviceCount = 1;
  std::strcpy(s.devices[0].type, "pppoe");
  std::strcpy(s.devices[0].name, "WAN Miniport (PPPOE)");
  SetIpv4(s.ipv4Address, 10, 8, 0, 2);
  SetIpv4(s.ipv4ServerAddress, 198, 51, 100, 7);
}

const char kWorkingVpnReport[] =
    "RASPROJECTION_INFO_TYPE is: IKEv2\r\n"
    "Ras Client IP Address: 10.8.0.2\r\n"
    "Ras Server IP Address: 198.51.100.7\r\n"
    "Cannot do MOBIKE switch as the client does not support Mobile IKE (MOBIKE)\r\n";

std::string Repeat(char c, size_t n) { return std::string(n, c); }

void CheckSavedDialParams(const StandinCall& saved, const char* entry, const char* user,
                          const char* password) {
  CHECK(saved.function == kSetEntryDialParams);
  CHECK(saved.phonebookNull);
  CHECK(saved.removePassword == FALSE);
  CHECK(saved.params.dwSize == sizeof(RASDIALPARAMSA));
  CHECK(std::string(saved.params.szEntryName) == entry);
  CHECK(std::string(saved.params.szPhoneNumber) == "");
  CHECK(std::string(saved.params.szUserName) == user);
  CHECK(std::string(saved.params.szPassword) == password);
}

void CheckSynchronousDial(const StandinCall& dial) {
  CHECK(dial.function == kDial);
  CHECK(dial.extensionsNull);
  CHECK(dial.phonebookNull);
  CHECK(dial.notifierType == 0);
  CHECK(dial.notifierNull);
  CHECK_FALSE(dial.handleOutNull);
  CHECK(dial.handleIn == 0);
}
