// json_corpus_tool.exe DIRECTORY COUNT: writes COUNT documents of the fixed
// corpus, taken in turn from each kind of damage and spread evenly within
// it, as DIRECTORY\NNNN.json, and DIRECTORY\index.txt
// with one line per document: file name, tab, expectation ("offer", "none" or
// "any"), tab, family. The end-to-end tests feed them to update.exe as the
// service's answer.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "json_corpus.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: json_corpus_tool DIRECTORY COUNT\n");
    return 2;
  }
  const std::wstring directory = argv[1];
  const size_t count = static_cast<size_t>(std::wcstoul(argv[2], nullptr, 10));
  const std::vector<json_corpus::Document> corpus = json_corpus::Generate();
  if (count == 0 || count > corpus.size()) return 2;

  // Only documents whose every URL is the local installer or the notes page,
  // which is never fetched: a damaged URL could name a host that is not
  // there, and the run would wait for the network's own time-out.
  std::map<std::string, std::vector<const json_corpus::Document*>> groups;
  for (const json_corpus::Document& document : corpus) {
    bool local = true;
    for (size_t at = document.text.find("http"); at != std::string::npos;
         at = document.text.find("http", at + 1)) {
      const std::string rest = document.text.substr(at);
      if (rest.compare(0, std::strlen(json_corpus::kUrl) + 1,
                       std::string(json_corpus::kUrl) + "\"") != 0 &&
          rest.compare(0, 29, "http://example.invalid/notes\"") != 0)
        local = false;
    }
    if (local) groups[document.group].push_back(&document);
  }
  std::vector<const json_corpus::Document*> sample;
  for (size_t round = 0; sample.size() < count; ++round) {
    const size_t before = sample.size();
    for (const auto& group : groups) {
      const size_t per_group = (count + groups.size() - 1) / groups.size();
      const size_t at = round * group.second.size() / per_group;
      if (round < per_group && at < group.second.size() && sample.size() < count)
        sample.push_back(group.second[at]);
    }
    if (sample.size() == before) break;
  }
  if (sample.size() != count) return 4;

  std::string index;
  for (size_t i = 0; i < count; ++i) {
    const json_corpus::Document& document = *sample[i];
    char name[16];
    std::snprintf(name, sizeof(name), "%04u.json", static_cast<unsigned>(i));
    const std::wstring path = directory + L"\\" + std::wstring(name, name + std::strlen(name));
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return 3;
    std::fwrite(document.text.data(), 1, document.text.size(), file);
    std::fclose(file);
    // update.exe reads up to the first zero byte: what lies past it is not
    // part of the exact expectation.
    const bool whole = document.text.find('\0') == std::string::npos;
    const char* expect = "any";
    if (document.exact && whole) {
      if (!document.is_update) expect = "none";
      else if (document.url_exact && document.download_url == json_corpus::kUrl) expect = "offer";
    }
    index += std::string(name) + "\t" + expect + "\t" + document.family + "\n";
  }
  FILE* file = _wfopen((directory + L"\\index.txt").c_str(), L"wb");
  if (!file) return 3;
  std::fwrite(index.data(), 1, index.size(), file);
  std::fclose(file);
  return 0;
}
