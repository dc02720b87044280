// MorvendaVPNCon: the entry "MorvendaVPN", both sets of dial parameters, the
// dial, the projection report and every failure on the way.
#include <doctest/doctest.h>

#include <cstring>
#include <functional>

#include "host.h"

namespace {

using Fn = StandinFunction;

const std::string kIkev2Line = "RASPROJECTION_INFO_TYPE is: IKEv2\r\n";
const std::string kPppLine = "RASPROJECTION_INFO_TYPE is: PPP\r\n";
const std::string kIpv4Lines =
    "Ras Client IP Address: 10.8.0.2\r\nRas Server IP Address: 198.51.100.7\r\n";
const std::string kIpv6Lines =
    "Ras Client IPv6 Address: fd00::2\r\nRas Server IPv6 Address: 2001:db8::7\r\n";
const std::string kNotIkev2 = "Cannot do MOBIKE switch as connection in not IKEv2\r\n";
const std::string kNoMobike =
    "Cannot do MOBIKE switch as the client does not support Mobile IKE (MOBIKE)\r\n";
const std::string kNoExistingIndex =
    "Cannot do MOBIKE switch as the existing interface index is not specified\r\n";
const std::string kNoNewIndex =
    "Cannot do MOBIKE switch as the new interface index is not specified\r\n";

// A projection with both address families negotiated.
void ScriptAddresses(StandinScript& s) {
  SetIpv4(s.ipv4Address, 10, 8, 0, 2);
  SetIpv4(s.ipv4ServerAddress, 198, 51, 100, 7);
  const BYTE client[16] = {0xfd, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
  const BYTE server[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7};
  std::memcpy(s.ipv6Address, client, 16);
  std::memcpy(s.ipv6ServerAddress, server, 16);
  s.ikev2Flags = kIkev2FlagMobikeSupported;
}

// Ends the connect's state through the disconnect and returns the handle
// it hung up; the connection is gone at the first status query.
ULONG_PTR HungUpHandle(LoadedLibrary& lib) {
  const int before = StandinCalls()->count;
  lib.script().hangUpResult = 0;
  CHECK(lib.VpnDiscon() == 0);
  const StandinLog* log = StandinCalls();
  REQUIRE(log->count > before);
  REQUIRE(log->calls[before].function == kHangUp);
  return log->calls[before].connection;
}

struct HeapSetting {
  int calls;
  HANDLE heap;
  HEAP_INFORMATION_CLASS kind;
  PVOID information;
  SIZE_T length;
};
HeapSetting g_heapSetting;

BOOL WINAPI RecordHeapSetting(HANDLE heap, HEAP_INFORMATION_CLASS kind, PVOID information,
                              SIZE_T length) {
  g_heapSetting = {g_heapSetting.calls + 1, heap, kind, information, length};
  return TRUE;
}

}  // namespace

TEST_SUITE("vpn connect") {

TEST_CASE("every connect asks for the process to end on heap corruption") {
  LoadedLibrary lib;
  ImportPatch setting(lib.module(), "KERNEL32.dll", "HeapSetInformation",
                      reinterpret_cast<void*>(&RecordHeapSetting));
  g_heapSetting = {};
  lib.script().dialResult = ERROR_AUTOMATIC_VPN_FAILED;  // set before the dial, whatever it does
  CHECK(lib.VpnCon("vpn.example.net", "u", "p") == ERROR_AUTOMATIC_VPN_FAILED);
  CHECK(g_heapSetting.calls == 1);
  CHECK(g_heapSetting.heap == nullptr);
  CHECK(g_heapSetting.kind == HeapEnableTerminationOnCorruption);
  CHECK(g_heapSetting.information == nullptr);
  CHECK(g_heapSetting.length == 0);
}

TEST_CASE("a successful connect: entry, saved parameters, dial, projection, report") {
  LoadedLibrary lib;
  ScriptAddresses(lib.script());
  lib.script().dialHandle = 0xC0FFEE;
  HeapSpy heap(lib.module());

  CHECK(lib.VpnCon("vpn.example.net", "alice", "s3cret") == 0);
  CHECK(lib.Written() == "");  // formatted text waits for a flush
  CHECK(Functions() ==
        std::vector<Fn>{kSetEntryProperties, kSetEntryDialParams, kDial, kGetProjectionInfoEx});
  const auto calls = Calls();

  const StandinCall& entryCall = calls[0];
  CHECK(entryCall.phonebookNull);
  CHECK(std::string(entryCall.entryName) == "MorvendaVPN");
  CHECK(entryCall.size == 2948);
  CHECK(entryCall.deviceInfoNull);
  CHECK(entryCall.deviceInfoSize == 0);
  const RASENTRYA& e = entryCall.entry.base;
  CHECK(e.dwSize == 2948);
  CHECK(e.dwfOptions == 0x3D001110);
  CHECK(std::string(e.szLocalPhoneNumber) == "vpn.example.net");
  CHECK(e.dwfNetProtocols == 4);
  CHECK(e.dwFramingProtocol == 0);
  CHECK(std::string(e.szDeviceType) == "vpn");
  CHECK(std::string(e.szDeviceName) == "RAS VPN Line 0");
  CHECK(e.dwType == 2);
  CHECK(e.dwEncryptionType == 3);
  CHECK(e.dwVpnStrategy == 3);
  CHECK(e.dwRedialCount == 30000);
  CHECK(e.dwRedialPause == 10);

  CheckSavedDialParams(calls[1], "MorvendaVPN", "alice", "s3cret");

  const StandinCall& dial = calls[2];
  CheckSynchronousDial(dial);
  CHECK(dial.params.dwSize == sizeof(RASDIALPARAMSA));
  CHECK(std::string(dial.params.szEntryName) == "MorvendaVPN");
  CHECK(std::string(dial.params.szPhoneNumber) == "vpn.example.net");
  CHECK(std::string(dial.params.szUserName) == "alice");
  CHECK(std::string(dial.params.szPassword) == "s3cret");
  CHECK(dial.params.dwIfIndex == 0);

  const StandinCall& projection = calls[3];
  CHECK(projection.connection == 0xC0FFEE);
  CHECK(projection.size == 108);
  CHECK(projection.version == 4);

  CHECK(heap.allocSizes() ==
        std::vector<SIZE_T>{sizeof(RASDIALPARAMSA), 108, sizeof(RasConnStatusWin7)});
  CHECK(heap.live() == 3);  // held for the disconnect
  CHECK(lib.Unload() == kIkev2Line + kIpv4Lines + kNoExistingIndex);
}

TEST_CASE("server, user name and password are cut to 128, 256 and 256 characters") {
  const std::string server = Repeat('s', 200);
  const std::string user = Repeat('u', 300);
  const std::string password = Repeat('p', 257);
  LoadedLibrary lib;
  CHECK(lib.VpnCon(server.c_str(), user.c_str(), password.c_str()) == 0);
  const auto entry = CallsOf(kSetEntryProperties);
  const auto saved = CallsOf(kSetEntryDialParams);
  const auto dial = CallsOf(kDial);
  REQUIRE(entry.size() == 1);
  REQUIRE(saved.size() == 1);
  REQUIRE(dial.size() == 1);
  CHECK(std::string(entry[0].entry.base.szLocalPhoneNumber) == Repeat('s', 128));
  CHECK(std::string(saved[0].params.szUserName) == Repeat('u', 256));
  CHECK(std::string(saved[0].params.szPassword) == Repeat('p', 256));
  CHECK(std::string(dial[0].params.szPhoneNumber) == Repeat('s', 128));
  CHECK(std::string(dial[0].params.szUserName) == Repeat('u', 256));
  CHECK(std::string(dial[0].params.szPassword) == Repeat('p', 256));
  CHECK(lib.Unload() == kIkev2Line + "Ras Client IP Address: 0.0.0.0\r\n"
                        "Ras Server IP Address: 0.0.0.0\r\n" + kNoMobike);
}

TEST_CASE("null server, user name and password are read as empty texts") {
  LoadedLibrary lib;
  CHECK(lib.VpnCon(nullptr, nullptr, nullptr) == 0);
  const auto dial = CallsOf(kDial);
  REQUIRE(dial.size() == 1);
  CHECK(std::string(dial[0].params.szPhoneNumber) == "");
  CHECK(std::string(dial[0].params.szUserName) == "");
  CHECK(std::string(dial[0].params.szPassword) == "");
  CHECK(std::string(dial[0].params.szEntryName) == "MorvendaVPN");
  CHECK(std::string(CallsOf(kSetEntryProperties)[0].entry.base.szLocalPhoneNumber) == "");
}

TEST_CASE("the projection report: type, addresses and one MOBIKE line") {
  struct Row {
    const char* name;
    DWORD type;
    DWORD ipv4Error;
    DWORD ipv6Error;
    DWORD flags;
    DWORD ifIndex;
    std::string written;
  };
  const DWORD kFailed = ERROR_PPP_NO_PROTOCOLS_CONFIGURED;
  const Row rows[] = {
      {"IKEv2, both families: IPv4 wins", 2, 0, 0, 1, 0, kIkev2Line + kIpv4Lines + kNoExistingIndex},
      {"IKEv2, IPv6 only", 2, kFailed, 0, 1, 0, kIkev2Line + kIpv6Lines + kNoExistingIndex},
      {"IKEv2, neither family", 2, kFailed, kFailed, 1, 0, kIkev2Line + kNoExistingIndex},
      {"IKEv2 without MOBIKE", 2, 0, kFailed, 0, 9, kIkev2Line + kIpv4Lines + kNoMobike},
      {"IKEv2 with an interface index", 2, 0, 0, 1, 9, kIkev2Line + kIpv4Lines + kNoNewIndex},
      {"PPP with IPv4", 1, 0, 0, 1, 9, kPppLine + kIpv4Lines + kNotIkev2},
      // PPP carries no IPv6 addresses: nothing to print when IPv4 failed.
      {"PPP without IPv4", 1, kFailed, 0, 1, 0, kPppLine + kNotIkev2},
      {"another type reads as PPP", 7, 0, 0, 1, 0, kPppLine + kIpv4Lines + kNotIkev2},
  };
  for (const Row& row : rows) {
    SUBCASE(row.name) {
      LoadedLibrary lib;
      StandinScript& s = lib.script();
      ScriptAddresses(s);
      s.projectionType = row.type;
      s.ipv4Error = row.ipv4Error;
      s.ipv6Error = row.ipv6Error;
      s.ikev2Flags = row.flags;
      s.dialIfIndex = row.ifIndex;
      CHECK(lib.VpnCon("vpn.example.net", "u", "p") == 0);
      CHECK(lib.Unload() == row.written);
    }
  }
}

TEST_CASE("a projection larger than the record is fetched again into a larger block") {
  struct Row {
    const char* name;
    DWORD required;
    DWORD secondSize;
    SIZE_T secondBlock;
  };
  const Row rows[] = {
      {"larger", 200, 200, 200},
      // RAS asking for less must still leave room for the record's fields.
      {"smaller than the record", 40, 108, 108},
  };
  for (const Row& row : rows) {
    SUBCASE(row.name) {
      LoadedLibrary lib;
      ScriptAddresses(lib.script());
      lib.script().projectionAnswerCount = 1;
      lib.script().projectionAnswers[0] = ERROR_BUFFER_TOO_SMALL;
      lib.script().projectionRequiredSize = row.required;
      HeapSpy heap(lib.module());
      CHECK(lib.VpnCon("vpn.example.net", "u", "p") == 0);
      const auto projection = CallsOf(kGetProjectionInfoEx);
      REQUIRE(projection.size() == 2);
      CHECK(projection[0].size == 108);
      CHECK(projection[1].size == row.secondSize);
      CHECK(projection[1].version == 4);
      CHECK(projection[1].connection == lib.script().dialHandle);
      CHECK(heap.allocSizes() ==
            std::vector<SIZE_T>{sizeof(RASDIALPARAMSA), 108, row.secondBlock,
                                sizeof(RasConnStatusWin7)});
      CHECK(heap.frees() == 1);
      CHECK(heap.live() == 3);
      CHECK(lib.Unload() == kIkev2Line + kIpv4Lines + kNoExistingIndex);
    }
  }
}

TEST_CASE("failures of RAS: what is printed, returned and left behind") {
  struct Row {
    const char* name;
    std::function<void(StandinScript&)> script;
    int code;
    std::string written;
    std::vector<Fn> calls;
    ULONG_PTR handleLeft;  // what the following disconnect hangs up
  };
  const ULONG_PTR kHandle = 0x5150;
  const std::string kEntryFailed = "RasSetEntryProperties MorvendaVPN failed error=621\r\n";
  const std::vector<Row> rows = {
      {"the entry cannot be written: the dial goes ahead",
       [](StandinScript& s) {
         s.setEntryResult = ERROR_CANNOT_OPEN_PHONEBOOK;
         s.dialResult = ERROR_VPN_TIMEOUT;
       },
       ERROR_VPN_TIMEOUT,
       kEntryFailed + "CreatRasEntry error!!RasDial failed: Error = 809\r\n",
       {kSetEntryProperties, kDial}, kHandle},
      {"the entry cannot be written, the connect succeeds",
       [](StandinScript& s) {
         ScriptAddresses(s);
         s.setEntryResult = ERROR_CANNOT_OPEN_PHONEBOOK;
       },
       0, kEntryFailed + "CreatRasEntry error!!" + kIkev2Line + kIpv4Lines + kNoExistingIndex,
       {kSetEntryProperties, kDial, kGetProjectionInfoEx}, kHandle},
      {"the credentials cannot be saved",
       [](StandinScript& s) {
         s.setDialParamsResult = ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
         s.dialResult = ERROR_AUTHENTICATION_FAILURE;
       },
       ERROR_AUTHENTICATION_FAILURE, "CreatRasEntry error!!RasDial failed: Error = 691\r\n",
       {kSetEntryProperties, kSetEntryDialParams, kDial}, kHandle},
      {"the dial fails",
       [](StandinScript& s) {
         s.dialResult = ERROR_AUTOMATIC_VPN_FAILED;
         s.dialHandle = 0xDEAD;
       },
       ERROR_AUTOMATIC_VPN_FAILED, "RasDial failed: Error = 800\r\n",
       {kSetEntryProperties, kSetEntryDialParams, kDial}, 0xDEAD},
      {"the projection query fails",
       [](StandinScript& s) {
         s.projectionAnswerCount = 1;
         s.projectionAnswers[0] = ERROR_NO_CONNECTION;
       },
       ERROR_NO_CONNECTION, "RasGetProjectionInfoEx failed: Error 668\r\n",
       {kSetEntryProperties, kSetEntryDialParams, kDial, kGetProjectionInfoEx}, kHandle},
      {"the projection is too small twice",
       [](StandinScript& s) {
         s.projectionAnswerCount = 2;
         s.projectionAnswers[0] = ERROR_BUFFER_TOO_SMALL;
         s.projectionAnswers[1] = ERROR_BUFFER_TOO_SMALL;
         s.projectionRequiredSize = 400;
       },
       ERROR_BUFFER_TOO_SMALL, "RasGetProjectionInfoEx failed: Error 603\r\n",
       {kSetEntryProperties, kSetEntryDialParams, kDial, kGetProjectionInfoEx,
        kGetProjectionInfoEx},
       kHandle},
      {"the second projection query fails otherwise",
       [](StandinScript& s) {
         s.projectionAnswerCount = 2;
         s.projectionAnswers[0] = ERROR_BUFFER_TOO_SMALL;
         s.projectionAnswers[1] = ERROR_INVALID_HANDLE;
         s.projectionRequiredSize = 300;
       },
       ERROR_INVALID_HANDLE, "RasGetProjectionInfoEx failed: Error 6\r\n",
       {kSetEntryProperties, kSetEntryDialParams, kDial, kGetProjectionInfoEx,
        kGetProjectionInfoEx},
       kHandle},
  };
  for (const Row& row : rows) {
    SUBCASE(row.name) {
      LoadedLibrary lib;
      row.script(lib.script());
      HeapSpy heap(lib.module());
      CHECK(lib.VpnCon("vpn.example.net", "u", "p") == row.code);
      CHECK(Functions() == row.calls);
      // A failed connect keeps no buffer, so the disconnect hangs up what the
      // dial left without waiting.
      if (row.code != 0) CHECK(heap.live() == 0);
      CHECK(HungUpHandle(lib) == row.handleLeft);
      CHECK(CallsOf(kGetConnectStatus).size() == (row.code != 0 ? 0u : 1u));
      CHECK(lib.Unload() == row.written);
    }
  }
}

TEST_CASE("heap failures: the last-error code is printed and returned, never 0") {
  struct Row {
    const char* name;
    bool enlarge;      // RAS answers 603 first
    bool failFree;     // else an allocation fails
    int nth;           // which call fails
    DWORD lastError;
    std::string written;
    int ras;           // RAS calls made
  };
  const Row rows[] = {
      {"dial parameters, last error 0", false, false, 1, 0, "HeapAlloc failed: Error 8\r\n", 0},
      {"dial parameters, last error set", false, false, 1, ERROR_OUTOFMEMORY,
       "HeapAlloc failed: Error 14\r\n", 0},
      {"projection", false, false, 2, 0, "HeapAlloc failed: Error 8\r\n", 3},
      {"enlarged projection", true, false, 3, 0, "HeapAlloc failed: Error 8\r\n", 4},
      {"status block", false, false, 3, ERROR_OUTOFMEMORY,
       kIkev2Line + kIpv4Lines + "HeapAlloc failed: Error 14\r\n", 4},
      {"release of the small projection, last error 0", true, true, 1, 0,
       "HeapFree failed: Error 8\r\n", 4},
      {"release of the small projection, last error set", true, true, 1, ERROR_INVALID_PARAMETER,
       "HeapFree failed: Error 87\r\n", 4},
  };
  for (const Row& row : rows) {
    SUBCASE(row.name) {
      LoadedLibrary lib;
      ScriptAddresses(lib.script());
      if (row.enlarge) {
        lib.script().projectionAnswerCount = 1;
        lib.script().projectionAnswers[0] = ERROR_BUFFER_TOO_SMALL;
        lib.script().projectionRequiredSize = 160;
      }
      HeapSpy heap(lib.module());
      if (row.failFree) {
        heap.FailFree(row.nth, row.lastError);
      } else {
        heap.FailAlloc(row.nth, row.lastError);
      }
      const int expected = row.lastError != 0 ? static_cast<int>(row.lastError)
                                              : ERROR_NOT_ENOUGH_MEMORY;
      CHECK(lib.VpnCon("vpn.example.net", "u", "p") == expected);
      CHECK(static_cast<int>(Calls().size()) == row.ras);
      // Every block is released, except one whose release failed: that one
      // is never released twice.
      CHECK(heap.live() == (row.failFree ? 1 : 0));
      // No status block: the disconnect hangs up without waiting.
      CHECK(HungUpHandle(lib) == (row.ras == 0 ? 0 : lib.script().dialHandle));
      CHECK(CallsOf(kGetConnectStatus).empty());
      CHECK(lib.Unload() == row.written);
    }
  }
}

TEST_CASE("a second connect drops the first handle and releases the first buffers") {
  LoadedLibrary lib;
  ScriptAddresses(lib.script());
  HeapSpy heap(lib.module());
  lib.script().dialHandle = 0x1111;
  CHECK(lib.VpnCon("one.example", "u", "p") == 0);
  lib.script().dialHandle = 0x2222;
  CHECK(lib.VpnCon("two.example", "u", "p") == 0);
  CHECK(heap.live() == 3);
  const auto dials = CallsOf(kDial);
  REQUIRE(dials.size() == 2);
  CHECK(dials[1].handleIn == 0);  // the first handle was dropped, not passed on
  CHECK(CallsOf(kHangUp).empty());
  CHECK(HungUpHandle(lib) == 0x2222);
  CHECK(heap.live() == 0);
  const std::string report = kIkev2Line + kIpv4Lines + kNoExistingIndex;
  CHECK(lib.Unload() == report + report);
}

}  // TEST_SUITE
