// The VPN hang-up and the bounded wait for RAS to let the connection go.
#include "report.h"
#include "runtime.h"
#include "vpn.h"

namespace netvane {
namespace {

constexpr DWORD kWaitLimitMs = 10000;
constexpr DWORD kPollPauseMs = 50;

// Gives RAS a bounded time to let go of the hung-up connection; until it
// has, the entry cannot be dialled again.
void WaitUntilGone() {
  const DWORD start = GetTickCount();
  if (!g_vpn.connStatus) return;
  RasConnStatusWin7& status = *g_vpn.connStatus;
  status = RasConnStatusWin7{};
  status.base.dwSize = sizeof(RasConnStatusWin7);
  for (;;) {
    if (RasGetConnectStatusA(g_vpn.connection, &status.base) == ERROR_INVALID_HANDLE) return;
    if (GetTickCount() - start >= kWaitLimitMs) return;
    Sleep(kPollPauseMs);
  }
}

}  // namespace

DWORD MorvendaVPNDiscon() {
  const DWORD result = RasHangUpA(g_vpn.connection);
  if (result != 0) {
    ReportFormatted("RasHangUp failed: Error = %d", static_cast<int>(result));
  }
  WaitUntilGone();
  FreeVpnBuffers();
  g_vpn.connection = nullptr;
  return result;
}

}  // namespace netvane
