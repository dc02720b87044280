#include "broadband.h"

#include "ras_records.h"
#include "report.h"
#include "runtime.h"

namespace netvane {
namespace {

const char kEntryName[] = "MorvendaADSL";
const char kPppoe[] = "pppoe";
// "设备查找失败" and "连接错误!" in GBK.
const char kNoDeviceText[] =
    "\xC9\xE8\xB1\xB8\xB2\xE9\xD5\xD2\xCA\xA7\xB0\xDC";
const char kDialFailedText[] = "\xC1\xAC\xBD\xD3\xB4\xED\xCE\xF3!";

constexpr DWORD kErrorTextSize = 256;

DWORD WriteEntry(const RASDEVINFOA& device) {
  RasEntryWin7 entry = {};
  RASENTRYA& e = entry.base;
  e.dwSize = sizeof(RasEntryWin7);
  e.dwfOptions = RASEO_IpHeaderCompression | RASEO_RemoteDefaultGateway |
                 RASEO_ModemLights | RASEO_SwCompression | RASEO_NetworkLogon;
  e.dwfNetProtocols = RASNP_Ip;
  e.dwFramingProtocol = RASFP_Ppp;
  CopyBounded(e.szDeviceType, sizeof e.szDeviceType, device.szDeviceType);
  CopyBounded(e.szDeviceName, sizeof e.szDeviceName, device.szDeviceName);
  e.dwType = RASET_Broadband;
  // Not one of the named ET_ values; kept as the entry has always been written.
  e.dwEncryptionType = 8;
  return RasSetEntryPropertiesA(nullptr, kEntryName, &e, sizeof(RasEntryWin7),
                                nullptr, 0);
}

}  // namespace

DWORD CreateBroadbandEntry() {
  DWORD bytes = 0;
  DWORD count = 0;
  RasEnumDevicesA(nullptr, &bytes, &count);  // only for the counts

  const DWORD records = count != 0 ? count : 1;
  const DWORD blockSize = records * sizeof(RASDEVINFOA);
  HeapBlock block(blockSize);
  auto* devices = static_cast<RASDEVINFOA*>(block.get());
  if (!devices) return HeapFailureCode();
  devices[0].dwSize = sizeof(RASDEVINFOA);

  // RAS is told the size of the block we have, whatever byte count the
  // sizing call reported.
  bytes = blockSize;
  const DWORD listed = RasEnumDevicesA(devices, &bytes, &count);
  if (listed != 0 || count == 0) return listed;

  for (DWORD i = 0; i < count && i < records; ++i) {
    if (lstrcmpA(devices[i].szDeviceType, kPppoe) == 0) return WriteEntry(devices[i]);
  }
  ReportLine(kNoDeviceText);
  return 0;
}

DWORD DialBroadband(const char* userName, const char* password) {
  RASDIALPARAMSA params = {};
  params.dwSize = sizeof(RASDIALPARAMSA);
  CopyBounded(params.szEntryName, sizeof params.szEntryName, kEntryName);
  CopyBounded(params.szUserName, sizeof params.szUserName, userName);
  CopyBounded(params.szPassword, sizeof params.szPassword, password);

  RasSetEntryDialParamsA(nullptr, &params, FALSE);  // the dial goes ahead regardless

  HRASCONN connection = nullptr;
  const DWORD result = RasDialA(nullptr, nullptr, &params, 0, nullptr, &connection);
  if (result == 0) return 0;

  char errorText[kErrorTextSize] = {};
  RasGetErrorStringA(result, errorText, kErrorTextSize);

  char message[sizeof kDialFailedText + 2 + kErrorTextSize] = {};
  CopyBounded(message, sizeof message, kDialFailedText);
  size_t used = TextLength(message);
  message[used++] = '\n';
  message[used++] = ' ';
  CopyBounded(message + used, sizeof message - used, errorText);
  ReportLine(message);
  return result;
}

DWORD MorvendaRasDial(const char* userName, const char* password) {
  const DWORD entry = CreateBroadbandEntry();
  if (entry != 0) return entry;
  return DialBroadband(userName, password);
}

}  // namespace netvane
