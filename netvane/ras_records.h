// RAS records in their Windows 7 layouts. mingw's <ras.h> stops short of
// them (RASENTRYA at dwRedialPause, RASCONNSTATUSA at szPhoneNumber) and has
// no projection record at all, so the tails and the projection are written
// out here from the platform's public layout.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <ras.h>
#include <raserror.h>

#include <stddef.h>

#if !defined(_WIN32_WINNT) || _WIN32_WINNT != 0x0601
#error "netvane fills the Windows 7 layouts: build with _WIN32_WINNT=0x0601"
#endif

// The platform declares its RAS records with 4-byte packing.
#pragma pack(push, 4)

struct RasIpv6Addr {
  BYTE bytes[16];
};

// RASENTRYA as Windows 7 and later define it.
struct RasEntryWin7 {
  RASENTRYA base;  // up to dwRedialPause
  RasIpv6Addr ipv6addrDns;
  RasIpv6Addr ipv6addrDnsAlt;
  DWORD dwIPv4InterfaceMetric;
  DWORD dwIPv6InterfaceMetric;
  RasIpv6Addr ipv6addr;
  DWORD dwIPv6PrefixLength;
  DWORD dwNetworkOutageTime;
};

struct RasTunnelEndPoint {
  DWORD dwType;
  union {
    BYTE ipv4[4];
    BYTE ipv6[16];
  };
};

// RASCONNSTATUSA as Windows 7 and later define it.
struct RasConnStatusWin7 {
  RASCONNSTATUSA base;  // up to szPhoneNumber
  RasTunnelEndPoint localEndPoint;
  RasTunnelEndPoint remoteEndPoint;
  DWORD rasconnsubstate;
};

constexpr DWORD kRasApiVersion601 = 4;          // RASAPIVERSION_601
constexpr DWORD kProjectionTypePpp = 1;         // PROJECTION_INFO_TYPE_PPP
constexpr DWORD kProjectionTypeIkev2 = 2;       // PROJECTION_INFO_TYPE_IKEv2
constexpr DWORD kIkev2FlagMobikeSupported = 1;  // RASIKEv2_FLAGS_MOBIKESUPPORTED

struct RASPPP_PROJECTION_INFO {
  DWORD dwIPv4NegotiationError;
  IN_ADDR ipv4Address;
  IN_ADDR ipv4ServerAddress;
  DWORD dwIPv4Options;
  DWORD dwIPv4ServerOptions;
  DWORD dwIPv6NegotiationError;
  BYTE bInterfaceIdentifier[8];
  BYTE bServerInterfaceIdentifier[8];
  BOOL fBundled;
  BOOL fMultilink;
  DWORD dwAuthenticationProtocol;
  DWORD dwAuthenticationData;
  DWORD dwServerAuthenticationProtocol;
  DWORD dwServerAuthenticationData;
  DWORD dwEapTypeId;
  DWORD dwServerEapTypeId;
  DWORD dwLcpOptions;
  DWORD dwLcpServerOptions;
  DWORD dwCcpError;
  DWORD dwCcpCompressionAlgorithm;
  DWORD dwCcpServerCompressionAlgorithm;
  DWORD dwCcpOptions;
  DWORD dwCcpServerOptions;
};

struct RASIKEV2_PROJECTION_INFO {
  DWORD dwIPv4NegotiationError;
  IN_ADDR ipv4Address;
  IN_ADDR ipv4ServerAddress;
  DWORD dwIPv6NegotiationError;
  IN6_ADDR ipv6Address;
  IN6_ADDR ipv6ServerAddress;
  DWORD dwPrefixLength;
  DWORD dwAuthenticationProtocol;
  DWORD dwEapTypeId;
  DWORD dwFlags;
  DWORD dwEncryptionMethod;
  DWORD numIPv4ServerAddresses;
  IN_ADDR* ipv4ServerAddresses;
  DWORD numIPv6ServerAddresses;
  IN6_ADDR* ipv6ServerAddresses;
};

struct RAS_PROJECTION_INFO {
  DWORD version;  // RASAPIVERSION
  DWORD type;     // RASPROJECTION_INFO_TYPE
  union {
    RASPPP_PROJECTION_INFO ppp;
    RASIKEV2_PROJECTION_INFO ikev2;
  };
};

#pragma pack(pop)

// Bound at load: a system without it refuses the library.
#ifndef RAS_PROJECTION_API
#define RAS_PROJECTION_API DECLSPEC_IMPORT
#endif
extern "C" RAS_PROJECTION_API DWORD WINAPI RasGetProjectionInfoEx(
    HRASCONN hrasconn, RAS_PROJECTION_INFO* pRasProjection, LPDWORD lpdwSize);

// The IPv4 part of both projection members must coincide: the connect reads
// it without looking at the type.
static_assert(offsetof(RASPPP_PROJECTION_INFO, dwIPv4NegotiationError) ==
              offsetof(RASIKEV2_PROJECTION_INFO, dwIPv4NegotiationError));
static_assert(offsetof(RASPPP_PROJECTION_INFO, ipv4Address) ==
              offsetof(RASIKEV2_PROJECTION_INFO, ipv4Address));
static_assert(offsetof(RASPPP_PROJECTION_INFO, ipv4ServerAddress) ==
              offsetof(RASIKEV2_PROJECTION_INFO, ipv4ServerAddress));

static_assert(sizeof(RasIpv6Addr) == 16);
static_assert(sizeof(RasTunnelEndPoint) == 20);
static_assert(sizeof(RASPPP_PROJECTION_INFO) == 100);

// Records without pointers have the same size on both architectures.
static_assert(sizeof(RasEntryWin7) == 2948);
static_assert(offsetof(RasEntryWin7, dwNetworkOutageTime) == 2944);
static_assert(sizeof(RASDEVINFOA) == 152);
static_assert(sizeof(RasConnStatusWin7) == 332);
static_assert(offsetof(RasConnStatusWin7, localEndPoint) == 288);

#ifndef _WIN64
// The shipping 32-bit layouts.
static_assert(sizeof(RASDIALPARAMSA) == 1064);
static_assert(offsetof(RASDIALPARAMSA, dwIfIndex) == 1060);
static_assert(sizeof(RASIKEV2_PROJECTION_INFO) == 84);
static_assert(sizeof(RAS_PROJECTION_INFO) == 108);
#else
// The same public layouts with 64-bit pointers at 4-byte packing
// (dwCallbackId is a ULONG_PTR; the IKEv2 record holds two pointers).
static_assert(sizeof(RASDIALPARAMSA) == 1068);
static_assert(offsetof(RASDIALPARAMSA, dwIfIndex) == 1064);
static_assert(sizeof(RASIKEV2_PROJECTION_INFO) == 92);
static_assert(sizeof(RAS_PROJECTION_INFO) == 108);
#endif
