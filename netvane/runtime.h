// The little that the library needs of a C runtime, since it links none.
#pragma once

#include <windows.h>
#include <stdarg.h>
#include <stddef.h>

namespace netvane {

// Copies src into dst of dstSize bytes the way StringCchCopyA does: stops at
// the source's NUL or after dstSize - 1 characters, and always terminates.
// A null src counts as the empty text.
void CopyBounded(char* dst, size_t dstSize, const char* src);

size_t TextLength(const char* text);

// Formats with "%s" (a null pointer prints "(null)") and "%d" (signed
// 32-bit), "%%" for a percent sign; every other character goes out as it is.
// Each output character is handed to sink(context, c).
using CharSink = void (*)(void* context, char c);
void FormatTo(CharSink sink, void* context, const char* format, va_list args);

// The process heap, zero-filled blocks.
void* HeapAllocZeroed(size_t size);
bool HeapRelease(void* block);

// The last-error code after a failed heap call. HeapAlloc does not always set
// one, and a failure must never be reported as success.
DWORD HeapFailureCode();

// Owns a process-heap block for the span of one call.
class HeapBlock {
 public:
  explicit HeapBlock(size_t size) : block_(HeapAllocZeroed(size)) {}
  ~HeapBlock() {
    if (block_) HeapRelease(block_);
  }
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;
  void* get() const { return block_; }

 private:
  void* block_;
};

}  // namespace netvane
