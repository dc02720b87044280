// json_corpus_tool.exe DIRECTORY COUNT: writes COUNT documents of the fixed
// corpus, spread evenly over it, as DIRECTORY\NNNN.json, and DIRECTORY\index.txt
// with one line per document: file name, tab, expectation ("offer", "none" or
// "any"), tab, family. The end-to-end tests feed them to update.exe as the
// service's answer.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

  std::string index;
  for (size_t i = 0; i < count; ++i) {
    const json_corpus::Document& document = corpus[i * corpus.size() / count];
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
