// The RAS stand-in's control interface: what each RAS function answers, and
// the record of every call with the records it was given.
#pragma once

#include "ras_records.h"

#ifdef RAS_STANDIN_BUILD
#define STANDIN_API extern "C" __declspec(dllexport)
#else
#define STANDIN_API extern "C" __declspec(dllimport)
#endif

constexpr int kStandinMaxDevices = 8;
constexpr int kStandinMaxAnswers = 16;
constexpr int kStandinMaxCalls = 1024;

struct StandinDevice {
  char type[RAS_MaxDeviceType + 1];
  char name[RAS_MaxDeviceName + 1];
};

struct StandinScript {
  // RasEnumDevicesA
  int deviceCount;
  StandinDevice devices[kStandinMaxDevices];
  DWORD sizingResult;  // answer of the call without a buffer
  DWORD sizingBytes;   // byte count it reports; 0: deviceCount records
  DWORD enumResult;    // answer of a listing call with room enough
  // Phonebook and dial
  DWORD setEntryResult;
  DWORD setDialParamsResult;
  DWORD dialResult;
  ULONG_PTR dialHandle;  // stored by RasDialA, also when it fails
  DWORD dialIfIndex;     // written into the caller's dial parameters
  DWORD errorStringResult;
  char errorText[256];
  // RasGetProjectionInfoEx: one answer a call; after the list, 0.
  int projectionAnswerCount;
  DWORD projectionAnswers[kStandinMaxAnswers];
  DWORD projectionRequiredSize;  // reported with an answer of 603
  DWORD projectionType;
  DWORD ipv4Error;
  DWORD ipv6Error;
  BYTE ipv4Address[4];
  BYTE ipv4ServerAddress[4];
  BYTE ipv6Address[16];
  BYTE ipv6ServerAddress[16];
  DWORD ikev2Flags;
  // RasGetConnectStatusA: one answer a call; after the list, the last again
  // (ERROR_INVALID_HANDLE for an empty list).
  int statusAnswerCount;
  DWORD statusAnswers[kStandinMaxAnswers];
  DWORD hangUpResult;
  // Makes the failCall-th call from the reset (1-based, whatever function
  // it is) answer failCode instead, before it hands anything back, except
  // that RasDialA still stores its handle as a failed dial does. 0: none.
  int failCall;
  DWORD failCode;
};

enum StandinFunction {
  kEnumDevices,
  kSetEntryProperties,
  kSetEntryDialParams,
  kDial,
  kGetErrorString,
  kGetProjectionInfoEx,
  kGetConnectStatus,
  kHangUp,
};

struct StandinCall {
  StandinFunction function;
  bool phonebookNull;
  char entryName[RAS_MaxEntryName + 1];
  bool bufferNull;        // device list, entry, error text, projection
  DWORD size;             // byte count, entry size, text size or projection size passed
  DWORD count;            // device count passed
  bool deviceInfoNull;    // RasSetEntryPropertiesA's device configuration
  DWORD deviceInfoSize;
  BOOL removePassword;
  bool extensionsNull;
  DWORD notifierType;
  bool notifierNull;
  bool handleOutNull;
  ULONG_PTR handleIn;     // what *lphRasConn held on entry to RasDialA
  ULONG_PTR connection;   // the handle passed
  DWORD code;             // RasGetErrorStringA's error code
  DWORD version;          // the projection's version field
  long sinceHangUpMs;     // milliseconds since the last RasHangUpA
  RasEntryWin7 entry;
  RASDIALPARAMSA params;
  bool failed;            // answered the injected failCode
  char problem[256];      // what the stand-in found wrong with its input
};

struct StandinLog {
  int count;
  StandinCall calls[kStandinMaxCalls];
};

STANDIN_API StandinScript* StandinReset();  // defaults; returns the script
STANDIN_API const StandinLog* StandinCalls();
// The real size of a block the library hands over, for blocks that do not
// come from the process heap (a test host's guarded allocator): return 0
// for a block it does not know. Null restores HeapSize.
using StandinBlockSizer = SIZE_T (*)(const void* block);
STANDIN_API void StandinSetBlockSizer(StandinBlockSizer sizer);
// Applies script text in the format of script_file.cpp on top of the
// script in force; FALSE with the reason in `error` for a malformed line.
STANDIN_API BOOL StandinLoadScript(const char* text, char* error, DWORD errorSize);
