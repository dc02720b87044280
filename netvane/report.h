// The library's diagnostic stream: the standard output handle as it was when
// the library was loaded, behind a buffer of its own.
#pragma once

namespace netvane {

void ReportAttach();  // at process attach
void ReportFlush();   // at process detach, and by ReportLine

// Writes text and a line feed, and flushes.
void ReportLine(const char* text);

// Writes the formatted text ("%s", "%d") without a line end and without a
// flush, except on a console, where each write shows at once.
void ReportFormatted(const char* format, ...);

}  // namespace netvane
