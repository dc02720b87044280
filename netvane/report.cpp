#include "report.h"

#include <windows.h>
#include <stdarg.h>

#include "runtime.h"

namespace netvane {
namespace {

constexpr DWORD kBufferSize = 4096;

// Zero-initialised statics: no constructor has to run, since no runtime
// would run it.
HANDLE g_out;
bool g_console;
DWORD g_used;
char g_buffer[kBufferSize];

void Drain() {
  DWORD offset = 0;
  while (offset < g_used) {
    DWORD written = 0;
    if (!WriteFile(g_out, g_buffer + offset, g_used - offset, &written, nullptr) ||
        written == 0) {
      break;  // a reader that went away: the text is dropped
    }
    offset += written;
  }
  g_used = 0;
}

void PutRaw(char c) {
  g_buffer[g_used++] = c;
  if (g_used == kBufferSize) Drain();
}

// Text mode: a line feed reaches the handle as CR LF.
void Put(void*, char c) {
  if (!g_out) return;
  if (c == '\n') PutRaw('\r');
  PutRaw(c);
}

}  // namespace

void ReportAttach() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == INVALID_HANDLE_VALUE) out = nullptr;
  g_out = out;
  g_used = 0;
  DWORD mode = 0;
  g_console = out && GetConsoleMode(out, &mode);
}

void ReportFlush() {
  if (g_out && g_used) Drain();
  g_used = 0;
}

void ReportLine(const char* text) {
  while (*text) Put(nullptr, *text++);
  Put(nullptr, '\n');
  ReportFlush();
}

void ReportFormatted(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatTo(Put, nullptr, format, args);
  va_end(args);
  if (g_console) ReportFlush();
}

}  // namespace netvane
