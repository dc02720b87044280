#include "guarded.h"

#include <doctest/doctest.h>

#include <cstring>

#include "host.h"

namespace {

constexpr int kMaxBlocks = 64;
constexpr BYTE kFrontPattern = 0xAB;
constexpr BYTE kUnzeroedPattern = 0xCD;

struct Block {
  BYTE* base;    // reservation: committed pages, then the no-access page
  BYTE* start;   // what the library was given
  SIZE_T size;
};

struct GuardState {
  Block blocks[kMaxBlocks];
  int live;
  int allocations;
  std::string damage;
};
GuardState g_guard;

SIZE_T PageSize() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

// Reserves committed pages with `size` bytes ending at the start of a
// no-access page; returns the base, and the start of the bytes in `start`.
BYTE* AllocateAgainstGuardPage(SIZE_T size, BYTE*& start) {
  const SIZE_T page = PageSize();
  // At least one pattern byte in front, so that an underrun shows too.
  const SIZE_T usable = (size + 1 + page - 1) / page * page;
  auto* base = static_cast<BYTE*>(
      VirtualAlloc(nullptr, usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!base) return nullptr;
  DWORD old = 0;
  VirtualProtect(base + usable, page, PAGE_NOACCESS, &old);
  start = base + usable - size;
  return base;
}

// The block that starts at `start`; null finds a free slot.
Block* Find(const void* start) {
  for (Block& b : g_guard.blocks) {
    if (b.start == start) return &b;
  }
  return nullptr;
}

SIZE_T GuardedSize(const void* start) {
  const Block* b = start ? Find(start) : nullptr;
  return b ? b->size : 0;
}

LPVOID WINAPI GuardedAlloc(HANDLE, DWORD flags, SIZE_T size) {
  Block* slot = Find(nullptr);
  if (!slot) {
    if (g_guard.damage.empty()) g_guard.damage = "more live blocks than the guard keeps";
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  BYTE* start = nullptr;
  BYTE* base = AllocateAgainstGuardPage(size, start);
  if (!base) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::memset(base, kFrontPattern, static_cast<size_t>(start - base));
  if ((flags & HEAP_ZERO_MEMORY) == 0) std::memset(start, kUnzeroedPattern, size);
  *slot = Block{base, start, size};
  ++g_guard.live;
  ++g_guard.allocations;
  return start;
}

BOOL WINAPI GuardedFree(HANDLE heap, DWORD flags, LPVOID start) {
  Block* b = start ? Find(start) : nullptr;
  if (!b) {
    if (start && g_guard.damage.empty()) g_guard.damage = "a block released that was not allocated";
    return start ? HeapFree(heap, flags, start) : TRUE;
  }
  for (BYTE* p = b->base; p < b->start; ++p) {
    if (*p != kFrontPattern && g_guard.damage.empty()) {
      g_guard.damage = "bytes written in front of a block of " + std::to_string(b->size);
      break;
    }
  }
  VirtualFree(b->base, 0, MEM_RELEASE);
  *b = Block{};
  --g_guard.live;
  return TRUE;
}

}  // namespace

GuardedHeap::GuardedHeap(HMODULE module)
    : module_(module),
      allocSlot_(ImportSlot(module, "KERNEL32.dll", "HeapAlloc")),
      freeSlot_(ImportSlot(module, "KERNEL32.dll", "HeapFree")) {
  REQUIRE(allocSlot_ != nullptr);
  REQUIRE(freeSlot_ != nullptr);
  g_guard = GuardState{};
  originalAlloc_ = SwapImportSlot(allocSlot_, reinterpret_cast<void*>(&GuardedAlloc));
  originalFree_ = SwapImportSlot(freeSlot_, reinterpret_cast<void*>(&GuardedFree));
  StandinSetBlockSizer(&GuardedSize);
}

GuardedHeap::~GuardedHeap() {
  StandinSetBlockSizer(nullptr);
  HMODULE still = nullptr;
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(allocSlot_), &still) &&
      still == module_) {
    SwapImportSlot(allocSlot_, originalAlloc_);
    SwapImportSlot(freeSlot_, originalFree_);
  }
  // Blocks still held by the library's state stay mapped: it may release
  // them later through the real HeapFree, which must not be handed them,
  // so they are simply left behind for the life of the test process.
}

void* GuardedHeap::Allocate(DWORD flags, SIZE_T size) {
  return GuardedAlloc(GetProcessHeap(), flags, size);
}
bool GuardedHeap::Release(void* block) {
  return GuardedFree(GetProcessHeap(), 0, block) != FALSE;
}

int GuardedHeap::live() const { return g_guard.live; }
int GuardedHeap::allocations() const { return g_guard.allocations; }
const std::string& GuardedHeap::damage() const { return g_guard.damage; }

GuardedText::GuardedText(const char* text) {
  if (!text) return;
  const size_t length = std::strlen(text);
  BYTE* start = nullptr;
  base_ = AllocateAgainstGuardPage(length + 1, start);
  REQUIRE(base_ != nullptr);
  std::memcpy(start, text, length + 1);
  text_ = reinterpret_cast<const char*>(start);
}

GuardedText::~GuardedText() {
  if (base_) VirtualFree(base_, 0, MEM_RELEASE);
}
