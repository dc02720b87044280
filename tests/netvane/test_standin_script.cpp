// The stand-in's script text, which other processes (the console tests, a
// demonstration) rely on to say what RAS answers.
#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host.h"

namespace {

// Applies `text` on top of a fresh script; the reason it was refused, or ""
// when it was taken.
std::string Load(const char* text, StandinScript** script = nullptr) {
  StandinScript* fresh = StandinReset();
  if (script) *script = fresh;
  char error[512] = {};
  const BOOL taken = StandinLoadScript(text, error, sizeof error);
  CHECK((taken != FALSE) == (error[0] == '\0'));
  return error;
}

}  // namespace

TEST_SUITE("stand-in script") {

TEST_CASE("every kind of value") {
  StandinScript* s = nullptr;
  REQUIRE(Load("# a comment\n"
               "\n"
               "  device = modem , Standard Modem  \r\n"
               "device = pppoe, WAN Miniport (PPPOE)\n"
               "dial.result = 0x2B3\n"
               "dial.handle = 0xDEAD\n"
               "error_string.text = Access denied # not a comment\n"
               "projection.answers = 603, 0\n"
               "projection.type = ppp\n"
               "projection.ipv4_address = 10.8.0.2\n"
               "projection.ipv6_address = fd00::2\n"
               "projection.ipv6_server_address = 2001:db8:0:0:0:0:0:7\n"
               "status.answers = 0,0 ,6\n"
               "hang_up.result = 668",
               &s) == "");
  REQUIRE(s->deviceCount == 2);
  CHECK(std::string(s->devices[0].type) == "modem");
  CHECK(std::string(s->devices[0].name) == "Standard Modem");
  CHECK(std::string(s->devices[1].name) == "WAN Miniport (PPPOE)");
  CHECK(s->dialResult == 691);
  CHECK(s->dialHandle == 0xDEAD);
  CHECK(std::string(s->errorText) == "Access denied # not a comment");
  REQUIRE(s->projectionAnswerCount == 2);
  CHECK(s->projectionAnswers[0] == 603);
  CHECK(s->projectionType == kProjectionTypePpp);
  const BYTE ipv4[4] = {10, 8, 0, 2};
  const BYTE client[16] = {0xfd, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
  const BYTE server[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7};
  CHECK(std::memcmp(s->ipv4Address, ipv4, 4) == 0);
  CHECK(std::memcmp(s->ipv6Address, client, 16) == 0);
  CHECK(std::memcmp(s->ipv6ServerAddress, server, 16) == 0);
  REQUIRE(s->statusAnswerCount == 3);
  CHECK(s->statusAnswers[2] == 6);
  CHECK(s->hangUpResult == 668);
}

TEST_CASE("a file's first device line replaces the list; none empties it") {
  StandinScript* s = nullptr;
  REQUIRE(Load("device = pppoe, A\ndevice = pppoe, B\n", &s) == "");
  REQUIRE(StandinLoadScript("device = modem, C\n", nullptr, 0));
  CHECK(s->deviceCount == 1);
  CHECK(std::string(s->devices[0].name) == "C");
  REQUIRE(StandinLoadScript("devices = none\n", nullptr, 0));
  CHECK(s->deviceCount == 0);
}

TEST_CASE("a malformed line is refused with its number") {
  struct Row {
    const char* text;
    const char* error;
  };
  const std::vector<Row> rows = {
      {"dial.result = 0\ndial.reslut = 1", "line 2: unknown key: dial.reslut = 1"},
      {"dial.result 5", "line 1: expected key = value: dial.result 5"},
      {"dial.result = 4294967296", "line 1: not a 32-bit number: dial.result = 4294967296"},
      {"dial.result = -1", "line 1: not a 32-bit number: dial.result = -1"},
      {"device = pppoe", "line 1: expected TYPE, NAME: device = pppoe"},
      {"projection.ipv4_address = 10.8.0.256",
       "line 1: not an IPv4 address: projection.ipv4_address = 10.8.0.256"},
      {"projection.ipv6_address = 1::2::3",
       "line 1: not an IPv6 address: projection.ipv6_address = 1::2::3"},
      {"projection.ipv6_address = 1:2:3:4:5:6:7",
       "line 1: not an IPv6 address: projection.ipv6_address = 1:2:3:4:5:6:7"},
      {"status.answers = 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,6",
       "line 1: expected up to 16 numbers separated by commas: "
       "status.answers = 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,6"},
      {"projection.type = l2tp", "line 1: expected ppp, ikev2 or a number: projection.type = l2tp"},
  };
  for (const Row& row : rows) {
    CAPTURE(row.text);
    CHECK(Load(row.text) == row.error);
  }
}

}  // TEST_SUITE
