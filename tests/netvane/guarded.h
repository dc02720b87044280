// Memory laid out so that an overflow faults at once: the library's heap
// records and the argument texts each end where an inaccessible page begins.
#pragma once

#include <windows.h>

#include <string>

// Replaces netvane.dll's HeapAlloc and HeapFree for the lifetime of the
// object. Each block ends at a page boundary followed by a no-access page,
// so a write (or read) past its end faults in the library at the very
// instruction; the bytes in front of it carry a pattern that is checked when
// the block is released. Blocks not asked to be zeroed start as 0xCD, which
// the stand-in's stray-byte checks then see. The stand-in is told each
// block's true size.
class GuardedHeap {
 public:
  explicit GuardedHeap(HMODULE module);
  ~GuardedHeap();
  GuardedHeap(const GuardedHeap&) = delete;
  GuardedHeap& operator=(const GuardedHeap&) = delete;

  // What the library's HeapAlloc and HeapFree now do.
  static void* Allocate(DWORD flags, SIZE_T size);
  static bool Release(void* block);

  int live() const;              // guarded blocks not yet released
  int allocations() const;
  const std::string& damage() const;  // empty, or the first damage found

 private:
  HMODULE module_;
  void** allocSlot_;
  void** freeSlot_;
  void* originalAlloc_;
  void* originalFree_;
};

// A NUL-terminated text whose terminating NUL is the last byte before a
// no-access page: reading one byte too far faults. Null stays null.
class GuardedText {
 public:
  explicit GuardedText(const char* text);
  ~GuardedText();
  GuardedText(const GuardedText&) = delete;
  GuardedText& operator=(const GuardedText&) = delete;
  const char* get() const { return text_; }

 private:
  void* base_ = nullptr;
  const char* text_ = nullptr;
};
