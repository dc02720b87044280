// The stand-in's script as text.
//
// When a process loads the stand-in and the environment variable
// RAS_STANDIN_SCRIPT names a file, that file is applied on top of the
// success script (ApplySuccessScript): a file only names what differs.
// Without the variable the success script alone is in force. A file that
// cannot be read or holds a malformed line stops the process from loading
// the stand-in, with the reason on standard error and in the call log.
//
// Format: one `key = value` a line; blank lines and lines whose first
// non-blank character is `#` are ignored. A value runs to the end of its
// line (no trailing comments: an error text may hold a `#`), with blanks
// around it dropped. Numbers are decimal or 0x-hexadecimal; lists are
// separated by commas.
//
//   device = TYPE, NAME           one listed device; the first `device` line
//                                 of a file replaces the default list, later
//                                 ones add to it (at most 8)
//   devices = none                lists no device at all
//   enum.sizing_result = N        RasEnumDevicesA without a buffer (603)
//   enum.sizing_bytes = N         byte count it reports (0: room for the list)
//   enum.result = N               RasEnumDevicesA with a buffer
//   set_entry.result = N          RasSetEntryPropertiesA
//   set_dial_params.result = N    RasSetEntryDialParamsA
//   dial.result = N               RasDialA
//   dial.handle = N               handle RasDialA stores, also when it fails
//   dial.if_index = N             dwIfIndex RasDialA writes into the caller's
//                                 dial parameters
//   error_string.result = N       RasGetErrorStringA
//   error_string.text = TEXT      the text it gives
//   projection.answers = N, ...   RasGetProjectionInfoEx, one answer a call,
//                                 0 after the list (at most 16)
//   projection.required_size = N  the size reported with an answer of 603
//   projection.type = ppp | ikev2 | N
//   projection.ipv4_error = N     dwIPv4NegotiationError
//   projection.ipv6_error = N     dwIPv6NegotiationError
//   projection.ipv4_address = A.B.C.D
//   projection.ipv4_server_address = A.B.C.D
//   projection.ipv6_address = IPv6 text (with at most one ::)
//   projection.ipv6_server_address = IPv6 text
//   projection.ikev2_flags = N    dwFlags (1: MOBIKE supported)
//   status.answers = N, ...       RasGetConnectStatusA, one answer a call;
//                                 the last repeats (at most 16)
//   hang_up.result = N            RasHangUpA
//
// RAS_STANDIN_LOG, when set, names a file to which every call is appended as
// one line: the function, its key arguments and its answer.
#include "script_file.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    items.push_back(Trim(text.substr(start, comma == std::string::npos ? comma : comma - start)));
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

bool ParseNumber(const std::string& text, unsigned long long limit, unsigned long long& value) {
  if (text.empty()) return false;
  size_t i = 0;
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    i = 2;
  }
  value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return false;
    if (value > (limit - digit) / base) return false;
    value = value * base + digit;
  }
  return true;
}

bool ParseDword(const std::string& text, DWORD& out) {
  unsigned long long value = 0;
  if (!ParseNumber(text, 0xFFFFFFFFull, value)) return false;
  out = static_cast<DWORD>(value);
  return true;
}

bool ParseList(const std::string& text, DWORD (&out)[kStandinMaxAnswers], int& count) {
  const std::vector<std::string> items = SplitList(text);
  if (items.size() > static_cast<size_t>(kStandinMaxAnswers)) return false;
  for (size_t i = 0; i < items.size(); ++i) {
    if (!ParseDword(items[i], out[i])) return false;
  }
  count = static_cast<int>(items.size());
  return true;
}

bool ParseIpv4(const std::string& text, BYTE (&out)[4]) {
  const std::vector<std::string> parts = [&] {
    std::vector<std::string> p;
    size_t start = 0;
    for (;;) {
      const size_t dot = text.find('.', start);
      p.push_back(text.substr(start, dot == std::string::npos ? dot : dot - start));
      if (dot == std::string::npos) return p;
      start = dot + 1;
    }
  }();
  if (parts.size() != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    unsigned long long value = 0;
    if (parts[i].empty() || parts[i].size() > 3 || parts[i].find('x') != std::string::npos ||
        !ParseNumber(parts[i], 255, value)) {
      return false;
    }
    out[i] = static_cast<BYTE>(value);
  }
  return true;
}

bool ParseGroups(const std::string& text, std::vector<unsigned>& groups) {
  if (text.empty()) return true;
  size_t start = 0;
  for (;;) {
    const size_t colon = text.find(':', start);
    const std::string group = text.substr(start, colon == std::string::npos ? colon : colon - start);
    unsigned long long value = 0;
    if (group.empty() || group.size() > 4 || !ParseNumber("0x" + group, 0xFFFF, value)) return false;
    groups.push_back(static_cast<unsigned>(value));
    if (colon == std::string::npos) return true;
    start = colon + 1;
  }
}

bool ParseIpv6(const std::string& text, BYTE (&out)[16]) {
  std::vector<unsigned> head;
  std::vector<unsigned> tail;
  const size_t gap = text.find("::");
  if (gap == std::string::npos) {
    if (!ParseGroups(text, head) || head.size() != 8) return false;
  } else {
    if (text.find("::", gap + 1) != std::string::npos) return false;
    if (!ParseGroups(text.substr(0, gap), head) || !ParseGroups(text.substr(gap + 2), tail)) {
      return false;
    }
    if (head.size() + tail.size() > 7) return false;
  }
  std::vector<unsigned> groups = head;
  groups.resize(8 - tail.size(), 0);
  groups.insert(groups.end(), tail.begin(), tail.end());
  for (size_t i = 0; i < 8; ++i) {
    out[2 * i] = static_cast<BYTE>(groups[i] >> 8);
    out[2 * i + 1] = static_cast<BYTE>(groups[i] & 0xFF);
  }
  return true;
}

void CopyText(char* dst, size_t size, const std::string& text) {
  std::snprintf(dst, size, "%s", text.c_str());
}

struct DwordKey {
  const char* key;
  DWORD StandinScript::*member;
};

const DwordKey kDwordKeys[] = {
    {"enum.sizing_result", &StandinScript::sizingResult},
    {"enum.sizing_bytes", &StandinScript::sizingBytes},
    {"enum.result", &StandinScript::enumResult},
    {"set_entry.result", &StandinScript::setEntryResult},
    {"set_dial_params.result", &StandinScript::setDialParamsResult},
    {"dial.result", &StandinScript::dialResult},
    {"dial.if_index", &StandinScript::dialIfIndex},
    {"error_string.result", &StandinScript::errorStringResult},
    {"projection.required_size", &StandinScript::projectionRequiredSize},
    {"projection.ipv4_error", &StandinScript::ipv4Error},
    {"projection.ipv6_error", &StandinScript::ipv6Error},
    {"projection.ikev2_flags", &StandinScript::ikev2Flags},
    {"hang_up.result", &StandinScript::hangUpResult},
};

// Applies one setting; an empty result means it was understood.
std::string Apply(const std::string& key, const std::string& value, StandinScript& script,
                  bool& devicesReplaced) {
  for (const DwordKey& k : kDwordKeys) {
    if (key != k.key) continue;
    if (!ParseDword(value, script.*k.member)) return "not a 32-bit number";
    return std::string();
  }
  if (key == "device") {
    const size_t comma = value.find(',');
    if (comma == std::string::npos) return "expected TYPE, NAME";
    if (!devicesReplaced) script.deviceCount = 0;
    devicesReplaced = true;
    if (script.deviceCount == kStandinMaxDevices) return "too many devices";
    StandinDevice& device = script.devices[script.deviceCount++];
    CopyText(device.type, sizeof device.type, Trim(value.substr(0, comma)));
    CopyText(device.name, sizeof device.name, Trim(value.substr(comma + 1)));
    return std::string();
  }
  if (key == "devices") {
    if (value != "none") return "only `none` is understood";
    script.deviceCount = 0;
    devicesReplaced = true;
    return std::string();
  }
  if (key == "dial.handle") {
    unsigned long long handle = 0;
    if (!ParseNumber(value, static_cast<ULONG_PTR>(-1), handle)) return "not a handle value";
    script.dialHandle = static_cast<ULONG_PTR>(handle);
    return std::string();
  }
  if (key == "error_string.text") {
    if (value.size() >= sizeof script.errorText) return "longer than 255 characters";
    CopyText(script.errorText, sizeof script.errorText, value);
    return std::string();
  }
  if (key == "projection.answers") {
    if (!ParseList(value, script.projectionAnswers, script.projectionAnswerCount)) {
      return "expected up to 16 numbers separated by commas";
    }
    return std::string();
  }
  if (key == "status.answers") {
    if (!ParseList(value, script.statusAnswers, script.statusAnswerCount)) {
      return "expected up to 16 numbers separated by commas";
    }
    return std::string();
  }
  if (key == "projection.type") {
    if (value == "ppp") script.projectionType = kProjectionTypePpp;
    else if (value == "ikev2") script.projectionType = kProjectionTypeIkev2;
    else if (!ParseDword(value, script.projectionType)) return "expected ppp, ikev2 or a number";
    return std::string();
  }
  if (key == "projection.ipv4_address" || key == "projection.ipv4_server_address") {
    BYTE(&bytes)[4] = key == "projection.ipv4_address" ? script.ipv4Address : script.ipv4ServerAddress;
    if (!ParseIpv4(value, bytes)) return "not an IPv4 address";
    return std::string();
  }
  if (key == "projection.ipv6_address" || key == "projection.ipv6_server_address") {
    BYTE(&bytes)[16] = key == "projection.ipv6_address" ? script.ipv6Address : script.ipv6ServerAddress;
    if (!ParseIpv6(value, bytes)) return "not an IPv6 address";
    return std::string();
  }
  return "unknown key";
}

}  // namespace

void ApplySuccessScript(StandinScript& script) {
  script.deviceCount = 1;
  CopyText(script.devices[0].type, sizeof script.devices[0].type, "pppoe");
  CopyText(script.devices[0].name, sizeof script.devices[0].name, "WAN Miniport (PPPOE)");
  script.sizingResult = ERROR_BUFFER_TOO_SMALL;
  script.dialResult = 0;
  script.projectionType = kProjectionTypeIkev2;
  const BYTE client[4] = {10, 8, 0, 2};
  const BYTE server[4] = {198, 51, 100, 7};
  std::memcpy(script.ipv4Address, client, 4);
  std::memcpy(script.ipv4ServerAddress, server, 4);
  script.statusAnswerCount = 1;
  script.statusAnswers[0] = ERROR_INVALID_HANDLE;
  script.hangUpResult = 0;
}

bool ParseStandinScript(const char* text, size_t length, StandinScript& script, char* error,
                        size_t errorSize) {
  if (errorSize > 0) error[0] = '\0';
  bool devicesReplaced = false;
  size_t start = 0;
  int lineNumber = 0;
  while (start < length) {
    const char* end = static_cast<const char*>(std::memchr(text + start, '\n', length - start));
    const size_t stop = end ? static_cast<size_t>(end - text) : length;
    const std::string line = Trim(std::string(text + start, stop - start));
    start = stop + 1;
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    std::string problem;
    if (eq == std::string::npos) {
      problem = "expected key = value";
    } else {
      problem = Apply(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), script, devicesReplaced);
    }
    if (!problem.empty()) {
      std::snprintf(error, errorSize, "line %d: %s: %s", lineNumber, problem.c_str(), line.c_str());
      return false;
    }
  }
  return true;
}
