// The manifest and `updateinfo` readers over a fixed corpus of malformed and
// adversarial documents: nothing escapes, and every document reads either as
// no update or as what it literally says.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "json_corpus.h"
#include "test_support.h"
#include "update_query.h"
#include "update_run.h"

using namespace test_support;

namespace {

std::string Printable(const std::string& text) {
  std::string out;
  for (const char c : text.substr(0, 160)) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02X", byte);
      out += hex;
    }
  }
  return text.size() > 160 ? out + "... (" + std::to_string(text.size()) + " bytes)" : out;
}

// An offer may only name a URL that stands in the text (or that escapes
// produced, or none at all, which the run cannot fetch).
bool LiteralOffer(const std::string& text, const UpdateManifest& manifest) {
  if (!manifest.is_update || manifest.download_url.empty()) return true;
  if (text.find('\\') != std::string::npos) return true;
  return text.find("\"" + manifest.download_url + "\"") != std::string::npos;
}

}  // namespace

TEST_CASE("ReadUpdateManifest over the adversarial corpus") {
  const std::vector<json_corpus::Document> corpus = json_corpus::Generate();
  REQUIRE(corpus.size() >= 1000);
  int offers = 0;
  for (const json_corpus::Document& document : corpus) {
    const std::string family = document.family;
    const std::string text = Printable(document.text);
    CAPTURE(family);
    CAPTURE(text);
    // As the run hands it over (cut at the first zero byte), and whole.
    const std::string cut(document.text.c_str());
    for (const std::string* input : {&cut, &document.text}) {
      UpdateManifest manifest;
      CHECK_NOTHROW(manifest = ReadUpdateManifest(*input));
      CHECK(LiteralOffer(*input, manifest));
      if (document.exact && input == &document.text) {
        CHECK(manifest.is_update == document.is_update);
        if (document.url_exact) CHECK(manifest.download_url == document.download_url);
      }
      offers += manifest.is_update ? 1 : 0;
    }
  }
  // The corpus is not all noise: some of it still offers.
  CHECK(offers > 50);
}

TEST_CASE("BuildUpdateQueryUrl over the adversarial corpus as updateinfo") {
  wchar_t module[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring info = module;
  info = info.substr(0, info.rfind(L'\\') + 1) + L"updateinfo";

  const std::string prefix = std::string(kUpdateQueryBase) + "?version=";
  for (const json_corpus::Document& document : json_corpus::Generate()) {
    const std::string family = document.family;
    const std::string text = Printable(document.text);
    CAPTURE(family);
    CAPTURE(text);
    WriteFile(info, document.text);
    std::string url;
    CHECK_NOTHROW(url = BuildUpdateQueryUrl());
    REQUIRE(url.compare(0, prefix.size(), prefix) == 0);
    // Whatever the values hold, the query keeps its shape: one "?", one "&",
    // the "type=" key, and no byte that would end or split the URL.
    CHECK(std::count(url.begin(), url.end(), '?') == 1);
    CHECK(std::count(url.begin(), url.end(), '&') == 1);
    CHECK(url.find("&type=") != std::string::npos);
    CHECK(std::none_of(url.begin(), url.end(), [](char c) {
      const unsigned char byte = static_cast<unsigned char>(c);
      return byte < 0x20 || byte == ' ' || byte == '#' || byte == '"' || byte == 0x7F;
    }));
  }
  DeleteFileW(info.c_str());
}
