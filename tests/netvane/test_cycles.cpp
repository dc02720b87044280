// A thousand dials, connects and disconnects in one process: the process
// heap and the handle table end where they began.
#include <doctest/doctest.h>

#include <cstring>

#include "host.h"

namespace {

struct HeapUse {
  SIZE_T bytes = 0;
  int blocks = 0;
};

// The busy blocks of the process heap, walked with the heap locked.
HeapUse ProcessHeapUse() {
  HeapUse use;
  HANDLE heap = GetProcessHeap();
  HeapLock(heap);
  PROCESS_HEAP_ENTRY entry = {};
  while (HeapWalk(heap, &entry)) {
    if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
      use.bytes += entry.cbData;
      ++use.blocks;
    }
  }
  HeapUnlock(heap);
  return use;
}

// The working system, with MOBIKE, so that every connect walks the whole
// report.
void ScriptCyclingRas(StandinScript& s) {
  ScriptWorkingRas(s);
  s.ikev2Flags = kIkev2FlagMobikeSupported;
}

// One cycle; counts what went wrong without allocating, so that the test's
// own bookkeeping does not show in the heap.
struct Tally {
  int failedResults = 0;
  int problems = 0;
  int calls = 0;
};

void Cycle(LoadedLibrary& lib, Tally& tally) {
  StandinScript* script = StandinReset();  // also empties the call record
  ScriptCyclingRas(*script);
  if (lib.RasDial("alice", "secret") != 0) ++tally.failedResults;
  if (lib.VpnCon("vpn.example.net", "bob", "pw") != 0) ++tally.failedResults;
  if (lib.VpnDiscon() != 0) ++tally.failedResults;
  const StandinLog* log = StandinCalls();
  tally.calls += log->count;
  for (int i = 0; i < log->count; ++i) {
    if (log->calls[i].problem[0] != '\0') ++tally.problems;
  }
}

}  // namespace

TEST_SUITE("cycles") {

TEST_CASE("a thousand cycles leave the heap and the handle count as they were") {
  constexpr int kCycles = 1000;
  LoadedLibrary lib;
  Tally tally;
  // The first cycle may initialise what stays for the life of the process
  // (the sockets library's address formatting, the output file's buffers).
  Cycle(lib, tally);
  const HeapUse heapBefore = ProcessHeapUse();
  DWORD handlesBefore = 0;
  REQUIRE(GetProcessHandleCount(GetCurrentProcess(), &handlesBefore));

  for (int i = 0; i < kCycles; ++i) Cycle(lib, tally);

  const HeapUse heapAfter = ProcessHeapUse();
  DWORD handlesAfter = 0;
  REQUIRE(GetProcessHandleCount(GetCurrentProcess(), &handlesAfter));
  CHECK(tally.failedResults == 0);
  CHECK(tally.problems == 0);
  // Dial 5 calls, connect 4, disconnect 2 (the connection is gone at once).
  CHECK(tally.calls == (kCycles + 1) * 11);
  CHECK(heapAfter.blocks == heapBefore.blocks);
  CHECK(heapAfter.bytes == heapBefore.bytes);
  CHECK(handlesAfter == handlesBefore);
}

}  // TEST_SUITE
