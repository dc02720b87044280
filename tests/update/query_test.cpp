// The query URL as a table of `updateinfo` contents. Each row writes the file
// beside this test program, where BuildUpdateQueryUrl looks for it.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>

#include "test_support.h"
#include "update_query.h"

using namespace test_support;

namespace {

std::wstring BesideProgram(const wchar_t* name) {
  wchar_t module[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring path = module;
  return path.substr(0, path.rfind(L'\\') + 1) + name;
}

class UpdateInfoFile {
 public:
  UpdateInfoFile() : path_(BesideProgram(L"updateinfo")) { Remove(); }
  ~UpdateInfoFile() { Remove(); }
  UpdateInfoFile(const UpdateInfoFile&) = delete;
  UpdateInfoFile& operator=(const UpdateInfoFile&) = delete;
  void Write(const std::string& bytes) const { WriteFile(path_, bytes); }
  void Remove() const { DeleteFileW(path_.c_str()); }

 private:
  std::wstring path_;
};

struct Row {
  const char* name;
  std::string contents;  // "<none>" for no file at all
  const char* query;     // what follows kUpdateQueryBase
};

std::string Bytes(const char* text, size_t size) { return std::string(text, size); }

}  // namespace

TEST_CASE("BuildUpdateQueryUrl from updateinfo") {
  const std::string deep = std::string(1100, '[') + std::string(1100, ']');
  const Row rows[] = {
      {"no file", "<none>", "?version=&type="},
      {"empty file", "", "?version=&type="},
      {"empty object", "{}", "?version=&type="},
      {"plain", R"({"version": "3.1", "type": "x"})", "?version=3.1&type=x"},
      {"comments", "// identity\n{\"version\": \"3.1\", /* between */ \"type\": \"x\"} /* after */",
       "?version=3.1&type=x"},
      {"type listed first", R"({"type": "x", "version": "3.1"})", "?version=3.1&type=x"},
      {"other members ignored", R"({"channel": "a", "version": "3.1", "type": "x", "v": 2})",
       "?version=3.1&type=x"},
      {"numbers and booleans", R"({"version": 5, "type": true})", "?version=5&type=true"},
      {"negative and false", R"({"version": -2, "type": false})", "?version=-2&type=false"},
      {"null members", R"({"version": null, "type": null})", "?version=&type="},
      {"capitalised name is another member", R"({"Version": "3.1", "type": "x"})",
       "?version=&type=x"},
      {"not JSON", "version=3.1", "?version=&type="},
      {"broken off after a complete member", R"({"version": "3.1", "type": "x)",
       "?version=3.1&type="},
      {"zero byte ends the document", Bytes("{\"version\": \"3.1\" /*\0*/, \"type\": \"x\"}", 37),
       "?version=3.1&type="},
      {"UTF-16 with byte-order mark",
       Bytes("\xFF\xFE{\0\"\0v\0e\0r\0s\0i\0o\0n\0\"\0:\0\"\0" "1\0\"\0}\0", 32), "?version=&type="},
      {"UTF-16 without byte-order mark", Bytes("{\0\"\0t\0y\0p\0e\0\"\0:\0\"\0x\0\"\0}\0", 24),
       "?version=&type="},
      {"blank, ampersand, hash", R"({"version": "1.0", "type": "a b&c#d"})",
       "?version=1.0&type=a%20b%26c%23d"},
      {"every escaped byte", R"({"version": " \"#%&+<>", "type": "\t\n\u0001\u007f"})",
       "?version=%20%22%23%25%26%2B%3C%3E&type=%09%0A%01%7F"},
      {"a zero inside a value", R"({"version": "a\u0000b", "type": "x"})",
       "?version=a%00b&type=x"},
      {"other punctuation unchanged", R"({"version": "1.0-rc/2?=;,", "type": "x_y~z"})",
       "?version=1.0-rc/2?=;,&type=x_y~z"},
      {"bytes outside ASCII unchanged", "{\"version\": \"\xC3\xA9\", \"type\": \"\\u00e9\xB0\"}",
       "?version=\xC3\xA9&type=\xC3\xA9\xB0"},
      {"array value", R"({"version": ["3.1"], "type": "x"})", "?version=&type=x"},
      {"object value", R"({"version": "3.1", "type": {"t": "x"}})", "?version=3.1&type="},
      {"top-level array", R"([{"version": "3.1", "type": "x"}])", "?version=&type="},
      {"top-level string", R"("3.1")", "?version=&type="},
      {"top-level number", "31", "?version=&type="},
      {"nested past the reader's limit", "{\"version\": " + deep + ", \"type\": \"x\"}",
       "?version=&type="},
  };

  UpdateInfoFile file;
  for (const Row& row : rows) {
    const std::string name = row.name;
    CAPTURE(name);
    if (row.contents == "<none>") {
      file.Remove();
    } else {
      file.Write(row.contents);
    }
    CHECK(BuildUpdateQueryUrl() == std::string(kUpdateQueryBase) + row.query);
  }
}

TEST_CASE("kUpdateQueryBase is plain HTTP to port 9090, path /version/update") {
  const std::string base = kUpdateQueryBase;
  CHECK(base.rfind("http://", 0) == 0);
  CHECK(base.size() > std::string("http://:9090/version/update").size());
  CHECK(base.substr(base.size() - std::string(":9090/version/update").size()) ==
        ":9090/version/update");
}
