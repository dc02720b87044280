// The work directory, directory chains, whole-file reads and ANSI text,
// through the real Windows calls as Wine provides them.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "files.h"
#include "test_support.h"

using namespace test_support;

TEST_CASE("CreateUniqueDirIn names the directory prefix, process id, _done") {
  Scratch scratch(L"unique-first");
  std::wstring path;
  REQUIRE(CreateUniqueDirIn(scratch.path() + L"\\", L"scoped_dir_mrvda", &path));
  CHECK(path == scratch / WorkDirName(L"scoped_dir_mrvda"));
  CHECK(IsDirectory(path));
}

TEST_CASE("CreateUniqueDirIn: each taken name makes the next attempt one copy longer") {
  Scratch scratch(L"unique-taken");
  const std::wstring name = WorkDirName(L"p");
  SUBCASE("a directory of the first name") {
    CreateDirectoryW((scratch / name).c_str(), nullptr);
  }
  SUBCASE("a file of the first name") {
    WriteFile(scratch / name, "taken");
  }
  std::wstring path;
  REQUIRE(CreateUniqueDirIn(scratch.path() + L"\\", L"p", &path));
  CHECK(path == scratch / (name + name));
  CHECK(IsDirectory(path));
}

TEST_CASE("CreateUniqueDirIn goes on past many taken names") {
  Scratch scratch(L"unique-many");
  const std::wstring name = WorkDirName(L"");
  std::wstring candidate;
  const int taken = 20;
  for (int i = 0; i < taken; ++i) {
    candidate += name;
    WriteFile(scratch / candidate, "");
  }
  std::wstring path;
  REQUIRE(CreateUniqueDirIn(scratch.path() + L"\\", L"", &path));
  CHECK(path == scratch / (candidate + name));
}

TEST_CASE("CreateUniqueDirIn gives up after fifty failed attempts, path untouched") {
  Scratch scratch(L"unique-fail");
  std::wstring path = L"before";
  // No attempt can succeed under a parent that does not exist.
  CHECK_FALSE(CreateUniqueDirIn(scratch / L"missing\\", L"p", &path));
  CHECK(path == L"before");
  CHECK_FALSE(Exists(scratch / L"missing"));
}

TEST_CASE("CreateUniqueTempDir creates under the temporary directory") {
  Scratch scratch(L"temp-ok");
  ScopedEnvironment tmp(L"TMP", scratch.path());
  ScopedEnvironment temp(L"TEMP", scratch.path());
  WorkDir work_dir;
  REQUIRE(CreateUniqueTempDir(L"scoped_dir_mrvda", work_dir.mutable_path()));
  CHECK(work_dir.path() == scratch / WorkDirName(L"scoped_dir_mrvda"));
  CHECK(IsDirectory(work_dir.path()));
}

TEST_CASE("CreateUniqueTempDir fails when the temporary path does not fit MAX_PATH") {
  Scratch scratch(L"temp-long");
  // A temporary directory of 300 characters that really exists, so only the
  // length can be the reason.
  const std::wstring long_tmp = scratch.path() + L"\\" + std::wstring(200, L't') + L"\\" +
                                std::wstring(300 - scratch.path().size() - 202, L'u');
  REQUIRE(long_tmp.size() == 300);
  CreateDirectoryW((L"\\\\?\\" + scratch.path() + L"\\" + std::wstring(200, L't')).c_str(), nullptr);
  REQUIRE(CreateDirectoryW((L"\\\\?\\" + long_tmp).c_str(), nullptr));
  ScopedEnvironment tmp(L"TMP", long_tmp);
  ScopedEnvironment temp(L"TEMP", long_tmp);
  // Windows answers with the size it would need, Wine with 0: a failure either way.
  wchar_t probe[MAX_PATH];
  const DWORD probed = GetTempPathW(MAX_PATH, probe);
  REQUIRE((probed == 0 || probed > MAX_PATH - 1));

  std::wstring path = L"before";
  CHECK_FALSE(CreateUniqueTempDir(L"scoped_dir_mrvda", &path));
  CHECK(path == L"before");
  // Nothing was created anywhere along the way.
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((L"\\\\?\\" + long_tmp + L"\\*").c_str(), &entry);
  int entries = 0;
  if (find != INVALID_HANDLE_VALUE) {
    do ++entries; while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  CHECK(entries == 2);  // "." and ".."
}

namespace {

// A directory whose path has exactly `length` characters, made through \\?\.
std::wstring DirectoryOfLength(const Scratch& scratch, size_t length) {
  const std::wstring path = scratch.path() + L"\\" + std::wstring(length - scratch.path().size() - 1, L'x');
  CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr);
  return path;
}

}  // namespace

TEST_CASE("DeleteTree refuses a path of 260 characters without touching it") {
  Scratch scratch(L"delete-260");
  const std::wstring path = DirectoryOfLength(scratch, 260);
  REQUIRE(Exists(L"\\\\?\\" + path));
  CHECK_FALSE(DeleteTree(path));
  CHECK(Exists(L"\\\\?\\" + path));
}

TEST_CASE("DeleteTree removes a path of 259 characters") {
  Scratch scratch(L"delete-259");
  const std::wstring path = DirectoryOfLength(scratch, 259);
  REQUIRE(Exists(L"\\\\?\\" + path));
  CHECK(DeleteTree(path));
  CHECK_FALSE(Exists(L"\\\\?\\" + path));
}

TEST_CASE("DeleteTree on a missing path reports success") {
  Scratch scratch(L"delete-missing");
  CHECK(DeleteTree(scratch / L"not-there"));
}

TEST_CASE("DeleteTree removes files and folders, nested, and leaves the rest") {
  Scratch scratch(L"delete-tree");
  const std::wstring root = scratch / L"tree";
  CreateDirectoryW(root.c_str(), nullptr);
  CreateDirectoryW((root + L"\\a").c_str(), nullptr);
  CreateDirectoryW((root + L"\\a\\b").c_str(), nullptr);
  CreateDirectoryW((root + L"\\empty").c_str(), nullptr);
  WriteFile(root + L"\\version.json", "{}");
  WriteFile(root + L"\\a\\one.txt", "1");
  WriteFile(root + L"\\a\\b\\two.bin", std::string(70000, 'z'));
  WriteFile(scratch / L"neighbour", "stays");

  CHECK(DeleteTree(root));
  CHECK_FALSE(Exists(root));
  CHECK(Exists(scratch / L"neighbour"));
}

TEST_CASE("WorkDir removes its directory when destroyed, an empty one nothing") {
  Scratch scratch(L"workdir");
  const std::wstring dir = scratch / L"work";
  {
    WorkDir empty;
    CHECK(empty.path().empty());
  }
  {
    WorkDir owner;
    CreateDirectoryW(dir.c_str(), nullptr);
    WriteFile(dir + L"\\version.json", "{}");
    *owner.mutable_path() = dir;
    WorkDir moved = std::move(owner);
    CHECK(owner.path().empty());
    CHECK(Exists(dir));
  }
  CHECK_FALSE(Exists(dir));
  CHECK(Exists(scratch.path()));
}

TEST_CASE("MakeDirectoryPath") {
  Scratch scratch(L"make-path");
  const std::wstring chain = scratch / L"a\\b\\c";

  SUBCASE("an empty path creates nothing") { CHECK_FALSE(MakeDirectoryPath(L"")); }
  SUBCASE("a missing chain is created in full") {
    CHECK(MakeDirectoryPath(chain));
    CHECK(IsDirectory(chain));
  }
  SUBCASE("a trailing backslash makes no difference") {
    CHECK(MakeDirectoryPath(chain + L"\\"));
    CHECK(IsDirectory(chain));
  }
  SUBCASE("part of the chain there already") {
    CreateDirectoryW((scratch / L"a").c_str(), nullptr);
    CHECK(MakeDirectoryPath(chain));
    CHECK(IsDirectory(chain));
  }
  SUBCASE("the full path there already gives false") {
    REQUIRE(MakeDirectoryPath(chain));
    CHECK_FALSE(MakeDirectoryPath(chain));
    CHECK(IsDirectory(chain));
  }
  SUBCASE("a file in the way of the last directory gives false") {
    CreateDirectoryW((scratch / L"a").c_str(), nullptr);
    CreateDirectoryW((scratch / L"a\\b").c_str(), nullptr);
    WriteFile(chain, "file");
    CHECK_FALSE(MakeDirectoryPath(chain));
  }
}

TEST_CASE("ReadWholeFile reads every byte, across chunks") {
  Scratch scratch(L"read");
  std::string pattern;
  for (int i = 0; i < 70000; ++i) pattern += static_cast<char>((i * 7 + i / 256) & 0xFF);

  for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{70000}}) {
    CAPTURE(size);
    const std::string bytes = pattern.substr(0, size);
    const std::wstring file = scratch / L"data.bin";
    WriteFile(file, bytes);
    std::string contents;
    ReadWholeFile(file, &contents);
    CHECK(contents.size() == size);
    CHECK(contents == bytes);
  }
}

TEST_CASE("ReadWholeFile keeps zero bytes, appends, and leaves contents alone on a missing file") {
  Scratch scratch(L"read-edge");
  const std::string with_zeros("{\0\"a\"\r\n\0}\xEF\xBB\xBF", 10);
  WriteFile(scratch / L"zeros", with_zeros);

  std::string contents = "kept:";
  ReadWholeFile(scratch / L"zeros", &contents);
  CHECK(contents == "kept:" + with_zeros);

  std::string untouched = "as before";
  ReadWholeFile(scratch / L"missing", &untouched);
  CHECK(untouched == "as before");

  ReadWholeFile(scratch / L"zeros", nullptr);  // read and dropped
}

TEST_CASE("ReadWholeFile reads a file that another handle holds open for writing") {
  Scratch scratch(L"read-shared");
  const std::wstring file = scratch / L"open";
  WriteFile(file, "shared");
  HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  REQUIRE(writer != INVALID_HANDLE_VALUE);
  std::string contents;
  ReadWholeFile(file, &contents);
  CloseHandle(writer);
  CHECK(contents == "shared");
}

TEST_CASE("AnsiToWide") {
  CHECK(AnsiToWide("") == L"");
  CHECK(AnsiToWide("http://127.0.0.1:9090/version/update?version=1&type=x") ==
        L"http://127.0.0.1:9090/version/update?version=1&type=x");
  CHECK(AnsiToWide(std::string("before\0after", 12)) == L"before");
  CHECK(AnsiToWide(std::string("\0after", 6)) == L"");

  const UINT code_page = GetACP();
  CAPTURE(code_page);
  if (code_page == 1252) {
    CHECK(AnsiToWide("caf\xE9 \x80") == L"caf\u00E9 \u20AC");
  } else if (code_page == 936) {
    CHECK(AnsiToWide("\xD6\xD0\xCE\xC4") == L"\u4E2D\u6587");
  }
}
