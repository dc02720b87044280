// File-system primitives of the updater: the per-run work directory,
// directory chains, whole-file reads and ANSI text.
// None of them throws or shows anything; outcomes are return values.
#pragma once

#include <string>

// Creates a fresh directory named prefix + process id + "_done" directly under
// the user's temporary directory. Writes its path to *path only on success.
bool CreateUniqueTempDir(const std::wstring& prefix, std::wstring* path);

// Up to 50 attempts to create a directory under `base` (which ends in a
// backslash). Each failed attempt appends one more copy of the name to the
// base, so no two attempts try the same name. *path is written only on success.
bool CreateUniqueDirIn(std::wstring base, const std::wstring& prefix, std::wstring* path);

// Removes a directory tree (or a file) silently, without the Recycle Bin.
// Paths of 260 or more characters are refused without touching anything.
// True when nothing was aborted and the shell reported success or that the
// path was not there.
bool DeleteTree(const std::wstring& path);

// Creates every directory along `path`. True only when the creation of the
// full path itself succeeded, so an existing directory gives false.
bool MakeDirectoryPath(const std::wstring& path);

// Appends the file's bytes, unchanged, to *contents (when given). A file that
// cannot be opened leaves *contents as it was; other processes may keep
// writing the file meanwhile.
void ReadWholeFile(const std::wstring& path, std::string* contents);

// Converts through the system ANSI code page; the text ends at its first zero byte.
std::wstring AnsiToWide(const std::string& text);

// Owns the run's work directory from its creation to the end of the run and
// removes the whole tree when destroyed. The removal is best effort: when it
// fails, the directory stays behind and nobody is told.
class WorkDir {
 public:
  WorkDir() = default;
  ~WorkDir();
  WorkDir(WorkDir&& other) noexcept;
  WorkDir& operator=(WorkDir&& other) noexcept;
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;

  // Empty while the directory has not been created.
  std::wstring path() const { return path_; }
  // The output of CreateUniqueTempDir: whatever lands here is owned from then on.
  std::wstring* mutable_path() { return &path_; }

 private:
  void Remove() noexcept;
  std::wstring path_;
};
