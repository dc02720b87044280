// What the host sees of netvane.dll beyond the exports' work: the record
// layouts it hands RAS and its diagnostic stream.
#include <doctest/doctest.h>

#include <cstring>

#include "host.h"

namespace {

// Writes n bytes of VPN diagnostics without a flush: each failed dial prints
// "RasDial failed: Error = 800\r\n" (29 bytes).
const std::string kDialFailedLine = "RasDial failed: Error = 800\r\n";

void FailVpnDial(LoadedLibrary& lib) {
  lib.script().dialResult = ERROR_AUTOMATIC_VPN_FAILED;
  CHECK(lib.VpnCon("vpn.example", "u", "p") == ERROR_AUTOMATIC_VPN_FAILED);
}

void FailBroadbandDial(LoadedLibrary& lib) {
  lib.script().dialResult = ERROR_NO_ANSWER;
  std::strcpy(lib.script().errorText, "No answer.");
  CHECK(lib.RasDial("u", "p") == ERROR_NO_ANSWER);
}

const std::string kBroadbandFailure = "\xC1\xAC\xBD\xD3\xB4\xED\xCE\xF3!\r\n No answer.\r\n";

}  // namespace

TEST_SUITE("library") {

TEST_CASE("the Windows 7 record layouts") {
  CHECK(sizeof(RasEntryWin7) == 2948);
  CHECK(sizeof(RasConnStatusWin7) == 332);
  CHECK(sizeof(RASDEVINFOA) == 152);
  CHECK(offsetof(RAS_PROJECTION_INFO, ppp) == 8);
  CHECK(offsetof(RASIKEV2_PROJECTION_INFO, dwFlags) == 60);
  CHECK(offsetof(RASIKEV2_PROJECTION_INFO, ipv6Address) == 16);
  CHECK(offsetof(RASPPP_PROJECTION_INFO, dwIPv6NegotiationError) == 20);
}

TEST_CASE("a ReportFormatted text reaches the file at the next flush or at unload") {
  SUBCASE("at unload") {
    LoadedLibrary lib;
    FailVpnDial(lib);
    CHECK(lib.Written() == "");
    CHECK(lib.Unload() == kDialFailedLine);
  }
  SUBCASE("at the next ReportLine, in the order written") {
    LoadedLibrary lib;
    FailVpnDial(lib);
    FailBroadbandDial(lib);
    CHECK(lib.Written() == kDialFailedLine + kBroadbandFailure);
    CHECK(lib.Unload() == kDialFailedLine + kBroadbandFailure);
  }
  SUBCASE("when the 4096-byte buffer fills") {
    LoadedLibrary lib;
    std::string all;
    for (int i = 0; i < 150; ++i) {
      FailVpnDial(lib);
      all += kDialFailedLine;
    }
    CHECK(lib.Written() == all.substr(0, 4096));
    CHECK(lib.Unload() == all);
  }
}

TEST_CASE("the stream keeps the standard output of the moment the library was loaded") {
  LoadedLibrary lib;
  OutputFile later;
  SetStdHandle(STD_OUTPUT_HANDLE, later.handle());
  FailBroadbandDial(lib);
  CHECK(lib.Written() == kBroadbandFailure);
  CHECK(later.Contents() == "");
}

TEST_CASE("without standard output nothing is written and every result stays") {
  for (StdOut mode : {StdOut::None, StdOut::Invalid}) {
    CAPTURE(static_cast<int>(mode));
    LoadedLibrary lib(mode);
    // Any handle the process gets later must stay untouched.
    OutputFile later;
    SetStdHandle(STD_OUTPUT_HANDLE, later.handle());
    FailBroadbandDial(lib);
    for (int i = 0; i < 150; ++i) FailVpnDial(lib);
    lib.script().hangUpResult = ERROR_INVALID_HANDLE;
    CHECK(lib.VpnDiscon() == ERROR_INVALID_HANDLE);
    CHECK(lib.Unload() == "");
    CHECK(later.Contents() == "");
  }
}

TEST_CASE("a pipe whose reader has gone drops the text and changes no result") {
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  REQUIRE(CreatePipe(&reader, &writer, nullptr, 0));
  CloseHandle(reader);
  const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, writer);
  HMODULE module = LoadLibraryA("netvane.dll");
  REQUIRE(module != nullptr);
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  StandinScript* script = StandinReset();
  script->dialResult = ERROR_NO_ANSWER;
  auto rasDial = reinterpret_cast<int(__cdecl*)(const char*, const char*)>(
      reinterpret_cast<void*>(GetProcAddress(module, "MorvendaRasDial")));
  auto vpnCon = reinterpret_cast<int(__cdecl*)(const char*, const char*, const char*)>(
      reinterpret_cast<void*>(GetProcAddress(module, "MorvendaVPNCon")));
  REQUIRE((rasDial != nullptr));
  REQUIRE((vpnCon != nullptr));
  CHECK(rasDial("u", "p") == ERROR_NO_ANSWER);
  CHECK(vpnCon("vpn.example", "u", "p") == ERROR_NO_ANSWER);
  CHECK(FreeLibrary(module));
  CloseHandle(writer);
}

DWORD WINAPI ReturnSeven(LPVOID) { return 7; }

TEST_CASE("thread notifications are accepted") {
  LoadedLibrary lib;
  HANDLE thread = CreateThread(nullptr, 0, ReturnSeven, nullptr, 0, nullptr);
  REQUIRE(thread != nullptr);
  WaitForSingleObject(thread, INFINITE);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  CHECK(code == 7);
  FailBroadbandDial(lib);
  CHECK(lib.Unload() == kBroadbandFailure);
}

}  // TEST_SUITE
