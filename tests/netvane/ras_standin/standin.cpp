// A scripted rasapi32.dll for the tests: RAS cannot dial here. Every call is
// recorded, and the records it is handed are checked for their sizes and for
// stray bytes outside the fields the library sets.
#include "standin.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "script_file.h"

namespace {

StandinScript g_script;
StandinLog g_log;
int g_projectionCalls;
int g_statusCalls;
LONGLONG g_hangUpTime;
StandinBlockSizer g_blockSizer;
char g_logPath[MAX_PATH];  // RAS_STANDIN_LOG, empty when calls are not logged

// Milliseconds on the performance counter: Wine's GetTickCount moves in
// steps, too coarse to tell a 50 ms pause from none.
LONGLONG NowMs() {
  LARGE_INTEGER now;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return now.QuadPart * 1000 / frequency.QuadPart;
}

StandinCall& Record(StandinFunction function) {
  static StandinCall overflow;
  StandinCall& call = g_log.count < kStandinMaxCalls ? g_log.calls[g_log.count++] : overflow;
  std::memset(&call, 0, sizeof call);
  call.function = function;
  call.failed = g_script.failCall != 0 && g_log.count == g_script.failCall;
  call.sinceHangUpMs = static_cast<long>(NowMs() - g_hangUpTime);
  return call;
}

void Problem(StandinCall& call, const char* format, unsigned long a = 0, unsigned long b = 0) {
  if (call.problem[0] != '\0') return;  // the first is enough
  std::snprintf(call.problem, sizeof call.problem, format, a, b);
}

const char* FunctionName(StandinFunction function) {
  switch (function) {
    case kEnumDevices: return "RasEnumDevicesA";
    case kSetEntryProperties: return "RasSetEntryPropertiesA";
    case kSetEntryDialParams: return "RasSetEntryDialParamsA";
    case kDial: return "RasDialA";
    case kGetErrorString: return "RasGetErrorStringA";
    case kGetProjectionInfoEx: return "RasGetProjectionInfoEx";
    case kGetConnectStatus: return "RasGetConnectStatusA";
    case kHangUp: return "RasHangUpA";
  }
  return "?";
}

// Appends one line to the log file, opened for each line so that the
// processes of a demonstration can share one log and every line is on disk
// as soon as the call returns.
void AppendToLog(const char* line) {
  if (g_logPath[0] == '\0') return;
  HANDLE file = CreateFileA(g_logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
  CloseHandle(file);
}

// Records the answer of a call and logs the call; returns the answer.
DWORD Answer(StandinCall& call, DWORD result) {
  if (g_logPath[0] == '\0') return result;
  char line[2048];
  const char* name = FunctionName(call.function);
  const RASDIALPARAMSA& p = call.params;
  switch (call.function) {
    case kEnumDevices:
      std::snprintf(line, sizeof line, "%s(list=%s, bytes=%lu, count=%lu)", name,
                    call.bufferNull ? "null" : "given", call.size, call.count);
      break;
    case kSetEntryProperties:
      std::snprintf(line, sizeof line,
                    "%s(entry=\"%s\", size=%lu, type=%lu, device=\"%s\"/\"%s\", phone=\"%s\")",
                    name, call.entryName, call.size, call.entry.base.dwType,
                    call.entry.base.szDeviceType, call.entry.base.szDeviceName,
                    call.entry.base.szLocalPhoneNumber);
      break;
    case kSetEntryDialParams:
    case kDial:
      std::snprintf(line, sizeof line,
                    "%s(entry=\"%s\", phone=\"%s\", user=\"%s\", password=\"%s\")", name,
                    p.szEntryName, p.szPhoneNumber, p.szUserName, p.szPassword);
      break;
    case kGetErrorString:
      std::snprintf(line, sizeof line, "%s(code=%lu, size=%lu)", name, call.code, call.size);
      break;
    case kGetProjectionInfoEx:
      std::snprintf(line, sizeof line, "%s(handle=0x%llx, size=%lu, version=%lu)", name,
                    static_cast<unsigned long long>(call.connection), call.size, call.version);
      break;
    case kGetConnectStatus:
    case kHangUp:
      std::snprintf(line, sizeof line, "%s(handle=0x%llx)", name,
                    static_cast<unsigned long long>(call.connection));
      break;
  }
  size_t used = std::strlen(line);
  used += static_cast<size_t>(std::snprintf(line + used, sizeof line - used, " -> %lu", result));
  if (call.function == kDial && used < sizeof line) {
    used += static_cast<size_t>(std::snprintf(line + used, sizeof line - used, ", handle=0x%llx",
                                              static_cast<unsigned long long>(g_script.dialHandle)));
  }
  if (call.problem[0] != '\0' && used < sizeof line) {
    used += static_cast<size_t>(std::snprintf(line + used, sizeof line - used, "  [wrong input: %s]",
                                              call.problem));
  }
  if (used > sizeof line - 3) used = sizeof line - 3;
  line[used++] = '\r';
  line[used++] = '\n';
  line[used] = '\0';
  AppendToLog(line);
  return result;
}

// Marks which bytes of a record may be non-zero.
class AllowedBytes {
 public:
  explicit AllowedBytes(size_t size) : size_(size) { std::memset(allowed_, 0, sizeof allowed_); }
  void Field(size_t offset, size_t size) {
    for (size_t i = offset; i < offset + size && i < size_; ++i) allowed_[i] = true;
  }
  // A text: its characters and its NUL; the rest of the field must be zero.
  // A text that fills its whole field has run into the next one.
  void Text(const void* record, size_t offset, size_t size) {
    const char* text = static_cast<const char*>(record) + offset;
    const size_t length = strnlen(text, size);
    if (length == size && unterminatedAt_ == static_cast<size_t>(-1)) unterminatedAt_ = offset;
    Field(offset, length);
  }
  void Check(StandinCall& call, const void* record, const char* what) const {
    if (unterminatedAt_ != static_cast<size_t>(-1)) {
      char format[96];
      std::snprintf(format, sizeof format, "%s text at byte %%lu has no NUL in its field", what);
      Problem(call, format, static_cast<unsigned long>(unterminatedAt_));
    }
    const auto* bytes = static_cast<const unsigned char*>(record);
    for (size_t i = 0; i < size_; ++i) {
      if (!allowed_[i] && bytes[i] != 0) {
        char format[96];
        std::snprintf(format, sizeof format, "%s byte %%lu is 0x%%02lx, expected 0", what);
        Problem(call, format, static_cast<unsigned long>(i), bytes[i]);
        return;
      }
    }
  }

 private:
  size_t size_;
  size_t unterminatedAt_ = static_cast<size_t>(-1);
  bool allowed_[4096];
};

#define FIELD(type, member) offsetof(type, member), sizeof(((type*)nullptr)->member)

void CheckEntry(StandinCall& call, const RasEntryWin7& entry) {
  if (entry.base.dwSize != sizeof(RasEntryWin7)) {
    Problem(call, "entry dwSize %lu, expected %lu", entry.base.dwSize, sizeof(RasEntryWin7));
  }
  using E = RASENTRYA;
  AllowedBytes allowed(sizeof entry);
  allowed.Field(FIELD(E, dwSize));
  allowed.Field(FIELD(E, dwfOptions));
  allowed.Field(FIELD(E, dwfNetProtocols));
  allowed.Field(FIELD(E, dwFramingProtocol));
  allowed.Field(FIELD(E, dwType));
  allowed.Field(FIELD(E, dwEncryptionType));
  allowed.Text(&entry, FIELD(E, szDeviceType));
  allowed.Text(&entry, FIELD(E, szDeviceName));
  allowed.Text(&entry, FIELD(E, szLocalPhoneNumber));
  allowed.Field(FIELD(E, dwVpnStrategy));
  allowed.Field(FIELD(E, dwRedialCount));
  allowed.Field(FIELD(E, dwRedialPause));
  allowed.Check(call, &entry, "entry");
}

void CheckDialParams(StandinCall& call, const RASDIALPARAMSA& params) {
  if (params.dwSize != sizeof(RASDIALPARAMSA)) {
    Problem(call, "dial parameters dwSize %lu, expected %lu", params.dwSize, sizeof(RASDIALPARAMSA));
  }
  using P = RASDIALPARAMSA;
  AllowedBytes allowed(sizeof params);
  allowed.Field(FIELD(P, dwSize));
  allowed.Text(&params, FIELD(P, szEntryName));
  allowed.Text(&params, FIELD(P, szPhoneNumber));
  allowed.Text(&params, FIELD(P, szUserName));
  allowed.Text(&params, FIELD(P, szPassword));
  allowed.Check(call, &params, "dial parameters");
}

// The library allocates its records on the process heap, so their real
// size can be checked against the size it claims.
SIZE_T BlockSize(const void* block) {
  if (g_blockSizer) {
    const SIZE_T size = g_blockSizer(block);
    if (size != 0) return size;
  }
  return HeapSize(GetProcessHeap(), 0, block);
}

void SetDefaults() {
  std::memset(&g_script, 0, sizeof g_script);
  g_script.sizingResult = ERROR_BUFFER_TOO_SMALL;
  g_script.dialHandle = 0x5150;
  g_script.projectionType = kProjectionTypeIkev2;
  g_script.statusAnswerCount = 1;
  g_script.statusAnswers[0] = ERROR_INVALID_HANDLE;
  g_log.count = 0;
  g_projectionCalls = 0;
  g_statusCalls = 0;
  g_hangUpTime = NowMs();
}

}  // namespace

STANDIN_API StandinScript* StandinReset() {
  SetDefaults();
  return &g_script;
}

STANDIN_API const StandinLog* StandinCalls() { return &g_log; }

STANDIN_API void StandinSetBlockSizer(StandinBlockSizer sizer) { g_blockSizer = sizer; }

extern "C" DWORD WINAPI RasEnumDevicesA(LPRASDEVINFOA devices, LPDWORD bytes, LPDWORD count) {
  StandinCall& call = Record(kEnumDevices);
  call.bufferNull = devices == nullptr;
  if (!bytes || !count) {
    Problem(call, "null byte or device count");
    return Answer(call, ERROR_INVALID_PARAMETER);
  }
  call.size = *bytes;
  call.count = *count;
  const DWORD needed = static_cast<DWORD>(g_script.deviceCount) * sizeof(RASDEVINFOA);
  if (!devices) {
    if (call.failed) return Answer(call, g_script.failCode);
    *bytes = g_script.sizingBytes ? g_script.sizingBytes : needed;
    *count = static_cast<DWORD>(g_script.deviceCount);
    return Answer(call, g_script.sizingResult);
  }
  if (devices[0].dwSize != sizeof(RASDEVINFOA)) {
    Problem(call, "device list dwSize %lu, expected %lu", devices[0].dwSize, sizeof(RASDEVINFOA));
  }
  const SIZE_T block = BlockSize(devices);
  if (block == static_cast<SIZE_T>(-1) || *bytes > block) {
    Problem(call, "byte count %lu exceeds the block of %lu bytes", *bytes,
            static_cast<unsigned long>(block));
  } else {
    AllowedBytes allowed(block);
    allowed.Field(0, sizeof(DWORD));
    allowed.Check(call, devices, "device list");
  }
  if (call.failed) return Answer(call, g_script.failCode);
  if (g_script.enumResult != 0) return Answer(call, g_script.enumResult);
  if (*bytes < needed) {
    *bytes = needed;
    return Answer(call, ERROR_BUFFER_TOO_SMALL);
  }
  for (int i = 0; i < g_script.deviceCount; ++i) {
    RASDEVINFOA& d = devices[i];
    std::memset(&d, 0, sizeof d);
    d.dwSize = sizeof d;
    std::memcpy(d.szDeviceType, g_script.devices[i].type, sizeof d.szDeviceType);
    std::memcpy(d.szDeviceName, g_script.devices[i].name, sizeof d.szDeviceName);
  }
  *bytes = needed;
  *count = static_cast<DWORD>(g_script.deviceCount);
  return Answer(call, 0);
}

extern "C" DWORD WINAPI RasSetEntryPropertiesA(LPCSTR phonebook, LPCSTR entryName,
                                               LPRASENTRYA entry, DWORD entrySize,
                                               LPBYTE deviceInfo, DWORD deviceInfoSize) {
  StandinCall& call = Record(kSetEntryProperties);
  call.phonebookNull = phonebook == nullptr;
  if (entryName) std::snprintf(call.entryName, sizeof call.entryName, "%s", entryName);
  call.bufferNull = entry == nullptr;
  call.size = entrySize;
  call.deviceInfoNull = deviceInfo == nullptr;
  call.deviceInfoSize = deviceInfoSize;
  if (entrySize != sizeof(RasEntryWin7)) {
    Problem(call, "entry size %lu, expected %lu", entrySize, sizeof(RasEntryWin7));
  } else if (entry) {
    std::memcpy(&call.entry, entry, sizeof call.entry);
    CheckEntry(call, call.entry);
  }
  return Answer(call, call.failed ? g_script.failCode : g_script.setEntryResult);
}

extern "C" DWORD WINAPI RasSetEntryDialParamsA(LPCSTR phonebook, LPRASDIALPARAMSA params,
                                               BOOL removePassword) {
  StandinCall& call = Record(kSetEntryDialParams);
  call.phonebookNull = phonebook == nullptr;
  call.removePassword = removePassword;
  call.bufferNull = params == nullptr;
  if (params) {
    std::memcpy(&call.params, params, sizeof call.params);
    CheckDialParams(call, call.params);
  }
  return Answer(call, call.failed ? g_script.failCode : g_script.setDialParamsResult);
}

extern "C" DWORD WINAPI RasDialA(LPRASDIALEXTENSIONS extensions, LPCSTR phonebook,
                                 LPRASDIALPARAMSA params, DWORD notifierType, LPVOID notifier,
                                 LPHRASCONN connection) {
  StandinCall& call = Record(kDial);
  call.extensionsNull = extensions == nullptr;
  call.phonebookNull = phonebook == nullptr;
  call.notifierType = notifierType;
  call.notifierNull = notifier == nullptr;
  call.handleOutNull = connection == nullptr;
  call.bufferNull = params == nullptr;
  if (params) {
    std::memcpy(&call.params, params, sizeof call.params);
    CheckDialParams(call, call.params);
    params->dwIfIndex = g_script.dialIfIndex;
  }
  if (!connection) {
    Problem(call, "no place for the connection handle");
    return Answer(call, ERROR_INVALID_PARAMETER);
  }
  call.handleIn = reinterpret_cast<ULONG_PTR>(*connection);
  if (*connection) Problem(call, "connection handle not null before the dial");
  *connection = reinterpret_cast<HRASCONN>(g_script.dialHandle);
  return Answer(call, call.failed ? g_script.failCode : g_script.dialResult);
}

extern "C" DWORD WINAPI RasGetErrorStringA(UINT code, LPSTR text, DWORD size) {
  StandinCall& call = Record(kGetErrorString);
  call.code = code;
  call.size = size;
  call.bufferNull = text == nullptr;
  if (!text) return Answer(call, ERROR_INVALID_PARAMETER);
  if (text[0] != '\0') Problem(call, "error text buffer does not start empty");
  if (call.failed) return Answer(call, g_script.failCode);
  if (g_script.errorStringResult != 0) return Answer(call, g_script.errorStringResult);
  std::snprintf(text, size, "%s", g_script.errorText);
  return Answer(call, 0);
}

extern "C" DWORD WINAPI RasGetProjectionInfoEx(HRASCONN connection, RAS_PROJECTION_INFO* projection,
                                               LPDWORD size) {
  StandinCall& call = Record(kGetProjectionInfoEx);
  call.connection = reinterpret_cast<ULONG_PTR>(connection);
  call.bufferNull = projection == nullptr;
  if (!projection || !size) {
    Problem(call, "null projection or size");
    return Answer(call, ERROR_INVALID_PARAMETER);
  }
  call.size = *size;
  call.version = projection->version;
  const SIZE_T block = BlockSize(projection);
  if (block == static_cast<SIZE_T>(-1) || block < *size || block < sizeof(RAS_PROJECTION_INFO)) {
    Problem(call, "projection block of %lu bytes, size passed %lu",
            static_cast<unsigned long>(block), *size);
  } else {
    AllowedBytes allowed(block);
    allowed.Field(FIELD(RAS_PROJECTION_INFO, version));
    allowed.Check(call, projection, "projection");
  }
  if (call.failed) return Answer(call, g_script.failCode);
  const int index = g_projectionCalls++;
  const DWORD answer =
      index < g_script.projectionAnswerCount ? g_script.projectionAnswers[index] : 0;
  if (answer == ERROR_BUFFER_TOO_SMALL) {
    *size = g_script.projectionRequiredSize;
    return Answer(call, answer);
  }
  if (answer != 0) return Answer(call, answer);
  projection->type = g_script.projectionType;
  // The IPv4 part is common to both members.
  RASIKEV2_PROJECTION_INFO& ikev2 = projection->ikev2;
  ikev2.dwIPv4NegotiationError = g_script.ipv4Error;
  std::memcpy(&ikev2.ipv4Address, g_script.ipv4Address, 4);
  std::memcpy(&ikev2.ipv4ServerAddress, g_script.ipv4ServerAddress, 4);
  if (g_script.projectionType == kProjectionTypeIkev2) {
    ikev2.dwIPv6NegotiationError = g_script.ipv6Error;
    std::memcpy(&ikev2.ipv6Address, g_script.ipv6Address, 16);
    std::memcpy(&ikev2.ipv6ServerAddress, g_script.ipv6ServerAddress, 16);
    ikev2.dwFlags = g_script.ikev2Flags;
  } else {
    // A PPP record holds interface identifiers where IKEv2 has addresses;
    // fill them so that reading the wrong member shows.
    RASPPP_PROJECTION_INFO& ppp = projection->ppp;
    ppp.dwIPv6NegotiationError = g_script.ipv6Error;
    std::memset(ppp.bInterfaceIdentifier, 0x11, sizeof ppp.bInterfaceIdentifier);
    std::memset(ppp.bServerInterfaceIdentifier, 0x22, sizeof ppp.bServerInterfaceIdentifier);
    ppp.fBundled = TRUE;
  }
  return Answer(call, 0);
}

extern "C" DWORD WINAPI RasGetConnectStatusA(HRASCONN connection, LPRASCONNSTATUSA status) {
  StandinCall& call = Record(kGetConnectStatus);
  call.connection = reinterpret_cast<ULONG_PTR>(connection);
  call.bufferNull = status == nullptr;
  if (status) {
    call.size = status->dwSize;
    if (status->dwSize != sizeof(RasConnStatusWin7)) {
      Problem(call, "status dwSize %lu, expected %lu", status->dwSize, sizeof(RasConnStatusWin7));
    }
    const SIZE_T block = BlockSize(status);
    if (block == static_cast<SIZE_T>(-1) || block < sizeof(RasConnStatusWin7)) {
      Problem(call, "status block of %lu bytes", static_cast<unsigned long>(block));
    } else {
      AllowedBytes allowed(sizeof(RasConnStatusWin7));
      allowed.Field(0, sizeof(DWORD));
      allowed.Check(call, status, "status");
    }
  }
  if (call.failed) return Answer(call, g_script.failCode);
  const int index = g_statusCalls++;
  if (g_script.statusAnswerCount == 0) return Answer(call, ERROR_INVALID_HANDLE);
  return Answer(call, index < g_script.statusAnswerCount
                          ? g_script.statusAnswers[index]
                          : g_script.statusAnswers[g_script.statusAnswerCount - 1]);
}

extern "C" DWORD WINAPI RasHangUpA(HRASCONN connection) {
  StandinCall& call = Record(kHangUp);
  call.connection = reinterpret_cast<ULONG_PTR>(connection);
  g_hangUpTime = NowMs();
  call.sinceHangUpMs = 0;
  return Answer(call, call.failed ? g_script.failCode : g_script.hangUpResult);
}

STANDIN_API BOOL StandinLoadScript(const char* text, char* error, DWORD errorSize) {
  return ParseStandinScript(text, std::strlen(text), g_script, error, errorSize) ? TRUE : FALSE;
}

namespace {

// Reads the whole of a small file; false when it cannot be read.
bool ReadScriptFile(const char* path, std::string& text) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char chunk[4096];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != FALSE) && got > 0) {
    text.append(chunk, got);
  }
  CloseHandle(file);
  return ok;
}

// Says why the stand-in refuses to load, where a person running the
// process will look: standard error and the call log.
void RefuseScript(const char* reason) {
  char line[1024];
  std::snprintf(line, sizeof line, "rasapi32 stand-in: %s\r\n", reason);
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD written = 0;
  if (err && err != INVALID_HANDLE_VALUE) {
    WriteFile(err, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
  }
  AppendToLog(line);
}

// GetEnvironmentVariableA and not getenv: the C runtime's copy of the
// environment is taken once at its start and misses later changes.
bool EnvironmentValue(const char* name, char (&value)[MAX_PATH]) {
  const DWORD n = GetEnvironmentVariableA(name, value, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    value[0] = '\0';
    return false;
  }
  return true;
}

// Another process scripts the stand-in through a file, since it cannot
// call StandinReset; a script that is wrong stops the load rather than
// let a demonstration run on answers nobody asked for.
bool LoadScriptAtStart() {
  SetDefaults();
  ApplySuccessScript(g_script);
  EnvironmentValue("RAS_STANDIN_LOG", g_logPath);
  char path[MAX_PATH];
  if (!EnvironmentValue("RAS_STANDIN_SCRIPT", path)) return true;
  std::string text;
  char reason[768];
  if (!ReadScriptFile(path, text)) {
    std::snprintf(reason, sizeof reason, "cannot read the script %s (error %lu)", path,
                  GetLastError());
    RefuseScript(reason);
    return false;
  }
  char error[512];
  if (!ParseStandinScript(text.data(), text.size(), g_script, error, sizeof error)) {
    std::snprintf(reason, sizeof reason, "script %s: %s", path, error);
    RefuseScript(reason);
    return false;
  }
  return true;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) return LoadScriptAtStart() ? TRUE : FALSE;
  return TRUE;
}
