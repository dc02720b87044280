// Every RAS call of the broadband dial, the VPN connect and the VPN
// disconnect made to fail in turn, at its position in the sequence: the code
// that reaches the host, what is printed, which calls follow, and what the
// library holds afterwards.
#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "guarded.h"
#include "host.h"

namespace {

using Fn = StandinFunction;

constexpr DWORD kFailure = ERROR_PORT_NOT_AVAILABLE;  // 633, answered by no script otherwise
constexpr ULONG_PTR kHandle = 0x5150;
const std::string kErrorText = "The port is already in use.";

const std::string kReport = kWorkingVpnReport;

// The working system, with a text for the error a failing call reports.
void ScriptFailingRas(StandinScript& s) {
  ScriptWorkingRas(s);
  std::strcpy(s.errorText, kErrorText.c_str());
}

struct Position {
  int call;            // 1-based position of the failing call
  Fn function;         // what that call is
  int code;            // the export's result
  std::string written;
  std::vector<Fn> calls;
};

// How many RAS calls a run makes when nothing fails.
template <typename Run>
size_t CallsWithoutFailure(Run run) {
  LoadedLibrary lib;
  ScriptFailingRas(lib.script());
  run(lib);
  return Calls().size();
}

}  // namespace

TEST_SUITE("fault positions") {

TEST_CASE("broadband dial: each call fails in turn") {
  const std::string kDialFailed = kDialFailedText + "\r\n ";
  const std::vector<Position> rows = {
      // The sizing call's answer is not looked at: the listing goes ahead.
      {1, kEnumDevices, 0, "",
       {kEnumDevices, kEnumDevices, kSetEntryProperties, kSetEntryDialParams, kDial}},
      {2, kEnumDevices, kFailure, "", {kEnumDevices, kEnumDevices}},
      {3, kSetEntryProperties, kFailure, "", {kEnumDevices, kEnumDevices, kSetEntryProperties}},
      // Saving the credentials may fail: the dial goes ahead.
      {4, kSetEntryDialParams, 0, "",
       {kEnumDevices, kEnumDevices, kSetEntryProperties, kSetEntryDialParams, kDial}},
      {5, kDial, kFailure, kDialFailed + kErrorText + "\r\n",
       {kEnumDevices, kEnumDevices, kSetEntryProperties, kSetEntryDialParams, kDial,
        kGetErrorString}},
      // The error text lookup only follows a failed dial (ERROR_NO_ANSWER
      // below); failing, it leaves the text empty.
      {6, kGetErrorString, ERROR_NO_ANSWER, kDialFailed + "\r\n",
       {kEnumDevices, kEnumDevices, kSetEntryProperties, kSetEntryDialParams, kDial,
        kGetErrorString}},
  };
  // Every call of a successful dial has its row; the last row is the one
  // call that only a failed dial makes.
  CHECK(CallsWithoutFailure([](LoadedLibrary& lib) { lib.RasDial("u", "p"); }) ==
        rows.size() - 1);
  for (const Position& row : rows) {
    SUBCASE(("call " + std::to_string(row.call)).c_str()) {
      LoadedLibrary lib;
      ScriptFailingRas(lib.script());
      lib.script().failCall = row.call;
      lib.script().failCode = kFailure;
      if (row.function == kGetErrorString) lib.script().dialResult = ERROR_NO_ANSWER;
      GuardedHeap heap(lib.module());
      CHECK(lib.RasDial("alice", "secret") == row.code);
      const std::vector<StandinCall> calls = Calls();
      REQUIRE(calls.size() >= static_cast<size_t>(row.call));
      CHECK(calls[row.call - 1].function == row.function);
      CHECK(calls[row.call - 1].failed);
      CHECK(Functions() == row.calls);
      // Nothing is kept: no block, and the dial's handle is not hung up.
      CHECK(heap.live() == 0);
      CHECK(heap.damage() == "");
      CHECK(lib.Unload() == row.written);
    }
  }
}

TEST_CASE("VPN connect and disconnect: each call fails in turn") {
  const std::string kEntryFailed = "RasSetEntryProperties MorvendaVPN failed error=633\r\n";
  struct Row {
    Position position;
    int disconnectCode;
    int blocksAfterConnect;  // the buffers the state holds between the two
  };
  const std::vector<Row> rows = {
      // The entry's failures are reported and the connect goes on.
      {{1, kSetEntryProperties, 0, kEntryFailed + "CreatRasEntry error!!" + kReport,
        {kSetEntryProperties, kDial, kGetProjectionInfoEx, kHangUp, kGetConnectStatus}},
       0, 3},
      {{2, kSetEntryDialParams, 0, "CreatRasEntry error!!" + kReport,
        {kSetEntryProperties, kSetEntryDialParams, kDial, kGetProjectionInfoEx, kHangUp,
         kGetConnectStatus}},
       0, 3},
      // A failed connect keeps no buffer; the disconnect hangs up what the
      // dial stored and does not wait.
      {{3, kDial, kFailure, "RasDial failed: Error = 633\r\n",
        {kSetEntryProperties, kSetEntryDialParams, kDial, kHangUp}},
       0, 0},
      {{4, kGetProjectionInfoEx, kFailure, "RasGetProjectionInfoEx failed: Error 633\r\n",
        {kSetEntryProperties, kSetEntryDialParams, kDial, kGetProjectionInfoEx, kHangUp}},
       0, 0},
      // A failed hang-up is printed and returned; the wait still runs.
      {{5, kHangUp, 0, kReport + "RasHangUp failed: Error = 633",
        {kSetEntryProperties, kSetEntryDialParams, kDial, kGetProjectionInfoEx, kHangUp,
         kGetConnectStatus}},
       kFailure, 3},
      // Any status answer but 6 only continues the wait.
      {{6, kGetConnectStatus, 0, kReport,
        {kSetEntryProperties, kSetEntryDialParams, kDial, kGetProjectionInfoEx, kHangUp,
         kGetConnectStatus, kGetConnectStatus}},
       0, 3},
  };
  CHECK(CallsWithoutFailure([](LoadedLibrary& lib) {
          lib.VpnCon("vpn.example.net", "u", "p");
          lib.VpnDiscon();
        }) == rows.size());
  for (const Row& row : rows) {
    const Position& p = row.position;
    SUBCASE(("call " + std::to_string(p.call)).c_str()) {
      LoadedLibrary lib;
      ScriptFailingRas(lib.script());
      lib.script().failCall = p.call;
      lib.script().failCode = kFailure;
      GuardedHeap heap(lib.module());
      CHECK(lib.VpnCon("vpn.example.net", "bob", "pw") == p.code);
      CHECK(heap.live() == row.blocksAfterConnect);
      CHECK(lib.VpnDiscon() == row.disconnectCode);
      const std::vector<StandinCall> calls = Calls();
      REQUIRE(calls.size() >= static_cast<size_t>(p.call));
      CHECK(calls[p.call - 1].function == p.function);
      CHECK(calls[p.call - 1].failed);
      CHECK(Functions() == p.calls);
      for (const StandinCall& call : CallsOf(kHangUp)) CHECK(call.connection == kHandle);
      // Whatever failed, the disconnect leaves the state empty: a second one
      // hangs up the empty handle and waits for nothing.
      CHECK(heap.live() == 0);
      const size_t before = Calls().size();
      CHECK(lib.VpnDiscon() == 0);
      const std::vector<StandinCall> after = Calls();
      REQUIRE(after.size() == before + 1);
      CHECK(after.back().function == kHangUp);
      CHECK(after.back().connection == 0);
      CHECK(heap.damage() == "");
      CHECK(lib.Unload() == p.written);
    }
  }
}

}  // TEST_SUITE
