// The broadband PPPoE entry "MorvendaADSL" and its dial.
#pragma once

#include <windows.h>

namespace netvane {

// The export's work: the entry, then the dial when the entry went well.
DWORD MorvendaRasDial(const char* userName, const char* password);

// Writes the entry on the first PPPoE device listed. 0 also when devices
// were listed but none is PPPoE: the dial then uses whatever entry exists.
DWORD CreateBroadbandEntry();

// Saves the user name and password with the entry and dials it; blocks until
// the link is up or the attempt failed.
DWORD DialBroadband(const char* userName, const char* password);

}  // namespace netvane
