// The one VPN connection: the entry "MorvendaVPN", its dial and report, and
// the state that the disconnect later hangs up and releases.
#pragma once

#include "ras_records.h"

namespace netvane {

// Process-wide, no lock: the host calls the VPN exports from one thread at a
// time. Plain data so that it needs no constructor or destructor to run.
struct VpnLinkState {
  HRASCONN connection;
  RASDIALPARAMSA* dialParams;
  RAS_PROJECTION_INFO* projection;
  RasConnStatusWin7* connStatus;
};

extern VpnLinkState g_vpn;

// Writes the entry and saves the user name and password with it; true when
// both were saved.
bool CreateVpnEntry(const char* entryName, const char* server, const char* userName,
                    const char* password);

// Releases the three heap blocks that are present; leaves the handle alone.
void FreeVpnBuffers();

// Dials the VPN and keeps the connection in g_vpn; 0 when it is up.
DWORD MorvendaVPNCon(const char* server, const char* userName, const char* password);

// Hangs up g_vpn's connection, waits a bounded time for RAS to let go, and
// empties g_vpn. Returns the hang-up's result.
DWORD MorvendaVPNDiscon();

}  // namespace netvane
