// Arguments at their limits: null, empty, 64 KiB, non-ASCII bytes and
// format characters, with every record the library allocates ending at a
// no-access page and every argument ending just before one, so an overflow
// or an over-read faults where it happens. The stand-in checks each record
// it is handed for stray bytes and for texts that fill their whole field.
#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "guarded.h"
#include "host.h"

namespace {

const std::string kReport = kWorkingVpnReport;

std::string AllByteValues() {
  std::string text;
  for (int c = 1; c < 256; ++c) text += static_cast<char>(c);
  return text;
}

std::string RepeatText(const std::string& unit, size_t bytes) {
  std::string text;
  while (text.size() < bytes) text += unit;
  text.resize(bytes);
  return text;
}

struct Row {
  const char* name;
  bool null;
  std::string text;
};

std::string Cut(const Row& row, size_t field) {
  return row.null ? std::string() : row.text.substr(0, field - 1);
}

}  // namespace

TEST_SUITE("arguments") {

TEST_CASE("null, empty, 64 KiB and non-ASCII arguments") {
  const std::vector<Row> rows = {
      {"null", true, ""},
      {"empty", false, ""},
      {"64 KiB of ASCII", false, std::string(64 * 1024, 'x')},
      {"64 KiB of GBK", false, RepeatText("\xC4\xE3\xBA\xC3", 64 * 1024)},
      {"UTF-8", false, "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C-\xE5\xAF\x86\xE7\xA0\x81"},
      {"every byte value", false, AllByteValues()},
      {"format characters", false, "%s%s%n%d%%%x"},
  };
  for (const Row& row : rows) {
    SUBCASE(row.name) {
      LoadedLibrary lib;
      ScriptWorkingRas(lib.script());
      GuardedHeap heap(lib.module());
      GuardedText a(row.null ? nullptr : row.text.c_str());
      GuardedText b(row.null ? nullptr : row.text.c_str());
      GuardedText c(row.null ? nullptr : row.text.c_str());

      CHECK(lib.RasDial(a.get(), b.get()) == 0);
      CHECK(lib.VpnCon(a.get(), b.get(), c.get()) == 0);
      CHECK(heap.live() == 3);
      CHECK(lib.VpnDiscon() == 0);

      // The arguments are left as they were given.
      if (!row.null) {
        CHECK(std::string(a.get()) == row.text);
        CHECK(std::string(c.get()) == row.text);
      }
      // Each text arrives as bytes, cut to its field and no further.
      for (const StandinCall& call : CallsOf(kSetEntryDialParams)) {
        CHECK(std::string(call.params.szUserName) == Cut(row, 257));
        CHECK(std::string(call.params.szPassword) == Cut(row, 257));
      }
      const std::vector<StandinCall> dials = CallsOf(kDial);
      REQUIRE(dials.size() == 2);
      CHECK(std::string(dials[0].params.szPhoneNumber) == "");
      CHECK(std::string(dials[1].params.szPhoneNumber) == Cut(row, 129));
      CHECK(std::string(dials[1].params.szUserName) == Cut(row, 257));
      CHECK(std::string(dials[1].params.szPassword) == Cut(row, 257));
      const std::vector<StandinCall> entries = CallsOf(kSetEntryProperties);
      REQUIRE(entries.size() == 2);
      CHECK(std::string(entries[1].entry.base.szLocalPhoneNumber) == Cut(row, 129));

      CHECK(heap.live() == 0);
      CHECK(heap.damage() == "");
      // User text is never taken for a format.
      CHECK(lib.Unload() == kReport);
    }
  }
}

TEST_CASE("the guard catches what it is meant to catch") {
  // The fixture itself, against the fault it exists for: a write one byte
  // past a guarded block faults, and one in front is found at release.
  LoadedLibrary lib;
  GuardedHeap heap(lib.module());
  auto* block = static_cast<BYTE*>(GuardedHeap::Allocate(HEAP_ZERO_MEMORY, 108));
  REQUIRE(block != nullptr);
  MEMORY_BASIC_INFORMATION past = {};
  REQUIRE(VirtualQuery(block + 108, &past, sizeof past) == sizeof past);
  CHECK(past.Protect == PAGE_NOACCESS);
  MEMORY_BASIC_INFORMATION last = {};
  REQUIRE(VirtualQuery(block + 107, &last, sizeof last) == sizeof last);
  CHECK(last.Protect == PAGE_READWRITE);

  block[-1] = 0;
  CHECK(GuardedHeap::Release(block));
  CHECK(heap.damage() == "bytes written in front of a block of 108");
  CHECK(heap.live() == 0);
}

}  // TEST_SUITE
