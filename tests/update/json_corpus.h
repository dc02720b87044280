// A fixed corpus of malformed and adversarial JSON documents for the
// manifest and `updateinfo` readers. The same seed gives the same documents
// on every machine: the generator uses its own PRNG, not <random>'s
// distributions, whose output differs between standard libraries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace json_corpus {

struct Document {
  std::string group;   // the kind of damage: truncation, kinds, nesting, ...
  std::string family;  // what exactly, for the failure message
  std::string text;
  // The reading the document must give when it is known exactly; for the
  // random families only the general rule holds (no update, or an offer whose
  // URL stands in the text).
  bool exact = false;      // is_update is known
  bool url_exact = false;  // download_url is known as well
  bool is_update = false;
  std::string download_url;
};

// splitmix64: small, fast, and the same everywhere.
class Prng {
 public:
  explicit Prng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  size_t Below(size_t bound) { return bound ? static_cast<size_t>(Next() % bound) : 0; }

 private:
  uint64_t state_;
};

constexpr uint64_t kSeed = 0x6D6F7276656E6461ULL;
constexpr char kUrl[] = "http://127.0.0.1:9090/files/setup.exe";

inline std::string Offer(const std::string& url_json, const std::string& is_update_json) {
  return "{\"data\": {\"download_url\": " + url_json + ", \"is_update\": " + is_update_json +
         ", \"update_page\": \"http://example.invalid/notes\"}}";
}

inline Document Exact(std::string family, std::string text, bool is_update, std::string url) {
  Document d;
  d.family = std::move(family);
  d.text = std::move(text);
  d.exact = true;
  d.url_exact = true;
  d.is_update = is_update;
  d.download_url = std::move(url);
  return d;
}

inline Document Loose(std::string family, std::string text) {
  Document d;
  d.family = std::move(family);
  d.text = std::move(text);
  return d;
}

inline std::string Nest(size_t depth, const std::string& inner, bool objects) {
  std::string text;
  for (size_t i = 0; i < depth; ++i) text += objects ? "{\"a\": " : "[";
  text += inner;
  for (size_t i = 0; i < depth; ++i) text += objects ? "}" : "]";
  return text;
}

// At least 1000 documents, always the same ones.
inline std::vector<Document> Generate() {
  std::vector<Document> corpus;
  Prng prng(kSeed);
  const std::string url = std::string("\"") + kUrl + "\"";
  const std::string offer = Offer(url, "true");

  // Truncations at every byte. "download_url" comes first, so the offer is
  // whole exactly when "true" is: a cut anywhere before that is no update.
  const size_t offer_complete = offer.find("true") + 4;
  for (size_t cut = 0; cut < offer.size(); ++cut) {
    const bool whole = cut >= offer_complete;
    // Before that, "is_update" is missing or null, and the URL may or may
    // not have been read yet.
    corpus.push_back(Exact("truncated at " + std::to_string(cut), offer.substr(0, cut), whole,
                           whole ? kUrl : ""));
    corpus.back().url_exact = whole;
  }

  // Every value kind at every member the reader looks at.
  struct Kind {
    const char* json;
    bool is_bool_number_or_null;
    bool truthy;
    bool is_string_or_null;
    const char* as_string;
    bool readable = true;  // the reader goes on past it
  };
  const Kind kinds[] = {
      {"null", true, false, true, ""},
      {"true", true, true, false, ""},
      {"false", true, false, false, ""},
      {"0", true, false, false, ""},
      {"-0", true, false, false, ""},
      {"1", true, true, false, ""},
      {"-1", true, true, false, ""},
      {"0.0001", true, true, false, ""},
      // Past the range of a double the reader gives up on the value, which
      // stays null, and reads nothing after it.
      {"1e400", true, false, false, "", false},
      {"-1e400", true, false, false, "", false},
      {"1e-400", true, false, false, ""},
      {"18446744073709551616", true, true, false, ""},
      {"-9223372036854775809", true, true, false, ""},
      {"123456789012345678901234567890123456789012345678901234567890", true, true, false, ""},
      {"\"\"", false, false, true, ""},
      {"\"true\"", false, false, true, "true"},
      {"\"u\"", false, false, true, "u"},
      {"[]", false, false, false, ""},
      {"[true]", false, false, false, ""},
      {"{}", false, false, false, ""},
      {"{\"is_update\": true}", false, false, false, ""},
  };
  for (const Kind& kind : kinds) {
    const std::string value = kind.json;
    // As "is_update".
    corpus.push_back(Exact("is_update " + value, Offer(url, value),
                           kind.is_bool_number_or_null && kind.truthy,
                           kind.is_bool_number_or_null ? kUrl : ""));
    // As "download_url".
    corpus.push_back(Exact("download_url " + value, Offer(value, "true"), kind.is_string_or_null,
                           kind.is_string_or_null ? kind.as_string : ""));
    // As "data", as the root, and as a root member that is not "data".
    const bool bare_offer = value == "{\"is_update\": true}";  // an offer without a URL
    corpus.push_back(Exact("data " + value, "{\"data\": " + value + "}", bare_offer, ""));
    corpus.push_back(Exact("root " + value, value, false, ""));
    corpus.push_back(Exact("sibling " + value,
                           "{\"x\": " + value + ", \"data\": {\"is_update\": true, "
                           "\"download_url\": " + url + "}}",
                           kind.readable, kind.readable ? kUrl : ""));
  }

  // Deep nesting, inside "data", beside the offer, and as the whole document.
  // The reader gives up past its limit of 1000 levels.
  for (size_t depth : {10, 500, 998, 999, 1000, 1001, 1500, 100000}) {
    const std::string d = std::to_string(depth);
    // The root, "data" and the arrays take depth + 2 levels, the "1" one more.
    const bool within = depth + 3 <= 1000;
    corpus.push_back(Exact("nested arrays beside the offer " + d,
                           "{\"data\": {\"download_url\": " + url + ", \"is_update\": true, "
                           "\"x\": " + Nest(depth, "1", false) + "}}",
                           within, within ? kUrl : ""));
    corpus.push_back(Exact("nested objects as data " + d,
                           "{\"data\": " + Nest(depth, "{\"is_update\": true}", true) + "}", false,
                           ""));
    corpus.push_back(Exact("nested arrays as the root " + d, Nest(depth, offer, false), false, ""));
    corpus.push_back(Loose("unclosed nesting " + d, "{\"data\": " + std::string(depth, '[')));
  }

  // Invalid UTF-8 and escapes of lone surrogates inside the strings.
  const char* const bad_strings[] = {
      "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF8\x88\x80\x80\x80", "\xFF\xFE",
      "\x80", "\xC3", "\\ud800", "\\udc00x", "\\ud800\\u0041", "\\u00", "\\x41", "\\", "\\u0000"};
  for (const char* bad : bad_strings) {
    const std::string b = bad;
    corpus.push_back(Loose("bad bytes in the URL " + b, Offer("\"" + b + "\"", "true")));
    corpus.push_back(Loose("bad bytes in a name " + b,
                           "{\"data\": {\"" + b + "\": 1, \"download_url\": " + url +
                               ", \"is_update\": true}}"));
    corpus.push_back(Loose("bad bytes outside strings " + b, "{\"data\": " + b + "}"));
  }

  // NUL bytes at random places of the offer.
  for (int i = 0; i < 60; ++i) {
    std::string text = offer;
    text.insert(prng.Below(text.size() + 1), 1, '\0');
    corpus.push_back(Loose("zero byte", text));
  }

  // Huge strings and numbers.
  for (size_t size : {size_t{65536}, size_t{1} << 20, size_t{8} << 20}) {
    const std::string big(size, 'u');
    corpus.push_back(Exact("huge URL " + std::to_string(size), Offer("\"" + big + "\"", "true"),
                           true, big));
    corpus.push_back(Exact("huge member name " + std::to_string(size),
                           "{\"" + big + "\": 1, \"data\": {\"is_update\": false}}", false, ""));
    corpus.push_back(Loose("huge unterminated string " + std::to_string(size),
                           "{\"data\": {\"download_url\": \"" + big));
    // Too large for a double: the value stays null, which is no offer, and
    // the reader stops before the URL.
    corpus.push_back(Exact("huge number " + std::to_string(size),
                           "{\"data\": {\"is_update\": " + std::string(size, '9') +
                               ", \"download_url\": " + url + "}}",
                           false, ""));
  }

  // Random damage: flips, insertions, deletions and duplicated spans.
  const char alphabet[] = "{}[]\":,\\ tfn01-.eE/*\x00\xFF";
  while (corpus.size() < 1200) {
    std::string text = offer;
    const size_t edits = 1 + prng.Below(6);
    for (size_t e = 0; e < edits && !text.empty(); ++e) {
      const size_t at = prng.Below(text.size());
      switch (prng.Below(4)) {
        case 0: text[at] = alphabet[prng.Below(sizeof(alphabet) - 1)]; break;
        case 1: text.insert(at, 1, alphabet[prng.Below(sizeof(alphabet) - 1)]); break;
        case 2: text.erase(at, 1 + prng.Below(8)); break;
        default: text.insert(at, text.substr(at, 1 + prng.Below(20))); break;
      }
    }
    corpus.push_back(Loose("random damage", text));
  }
  for (Document& document : corpus) {
    static const char* const kGroups[][2] = {
        {"truncated", "truncation"},  {"is_update", "kinds"},      {"download_url", "kinds"},
        {"data", "kinds"},            {"root", "kinds"},           {"sibling", "kinds"},
        {"nested", "nesting"},        {"unclosed", "nesting"},     {"bad bytes", "bad bytes"},
        {"zero byte", "zero byte"},   {"huge", "huge"},            {"random", "random damage"}};
    for (const auto& group : kGroups) {
      if (document.family.compare(0, std::char_traits<char>::length(group[0]), group[0]) == 0) {
        document.group = group[1];
        break;
      }
    }
  }
  return corpus;
}

}  // namespace json_corpus
