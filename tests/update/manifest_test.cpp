// How the service's answer reads: the offers and everything that is none.
#include <doctest/doctest.h>

#include <string>

#include "update_run.h"

namespace {

struct Row {
  const char* name;
  std::string text;
  bool is_update;
  const char* download_url;
};

}  // namespace

TEST_CASE("ReadUpdateManifest") {
  const std::string deep = "{\"data\": " + std::string(1100, '[') + std::string(1100, ']') + "}";
  const std::string deep_inside =
      R"({"data": {"is_update": true, "download_url": "u", "x": )" + std::string(1100, '[');
  const Row rows[] = {
      {"offer", R"({"data": {"is_update": true, "download_url": "http://h/s.exe", "update_page": ""}})",
       true, "http://h/s.exe"},
      {"is_update 1", R"({"data": {"is_update": 1, "download_url": "u"}})", true, "u"},
      {"is_update -1", R"({"data": {"is_update": -1, "download_url": "u"}})", true, "u"},
      {"is_update 0.5", R"({"data": {"is_update": 0.5, "download_url": "u"}})", true, "u"},
      {"is_update false", R"({"data": {"is_update": false, "download_url": "u"}})", false, "u"},
      {"is_update 0", R"({"data": {"is_update": 0, "download_url": "u"}})", false, "u"},
      {"is_update null", R"({"data": {"is_update": null, "download_url": "u"}})", false, "u"},
      {"download_url null", R"({"data": {"is_update": true, "download_url": null}})", true, ""},
      {"download_url missing", R"({"data": {"is_update": true}})", true, ""},
      {"comments", "/* a */ {\"data\": // b\n {\"is_update\": true, \"download_url\": \"u\"}} // c",
       true, "u"},
      {"broken off after the members",
       R"({"data": {"is_update": true, "download_url": "u", "update_page": "htt)", true, "u"},
      {"empty", "", false, ""},
      {"HTML page", "<html><body>Not Found</body></html>", false, ""},
      {"no data", R"({"is_update": true, "download_url": "u"})", false, ""},
      {"data a string", R"({"data": "yes"})", false, ""},
      {"data an array", R"({"data": [{"is_update": true}]})", false, ""},
      {"data null", R"({"data": null})", false, ""},
      {"is_update missing", R"({"data": {"download_url": "u"}})", false, ""},
      {"is_update a string", R"({"data": {"is_update": "true", "download_url": "u"}})", false, ""},
      {"is_update an array", R"({"data": {"is_update": [true], "download_url": "u"}})", false, ""},
      {"is_update an object", R"({"data": {"is_update": {}, "download_url": "u"}})", false, ""},
      {"download_url an array", R"({"data": {"is_update": true, "download_url": ["u"]}})", false, ""},
      {"download_url an object", R"({"data": {"is_update": true, "download_url": {}}})", false, ""},
      {"download_url a number", R"({"data": {"is_update": true, "download_url": 7}})", false, ""},
      {"download_url a boolean", R"({"data": {"is_update": true, "download_url": true}})", false, ""},
      {"top-level array", R"([{"data": {"is_update": true, "download_url": "u"}}])", false, ""},
      {"top-level string", R"("data")", false, ""},
      {"top-level number", "1", false, ""},
      {"top-level true", "true", false, ""},
      {"nested past the reader's limit", deep, false, ""},
      {"nested past the limit after an offer", deep_inside, false, ""},
  };
  for (const Row& row : rows) {
    const std::string name = row.name;
    CAPTURE(name);
    const UpdateManifest manifest = ReadUpdateManifest(row.text);
    CHECK(manifest.is_update == row.is_update);
    CHECK(manifest.download_url == row.download_url);
  }
}
