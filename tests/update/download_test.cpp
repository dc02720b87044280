// DownloadToFile against a real HTTP service on 127.0.0.1 (started by the
// CTest fixture; UNIT_SERVICE_URL and UNIT_SERVICE_ROOT name it) and file:///.
// The service can script error statuses, slow bodies and cut connections.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>

#include "download.h"
#include "test_support.h"

using namespace test_support;

namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? std::wstring(value) : std::wstring();
}

// The Windows path of a Linux path, through Wine's Z: drive.
std::wstring WindowsPath(std::wstring unix_path) {
  for (wchar_t& c : unix_path)
    if (c == L'/') c = L'\\';
  return L"Z:" + unix_path;
}

}  // namespace

TEST_CASE("DownloadToFile over HTTP creates the missing chain of directories") {
  const std::wstring service = Environment(L"UNIT_SERVICE_URL");
  const std::wstring root = Environment(L"UNIT_SERVICE_ROOT");
  REQUIRE_MESSAGE(!service.empty(), "run through CTest, which starts the service");
  std::string body;
  for (int i = 0; i < 100000; ++i) body += static_cast<char>(i % 251);
  WriteFile(WindowsPath(root) + L"\\payload.bin", body);

  Scratch scratch(L"download-http");
  const std::wstring target = scratch / L"one\\two\\three\\payload.bin";
  REQUIRE_FALSE(Exists(scratch / L"one"));
  CHECK(DownloadToFile(target, service + L"/payload.bin"));
  CHECK(ReadFile(target) == body);
}

TEST_CASE("DownloadToFile fetches anew instead of from the URL cache") {
  const std::wstring service = Environment(L"UNIT_SERVICE_URL");
  const std::wstring root = Environment(L"UNIT_SERVICE_ROOT");
  REQUIRE(!service.empty());
  Scratch scratch(L"download-fresh");
  const std::wstring target = scratch / L"answer.json";
  WriteFile(WindowsPath(root) + L"\\answer.json", "first");
  REQUIRE(DownloadToFile(target, service + L"/answer.json"));
  CHECK(ReadFile(target) == "first");
  WriteFile(WindowsPath(root) + L"\\answer.json", "second");
  REQUIRE(DownloadToFile(target, service + L"/answer.json"));
  CHECK(ReadFile(target) == "second");
}

TEST_CASE("DownloadToFile from file:/// into an existing directory creates nothing else") {
  Scratch scratch(L"download-file");
  WriteFile(scratch / L"source.txt", "from a file URL");
  std::wstring url = L"file:///" + scratch.path() + L"\\source.txt";
  for (wchar_t& c : url)
    if (c == L'\\') c = L'/';
  const std::wstring target = scratch / L"copy.txt";
  CHECK(DownloadToFile(target, url));
  CHECK(ReadFile(target) == "from a file URL");

  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((scratch.path() + L"\\*").c_str(), &entry);
  int entries = 0;
  if (find != INVALID_HANDLE_VALUE) {
    do ++entries; while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  CHECK(entries == 4);  // ".", "..", source.txt, copy.txt
}

// The service serves <root>\<name> and scripts the answer from the sidecar
// <name>.answer (see update_service.py); every row uses a name of its own, so
// no answer is left over from another row.
TEST_CASE("DownloadToFile accepts only a whole body under a 2xx status") {
  const std::wstring service = Environment(L"UNIT_SERVICE_URL");
  const std::wstring root = Environment(L"UNIT_SERVICE_ROOT");
  REQUIRE(!service.empty());
  std::string body;
  for (int i = 0; i < 200000; ++i) body += static_cast<char>('a' + i % 23);

  struct Row {
    const char* name;
    const char* answer;  // sidecar JSON, nullptr for a plain answer
    std::string served;
    bool stored;
  };
  const Row rows[] = {
      {"whole", nullptr, body, true},
      {"empty body, length 0", nullptr, "", true},
      {"no length announced", R"({"announce_length": false})", body, true},
      {"sent slowly in pieces", R"({"trickle": [40000, 0.1]})", body, true},
      {"status 404 with a body", R"({"status": 404})", "<html>Not Found</html>", false},
      {"status 500 with a body", R"({"status": 500})", "<html>oops</html>", false},
      {"status 302 without a target", R"({"status": 302})", "moved", false},
      {"cut off after 2048 bytes", R"({"drop_after": 2048})", body, false},
      {"cut off before the body", R"({"drop_after": 0})", body, false},
      {"cut off one byte short", R"({"drop_after": 199999})", body, false},
      {"cut off while sent slowly", R"({"trickle": [30000, 0.05], "drop_after": 90000})", body,
       false},
  };
  Scratch scratch(L"download-verdict");
  int index = 0;
  for (const Row& row : rows) {
    const std::string name = row.name;
    CAPTURE(name);
    const std::wstring file = L"row" + std::to_wstring(index++) + L".bin";
    WriteFile(WindowsPath(root) + L"\\" + file, row.served);
    if (row.answer) WriteFile(WindowsPath(root) + L"\\" + file + L".answer", row.answer);
    const std::wstring target = scratch / file;
    WriteFile(target, "an earlier file");

    CHECK(DownloadToFile(target, service + L"/" + file) == row.stored);
    if (row.stored) {
      CHECK(ReadFile(target) == row.served);
    } else {
      // Whatever the fetch stored in place of the earlier file is gone too.
      CHECK_FALSE(Exists(target));
    }
  }
}

TEST_CASE("DownloadToFile that cannot connect leaves an earlier file alone") {
  Scratch scratch(L"download-refused");
  const std::wstring target = scratch / L"kept.bin";
  WriteFile(target, "an earlier file");
  CHECK_FALSE(DownloadToFile(target, L"http://127.0.0.1:1/kept.bin"));
  CHECK(ReadFile(target) == "an earlier file");
}

TEST_CASE("DownloadToFile reports a fetch that fails") {
  Scratch scratch(L"download-fail");
  // Port 1 on 127.0.0.1: nothing listens, the connection is refused.
  CHECK_FALSE(DownloadToFile(scratch / L"x\\nothing.bin", L"http://127.0.0.1:1/nothing.bin"));
  CHECK_FALSE(Exists(scratch / L"x\\nothing.bin"));
  CHECK_FALSE(DownloadToFile(scratch / L"missing-source.txt",
                             L"file:///Z:/no/such/directory/anywhere.txt"));
}
