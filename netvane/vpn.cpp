#include "vpn.h"

#include "report.h"
#include "runtime.h"

namespace netvane {

VpnLinkState g_vpn;

namespace {

const char kEntryName[] = "MorvendaVPN";
constexpr DWORD kAddressTextSize = 256;

template <typename T>
void Release(T*& block) {
  if (block) {
    HeapRelease(block);  // its result does not change anything here
    block = nullptr;
  }
}

template <typename T>
T* AllocateRecord(size_t size) {
  return static_cast<T*>(HeapAllocZeroed(size));
}

DWORD FailAllocation() {
  const DWORD code = HeapFailureCode();
  ReportFormatted("HeapAlloc failed: Error %d\n", static_cast<int>(code));
  FreeVpnBuffers();
  return code;
}

DWORD FailProjection(DWORD code) {
  ReportFormatted("RasGetProjectionInfoEx failed: Error %d\n", static_cast<int>(code));
  FreeVpnBuffers();
  return code;
}

// Fetches the projection into g_vpn.projection, enlarging the block once
// when RAS asks for more room.
DWORD FetchProjection() {
  DWORD size = sizeof(RAS_PROJECTION_INFO);
  g_vpn.projection = AllocateRecord<RAS_PROJECTION_INFO>(size);
  if (!g_vpn.projection) return FailAllocation();
  g_vpn.projection->version = kRasApiVersion601;

  DWORD result = RasGetProjectionInfoEx(g_vpn.connection, g_vpn.projection, &size);
  if (result == ERROR_BUFFER_TOO_SMALL) {
    if (!HeapRelease(g_vpn.projection)) {
      const DWORD code = HeapFailureCode();
      ReportFormatted("HeapFree failed: Error %d\n", static_cast<int>(code));
      g_vpn.projection = nullptr;  // its fate is unknown: never release it twice
      FreeVpnBuffers();
      return code;
    }
    // The fields read below lie within the record, so never less than it.
    if (size < sizeof(RAS_PROJECTION_INFO)) size = sizeof(RAS_PROJECTION_INFO);
    g_vpn.projection = AllocateRecord<RAS_PROJECTION_INFO>(size);
    if (!g_vpn.projection) return FailAllocation();
    g_vpn.projection->version = kRasApiVersion601;
    result = RasGetProjectionInfoEx(g_vpn.connection, g_vpn.projection, &size);
  }
  if (result != 0) return FailProjection(result);
  return 0;
}

void ReportAddresses(const RAS_PROJECTION_INFO& projection) {
  char text[kAddressTextSize] = {};
  const RASIKEV2_PROJECTION_INFO& ikev2 = projection.ikev2;
  // The IPv4 part lies alike in both members, so it is read through either.
  if (ikev2.dwIPv4NegotiationError == 0) {
    inet_ntop(AF_INET, &ikev2.ipv4Address, text, kAddressTextSize);
    ReportFormatted("Ras Client IP Address: %s\n", text);
    inet_ntop(AF_INET, &ikev2.ipv4ServerAddress, text, kAddressTextSize);
    ReportFormatted("Ras Server IP Address: %s\n", text);
    return;
  }
  // Only the IKEv2 member carries full IPv6 addresses; PPP has interface
  // identifiers alone, so it prints no address line here.
  if (projection.type == kProjectionTypeIkev2 && ikev2.dwIPv6NegotiationError == 0) {
    inet_ntop(AF_INET6, &ikev2.ipv6Address, text, kAddressTextSize);
    ReportFormatted("Ras Client IPv6 Address: %s\n", text);
    inet_ntop(AF_INET6, &ikev2.ipv6ServerAddress, text, kAddressTextSize);
    ReportFormatted("Ras Server IPv6 Address: %s\n", text);
  }
}

void ReportMobike(const RAS_PROJECTION_INFO& projection, const RASDIALPARAMSA& params) {
  if (projection.type != kProjectionTypeIkev2) {
    ReportFormatted("Cannot do MOBIKE switch as connection in not IKEv2\n");
  } else if ((projection.ikev2.dwFlags & kIkev2FlagMobikeSupported) == 0) {
    ReportFormatted(
        "Cannot do MOBIKE switch as the client does not support Mobile IKE (MOBIKE)\n");
  } else if (params.dwIfIndex == 0) {
    ReportFormatted("Cannot do MOBIKE switch as the existing interface index is not specified\n");
  } else {
    ReportFormatted("Cannot do MOBIKE switch as the new interface index is not specified\n");
  }
}

}  // namespace

void FreeVpnBuffers() {
  Release(g_vpn.dialParams);
  Release(g_vpn.projection);
  Release(g_vpn.connStatus);
}

bool CreateVpnEntry(const char* entryName, const char* server, const char* userName,
                    const char* password) {
  RasEntryWin7 entry = {};
  RASENTRYA& e = entry.base;
  e.dwSize = sizeof(RasEntryWin7);
  e.dwfOptions = RASEO_RemoteDefaultGateway | RASEO_ModemLights |
                 RASEO_RequireDataEncryption | RASEO_PreviewUserPw |
                 RASEO_ShowDialingProgress | RASEO_RequireCHAP | RASEO_RequireMsCHAP |
                 RASEO_RequireMsCHAP2;
  lstrcpyA(e.szLocalPhoneNumber, server);
  e.dwfNetProtocols = RASNP_Ip;
  lstrcpyA(e.szDeviceType, "vpn");
  lstrcpyA(e.szDeviceName, "RAS VPN Line 0");
  e.dwType = RASET_Vpn;
  e.dwEncryptionType = ET_Optional;
  e.dwVpnStrategy = VS_L2tpOnly;
  e.dwRedialCount = 30000;
  e.dwRedialPause = 10;

  const DWORD written =
      RasSetEntryPropertiesA(nullptr, entryName, &e, sizeof(RasEntryWin7), nullptr, 0);
  if (written != 0) {
    ReportFormatted("RasSetEntryProperties %s failed error=%d\n", entryName,
                    static_cast<int>(written));
    return false;
  }

  RASDIALPARAMSA saved = {};
  saved.dwSize = sizeof(RASDIALPARAMSA);
  lstrcpyA(saved.szEntryName, entryName);
  lstrcpyA(saved.szUserName, userName);
  lstrcpyA(saved.szPassword, password);
  return RasSetEntryDialParamsA(nullptr, &saved, FALSE) == 0;
}

DWORD MorvendaVPNCon(const char* server, const char* userName, const char* password) {
  // A handle from an earlier connect is dropped, not hung up.
  g_vpn.connection = nullptr;
  HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
  // Blocks of an earlier connect would otherwise be lost when replaced.
  FreeVpnBuffers();

  g_vpn.dialParams = AllocateRecord<RASDIALPARAMSA>(sizeof(RASDIALPARAMSA));
  if (!g_vpn.dialParams) return FailAllocation();
  RASDIALPARAMSA& params = *g_vpn.dialParams;
  params.dwSize = sizeof(RASDIALPARAMSA);
  CopyBounded(params.szEntryName, sizeof params.szEntryName, kEntryName);
  CopyBounded(params.szPhoneNumber, sizeof params.szPhoneNumber, server);
  CopyBounded(params.szUserName, sizeof params.szUserName, userName);
  CopyBounded(params.szPassword, sizeof params.szPassword, password);

  if (!CreateVpnEntry(params.szEntryName, params.szPhoneNumber, params.szUserName,
                      params.szPassword)) {
    ReportFormatted("CreatRasEntry error!!");
  }

  const DWORD dialed = RasDialA(nullptr, nullptr, &params, 0, nullptr, &g_vpn.connection);
  if (dialed != 0) {
    ReportFormatted("RasDial failed: Error = %d\n", static_cast<int>(dialed));
    FreeVpnBuffers();
    return dialed;
  }

  const DWORD fetched = FetchProjection();
  if (fetched != 0) return fetched;
  const RAS_PROJECTION_INFO& projection = *g_vpn.projection;

  ReportFormatted("RASPROJECTION_INFO_TYPE is: %s\n",
                  projection.type == kProjectionTypeIkev2 ? "IKEv2" : "PPP");
  ReportAddresses(projection);

  g_vpn.connStatus = AllocateRecord<RasConnStatusWin7>(sizeof(RasConnStatusWin7));
  if (!g_vpn.connStatus) return FailAllocation();
  g_vpn.connStatus->base.dwSize = sizeof(RasConnStatusWin7);

  ReportMobike(projection, *g_vpn.dialParams);
  return 0;
}

}  // namespace netvane
