// The query the updater sends: the version and type named in `updateinfo`
// beside the program, appended to the service's fixed address.
#pragma once

#include <json/value.h>

#include <string>

// "http://<host>:9090/version/update"; the host is chosen at build time.
extern const char kUpdateQueryBase[];

// Reads the JSON file `file_name` from the program's own directory into *root.
// Whatever cannot be read (no file, a path too long for MAX_PATH, text that is
// not JSON) leaves *root null; a document that breaks off keeps the members
// read before the break.
void ReadJsonBesideExe(const std::wstring& file_name, Json::Value* root);

// The text a member gives in the query: a string's bytes, the JSON text of a
// number or boolean, and the empty text for a missing member, a null, an array
// or an object, and for a root that is not an object.
std::string QueryMemberText(const Json::Value& root, const char* name);

// Escapes the bytes that would change the URL's structure (blank, '"', '#',
// '%', '&', '+', '<', '>' and control bytes) as %XX; every other byte, non-ASCII
// included, is copied unchanged.
std::string PercentEncodeQueryValue(const std::string& value);

// kUpdateQueryBase + "?version=<version>&type=<type>" from `updateinfo`.
std::string BuildUpdateQueryUrl();
