// MorvendaRasDial: the entry "MorvendaADSL", its saved credentials, the dial,
// and the failures that reach the host.
#include <doctest/doctest.h>

#include <cstring>
#include <functional>

#include "host.h"

namespace {

void AddDevice(StandinScript& s, const char* type, const char* name) {
  StandinDevice& d = s.devices[s.deviceCount++];
  std::strcpy(d.type, type);
  std::strcpy(d.name, name);
}

using Fn = StandinFunction;

}  // namespace

TEST_SUITE("broadband") {

TEST_CASE("a full success writes the entry on the first PPPoE device, saves and dials") {
  LoadedLibrary lib;
  AddDevice(lib.script(), "modem", "Standard Modem");
  AddDevice(lib.script(), "pppoe", "WAN Miniport (PPPOE)");
  AddDevice(lib.script(), "pppoe", "Second PPPoE Line");

  CHECK(lib.RasDial("alice", "secret") == 0);
  CHECK(lib.Unload() == "");

  CHECK(Functions() == std::vector<Fn>{kEnumDevices, kEnumDevices, kSetEntryProperties,
                                       kSetEntryDialParams, kDial});
  const auto calls = Calls();
  // Sizing call: no buffer, nothing counted yet.
  CHECK(calls[0].bufferNull);
  CHECK(calls[0].size == 0);
  CHECK(calls[0].count == 0);
  // Listing call: room for the three devices reported.
  CHECK_FALSE(calls[1].bufferNull);
  CHECK(calls[1].size == 3 * sizeof(RASDEVINFOA));
  CHECK(calls[1].count == 3);

  const StandinCall& entryCall = calls[2];
  CHECK(entryCall.phonebookNull);
  CHECK(std::string(entryCall.entryName) == "MorvendaADSL");
  CHECK(entryCall.size == 2948);
  CHECK(entryCall.deviceInfoNull);
  CHECK(entryCall.deviceInfoSize == 0);
  const RASENTRYA& e = entryCall.entry.base;
  CHECK(e.dwSize == 2948);
  CHECK(e.dwfOptions == 0x2318);
  CHECK(e.dwfNetProtocols == 4);
  CHECK(e.dwFramingProtocol == 1);
  CHECK(std::string(e.szDeviceType) == "pppoe");
  CHECK(std::string(e.szDeviceName) == "WAN Miniport (PPPOE)");
  CHECK(std::string(e.szLocalPhoneNumber) == "");
  CHECK(e.dwType == 5);
  CHECK(e.dwEncryptionType == 8);
  // Every other byte zero: checked by the stand-in (Calls()).

  const StandinCall& saved = calls[3];
  CheckSavedDialParams(saved, "MorvendaADSL", "alice", "secret");

  const StandinCall& dial = calls[4];
  CheckSynchronousDial(dial);
  CHECK(std::memcmp(&dial.params, &saved.params, sizeof dial.params) == 0);
}

TEST_CASE("a device type that differs from pppoe only in case is not chosen") {
  LoadedLibrary lib;
  AddDevice(lib.script(), "PPPoE", "Upper Case Miniport");
  AddDevice(lib.script(), "pppoe ", "Trailing Space Miniport");
  CHECK(lib.RasDial("u", "p") == 0);
  // The line is flushed as soon as it is written.
  CHECK(lib.Written() == kNoDeviceLine);
  CHECK(Functions() == std::vector<Fn>{kEnumDevices, kEnumDevices, kSetEntryDialParams, kDial});
}

TEST_CASE("failures: what is written, what is returned, whether it dials") {
  const std::string kModemText = "The remote computer did not respond.";
  struct Row {
    const char* name;
    std::function<void(StandinScript&)> script;
    int code;
    std::string written;
    std::vector<Fn> calls;
  };
  const std::vector<Row> rows = {
      {"the listing call fails",
       [](StandinScript& s) {
         AddDevice(s, "pppoe", "WAN");
         s.enumResult = ERROR_CANNOT_OPEN_PHONEBOOK;
       },
       ERROR_CANNOT_OPEN_PHONEBOOK, "", {kEnumDevices, kEnumDevices}},
      {"no devices, the dial succeeds", [](StandinScript&) {}, 0, "",
       {kEnumDevices, kEnumDevices, kSetEntryDialParams, kDial}},
      {"no devices, the dial fails",
       [&](StandinScript& s) {
         s.dialResult = ERROR_NO_ANSWER;
         std::strcpy(s.errorText, kModemText.c_str());
       },
       ERROR_NO_ANSWER, kDialFailedText + "\r\n " + kModemText + "\r\n",
       {kEnumDevices, kEnumDevices, kSetEntryDialParams, kDial, kGetErrorString}},
      {"no PPPoE device, the dial fails",
       [&](StandinScript& s) {
         AddDevice(s, "modem", "Modem");
         s.dialResult = ERROR_AUTHENTICATION_FAILURE;
         std::strcpy(s.errorText, kModemText.c_str());
       },
       ERROR_AUTHENTICATION_FAILURE,
       kNoDeviceLine + kDialFailedText + "\r\n " + kModemText + "\r\n",
       {kEnumDevices, kEnumDevices, kSetEntryDialParams, kDial, kGetErrorString}},
      {"writing the entry fails",
       [](StandinScript& s) {
         AddDevice(s, "pppoe", "WAN");
         s.setEntryResult = ERROR_ACCESS_DENIED;
       },
       ERROR_ACCESS_DENIED, "", {kEnumDevices, kEnumDevices, kSetEntryProperties}},
      {"saving the dial parameters fails, the dial goes ahead",
       [](StandinScript& s) {
         AddDevice(s, "pppoe", "WAN");
         s.setDialParamsResult = ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
       },
       0, "", {kEnumDevices, kEnumDevices, kSetEntryProperties, kSetEntryDialParams, kDial}},
      {"the dial fails and its text is empty",
       [](StandinScript& s) {
         AddDevice(s, "pppoe", "WAN");
         s.dialResult = ERROR_PPP_TIMEOUT;
         s.errorStringResult = ERROR_INVALID_PARAMETER;
       },
       ERROR_PPP_TIMEOUT, kDialFailedText + "\r\n \r\n",
       {kEnumDevices, kEnumDevices, kSetEntryProperties, kSetEntryDialParams, kDial,
        kGetErrorString}},
  };
  for (const Row& row : rows) {
    SUBCASE(row.name) {
      LoadedLibrary lib;
      row.script(lib.script());
      CHECK(lib.RasDial("user", "pass") == row.code);
      CHECK(lib.Written() == row.written);
      CHECK(lib.Unload() == row.written);
      CHECK(Functions() == row.calls);
      for (const StandinCall& call : CallsOf(kGetErrorString)) {
        CHECK(call.code == static_cast<DWORD>(row.code));
        CHECK(call.size == 256);
      }
    }
  }
}

TEST_CASE("an error text of 255 characters is written whole") {
  LoadedLibrary lib;
  lib.script().dialResult = ERROR_NO_CARRIER;
  const std::string text = Repeat('x', 255);
  std::strcpy(lib.script().errorText, text.c_str());
  CHECK(lib.RasDial("u", "p") == ERROR_NO_CARRIER);
  CHECK(lib.Unload() == kDialFailedText + "\r\n " + text + "\r\n");
}

TEST_CASE("user name and password: null is empty, longer than 256 is cut") {
  struct Row {
    const char* name;
    const char* user;
    const char* password;
    std::string savedUser;
    std::string savedPassword;
  };
  const std::string longUser = Repeat('u', 300);
  const std::string longPassword = Repeat('p', 257);
  const std::string exactUser = Repeat('a', 256);
  const std::vector<Row> rows = {
      {"null", nullptr, nullptr, "", ""},
      {"exactly 256", exactUser.c_str(), "pw", Repeat('a', 256), "pw"},
      {"longer", longUser.c_str(), longPassword.c_str(), Repeat('u', 256), Repeat('p', 256)},
  };
  for (const Row& row : rows) {
    SUBCASE(row.name) {
      LoadedLibrary lib;
      AddDevice(lib.script(), "pppoe", "WAN");
      CHECK(lib.RasDial(row.user, row.password) == 0);
      for (const StandinCall& call : CallsOf(kSetEntryDialParams)) {
        CHECK(std::string(call.params.szUserName) == row.savedUser);
        CHECK(std::string(call.params.szPassword) == row.savedPassword);
        CHECK(std::string(call.params.szEntryName) == "MorvendaADSL");
      }
      CHECK(CallsOf(kDial).size() == 1);
    }
  }
}

TEST_CASE("the listing call is given the size of the block allocated") {
  struct Row {
    const char* name;
    int devices;
    DWORD reportedBytes;
    DWORD listedBytes;
  };
  const Row rows[] = {
      {"a byte count larger than the devices", 1, 4000, sizeof(RASDEVINFOA)},
      {"no devices still get one record", 0, 0, sizeof(RASDEVINFOA)},
      {"no devices but a byte count", 0, 1000, sizeof(RASDEVINFOA)},
  };
  for (const Row& row : rows) {
    SUBCASE(row.name) {
      LoadedLibrary lib;
      for (int i = 0; i < row.devices; ++i) AddDevice(lib.script(), "pppoe", "WAN");
      lib.script().sizingBytes = row.reportedBytes;
      HeapSpy heap(lib.module());
      CHECK(lib.RasDial("u", "p") == 0);
      const auto enums = CallsOf(kEnumDevices);  // the stand-in checks the block's real size
      REQUIRE(enums.size() == 2);
      CHECK(enums[1].size == row.listedBytes);
      CHECK(heap.allocSizes() == std::vector<SIZE_T>{row.listedBytes});
      CHECK(heap.live() == 0);
    }
  }
}

TEST_CASE("a device list that cannot be allocated dials nothing") {
  struct Row {
    DWORD lastError;
    int code;
  };
  // HeapAlloc need not set the last-error code; a failure is never 0.
  const Row rows[] = {{0, ERROR_NOT_ENOUGH_MEMORY}, {ERROR_OUTOFMEMORY, ERROR_OUTOFMEMORY}};
  for (const Row& row : rows) {
    CAPTURE(row.lastError);
    LoadedLibrary lib;
    AddDevice(lib.script(), "pppoe", "WAN");
    HeapSpy heap(lib.module());
    heap.FailAlloc(1, row.lastError);
    CHECK(lib.RasDial("u", "p") == row.code);
    CHECK(lib.Unload() == "");
    CHECK(Functions() == std::vector<Fn>{kEnumDevices});
  }
}

}  // TEST_SUITE
