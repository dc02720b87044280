#include "update_query.h"

#include <windows.h>

#include <json/reader.h>

#include <exception>

#include "files.h"

#ifndef UPDATE_SERVICE_HOST
#error "UPDATE_SERVICE_HOST must name the update service's host"
#endif

const char kUpdateQueryBase[] = "http://" UPDATE_SERVICE_HOST ":9090/version/update";

void ReadJsonBesideExe(const std::wstring& file_name, Json::Value* root) {
  wchar_t module[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
  // A full buffer means the path was cut: the directory is unknown.
  if (length == 0 || length >= MAX_PATH) return;
  std::wstring path(module, length);
  const size_t last = path.rfind(L'\\');
  path.resize(last == std::wstring::npos ? 0 : last + 1);
  path += file_name;
  if (path.size() >= MAX_PATH) return;

  std::string text;
  ReadWholeFile(path, &text);
  text.resize(std::char_traits<char>::length(text.c_str()));  // up to the first zero byte

  // The parse's verdict is not needed: a broken document keeps what was read
  // before the break. Only the reader's own limits throw, and those leave
  // nothing worth using.
  try {
    Json::Reader reader;
    reader.parse(text, *root, true);
  } catch (const std::exception&) {
    *root = Json::Value();
  }
}

std::string QueryMemberText(const Json::Value& root, const char* name) {
  // get() throws on a root that is not an object or null, asString() on an
  // array or an object; neither has a text for the query.
  try {
    return root.get(name, Json::Value("")).asString();
  } catch (const std::exception&) {
    return std::string();
  }
}

std::string PercentEncodeQueryValue(const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(value.size());
  for (const char c : value) {
    const unsigned char byte = static_cast<unsigned char>(c);
    const bool structural = byte < 0x20 || byte == 0x7F || byte == ' ' || byte == '"' ||
                            byte == '#' || byte == '%' || byte == '&' || byte == '+' ||
                            byte == '<' || byte == '>';
    if (structural) {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    } else {
      encoded += c;
    }
  }
  return encoded;
}

std::string BuildUpdateQueryUrl() {
  Json::Value root;
  ReadJsonBesideExe(L"updateinfo", &root);
  return std::string(kUpdateQueryBase) + "?version=" +
         PercentEncodeQueryValue(QueryMemberText(root, "version")) + "&type=" +
         PercentEncodeQueryValue(QueryMemberText(root, "type"));
}
