// MorvendaVPNDiscon: the hang-up, the bounded wait for RAS to let go, and the
// emptied state.
#include <doctest/doctest.h>

#include "host.h"

namespace {

using Fn = StandinFunction;

void Connect(LoadedLibrary& lib, ULONG_PTR handle) {
  lib.script().dialHandle = handle;
  SetIpv4(lib.script().ipv4Address, 10, 0, 0, 2);
  SetIpv4(lib.script().ipv4ServerAddress, 10, 0, 0, 1);
  REQUIRE(lib.VpnCon("vpn.example.net", "u", "p") == 0);
}

const std::string kConnectReport =
    "RASPROJECTION_INFO_TYPE is: IKEv2\r\n"
    "Ras Client IP Address: 10.0.0.2\r\nRas Server IP Address: 10.0.0.1\r\n"
    "Cannot do MOBIKE switch as the client does not support Mobile IKE (MOBIKE)\r\n";

void ScriptStatus(StandinScript& s, std::initializer_list<DWORD> answers) {
  s.statusAnswerCount = 0;
  for (DWORD a : answers) s.statusAnswers[s.statusAnswerCount++] = a;
}

}  // namespace

TEST_SUITE("vpn disconnect") {

TEST_CASE("right after load: the empty handle, no wait, and a second time the same") {
  struct Row {
    DWORD hangUp;
    std::string written;
  };
  const Row rows[] = {{0, ""}, {ERROR_INVALID_HANDLE, "RasHangUp failed: Error = 6"}};
  for (const Row& row : rows) {
    CAPTURE(row.hangUp);
    LoadedLibrary lib;
    lib.script().hangUpResult = row.hangUp;
    CHECK(lib.VpnDiscon() == static_cast<int>(row.hangUp));
    CHECK(lib.VpnDiscon() == static_cast<int>(row.hangUp));
    const auto calls = Calls();
    REQUIRE(calls.size() == 2);
    for (const StandinCall& call : calls) {
      CHECK(call.function == kHangUp);
      CHECK(call.connection == 0);
    }
    // The message ends without a line feed: the next one runs on.
    CHECK(lib.Unload() == row.written + row.written);
  }
}

TEST_CASE("after a success: hang up, poll at once until RAS lets go, then empty") {
  LoadedLibrary lib;
  Connect(lib, 0xABCD);
  HeapSpy heap(lib.module());
  const int before = StandinCalls()->count;
  ScriptStatus(lib.script(), {0, ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_HANDLE});
  CHECK(lib.VpnDiscon() == 0);

  const auto calls = Calls();
  REQUIRE(calls.size() == static_cast<size_t>(before) + 4);
  CHECK(calls[before].function == kHangUp);
  CHECK(calls[before].connection == 0xABCD);
  for (int i = 1; i <= 3; ++i) {
    const StandinCall& status = calls[before + i];
    CHECK(status.function == kGetConnectStatus);
    CHECK(status.connection == 0xABCD);
    CHECK(status.size == 332);  // the stand-in also checks the rest is zero
  }
  // The first query follows the hang-up with no pause; then 50 ms pauses.
  CHECK(calls[before + 1].sinceHangUpMs < 40);
  CHECK(calls[before + 2].sinceHangUpMs >= 45);
  CHECK(calls[before + 3].sinceHangUpMs >= 95);
  CHECK(calls[before + 3].sinceHangUpMs < 1000);
  CHECK(heap.frees() == 3);
  CHECK(heap.live() == -3);  // the three blocks of the connect

  // The state is empty: a second disconnect is like one right after load.
  lib.script().hangUpResult = ERROR_INVALID_HANDLE;
  CHECK(lib.VpnDiscon() == ERROR_INVALID_HANDLE);
  const auto after = Calls();
  REQUIRE(after.size() == calls.size() + 1);
  CHECK(after.back().function == kHangUp);
  CHECK(after.back().connection == 0);
  CHECK(heap.frees() == 3);
  CHECK(lib.Unload() == kConnectReport + "RasHangUp failed: Error = 6");
}

TEST_CASE("a failed hang-up is printed and returned, and the poll still runs") {
  LoadedLibrary lib;
  Connect(lib, 0x77);
  lib.script().hangUpResult = ERROR_ACCESS_DENIED;
  ScriptStatus(lib.script(), {ERROR_INVALID_HANDLE});
  CHECK(lib.VpnDiscon() == ERROR_ACCESS_DENIED);
  CHECK(CallsOf(kGetConnectStatus).size() == 1);
  CHECK(lib.Unload() == kConnectReport + "RasHangUp failed: Error = 5");
}

TEST_CASE("after a connect that failed after its dial: hang up that handle, no wait") {
  LoadedLibrary lib;
  lib.script().dialHandle = 0x4242;
  lib.script().projectionAnswerCount = 1;
  lib.script().projectionAnswers[0] = ERROR_NO_CONNECTION;
  CHECK(lib.VpnCon("vpn.example.net", "u", "p") == ERROR_NO_CONNECTION);
  ScriptStatus(lib.script(), {0});
  CHECK(lib.VpnDiscon() == 0);
  const auto hangUps = CallsOf(kHangUp);
  REQUIRE(hangUps.size() == 1);
  CHECK(hangUps[0].connection == 0x4242);
  CHECK(CallsOf(kGetConnectStatus).empty());
}

TEST_CASE("unloading leaves the connection up") {
  LoadedLibrary lib;
  Connect(lib, 0x99);
  CHECK(lib.Unload() == kConnectReport);
  CHECK(CallsOf(kHangUp).empty());
}

}  // TEST_SUITE

TEST_SUITE("slow") {

TEST_CASE("RAS that never lets go: the disconnect returns after about 10 s") {
  LoadedLibrary lib;
  Connect(lib, 0x1234);
  HeapSpy heap(lib.module());
  const int before = StandinCalls()->count;
  ScriptStatus(lib.script(), {0});
  const DWORD start = GetTickCount();
  CHECK(lib.VpnDiscon() == 0);
  const DWORD elapsed = GetTickCount() - start;
  CHECK(elapsed >= 10000);
  CHECK(elapsed < 11500);

  const auto calls = Calls();
  const std::vector<StandinCall> polls(calls.begin() + before + 1, calls.end());
  CAPTURE(polls.size());
  CHECK(polls.size() >= 150);
  CHECK(polls.size() <= 202);
  CHECK(polls.front().sinceHangUpMs < 40);
  CHECK(polls.back().sinceHangUpMs >= 9950);
  for (size_t i = 1; i < polls.size(); ++i) {
    CHECK(polls[i].sinceHangUpMs - polls[i - 1].sinceHangUpMs >= 40);
  }
  CHECK(heap.live() == -3);
  CHECK(lib.Unload() == kConnectReport);
}

}  // TEST_SUITE
