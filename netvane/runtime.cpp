#include "runtime.h"

// GCC still emits calls to these for aggregate initialisation and copies.
// The volatile stores keep it from turning the loops back into calls to
// themselves.
extern "C" void* memset(void* dst, int value, size_t count) {
  volatile unsigned char* d = static_cast<unsigned char*>(dst);
  while (count--) *d++ = static_cast<unsigned char>(value);
  return dst;
}

extern "C" void* memcpy(void* dst, const void* src, size_t count) {
  volatile unsigned char* d = static_cast<unsigned char*>(dst);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  while (count--) *d++ = *s++;
  return dst;
}

namespace netvane {

void CopyBounded(char* dst, size_t dstSize, const char* src) {
  if (dstSize == 0) return;
  size_t i = 0;
  if (src) {
    for (; i + 1 < dstSize && src[i] != '\0'; ++i) dst[i] = src[i];
  }
  dst[i] = '\0';
}

size_t TextLength(const char* text) {
  size_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

namespace {

void SinkText(CharSink sink, void* context, const char* text) {
  if (!text) text = "(null)";
  while (*text) sink(context, *text++);
}

void SinkDecimal(CharSink sink, void* context, int value) {
  char digits[12];
  int n = 0;
  // Work in unsigned so INT_MIN has a magnitude.
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value)
                                 : static_cast<unsigned>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) sink(context, '-');
  while (n > 0) sink(context, digits[--n]);
}

}  // namespace

void FormatTo(CharSink sink, void* context, const char* format, va_list args) {
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      sink(context, *p);
      continue;
    }
    switch (p[1]) {
      case 's':
        SinkText(sink, context, va_arg(args, const char*));
        ++p;
        break;
      case 'd':
        SinkDecimal(sink, context, va_arg(args, int));
        ++p;
        break;
      case '%':
        sink(context, '%');
        ++p;
        break;
      default:
        sink(context, '%');
        break;
    }
  }
}

void* HeapAllocZeroed(size_t size) {
  return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

bool HeapRelease(void* block) {
  return HeapFree(GetProcessHeap(), 0, block) != FALSE;
}

DWORD HeapFailureCode() {
  DWORD code = GetLastError();
  return code != 0 ? code : ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace netvane
