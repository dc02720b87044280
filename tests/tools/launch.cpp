// launch.exe: starts a program, waits for it and prints its whole 32-bit exit
// code as a signed decimal number. Wine hands only the low 8 bits of an exit
// code to the Linux side, so -1 would arrive there as 255.
//
//   launch.exe [--env NAME=VALUE]... [--cwd DIR] [--] PROGRAM [ARG]...
//
// --env sets (or with an empty VALUE, still sets) a variable for the child
// only; --cwd is the child's working directory. PROGRAM is quoted in the
// child's command line; each ARG is quoted when it holds a blank.
// Exit code: 0 when the child ran (whatever it returned), 2 when it did not.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>

namespace {

struct NoCaseLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return _wcsicmp(a.c_str(), b.c_str()) < 0;
  }
};

std::wstring Quote(const std::wstring& text, bool always) {
  if (!always && !text.empty() && text.find_first_of(L" \t\"") == std::wstring::npos) return text;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : text) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') quoted.append(backslashes * 2 + 1, L'\\');
    else quoted.append(backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

int Usage() {
  std::fwprintf(stderr, L"usage: launch.exe [--env NAME=VALUE]... [--cwd DIR] [--] PROGRAM [ARG]...\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::map<std::wstring, std::wstring, NoCaseLess> overrides;
  const wchar_t* cwd = nullptr;
  int i = 1;
  for (; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--env" && i + 1 < argc) {
      const std::wstring assignment = argv[++i];
      const size_t eq = assignment.find(L'=');
      if (eq == std::wstring::npos || eq == 0) return Usage();
      overrides[assignment.substr(0, eq)] = assignment.substr(eq + 1);
    } else if (arg == L"--cwd" && i + 1 < argc) {
      cwd = argv[++i];
    } else if (arg == L"--") {
      ++i;
      break;
    } else {
      break;
    }
  }
  if (i >= argc) return Usage();

  const std::wstring program = argv[i];
  std::wstring command_line = Quote(program, true);
  for (int k = i + 1; k < argc; ++k) command_line += L" " + Quote(argv[k], false);

  // The child's environment: ours, with the overrides replacing variables of
  // the same name (compared without case, as Windows does).
  std::map<std::wstring, std::wstring, NoCaseLess> variables;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
      const std::wstring text = entry;
      const size_t eq = text.find(L'=', 1);  // names like "=C:" start with '='
      if (eq != std::wstring::npos) variables[text.substr(0, eq)] = text.substr(eq + 1);
    }
    FreeEnvironmentStringsW(block);
  }
  for (const auto& item : overrides) {
    variables.erase(item.first);
    variables[item.first] = item.second;
  }
  std::wstring environment;
  for (const auto& item : variables) environment += item.first + L"=" + item.second + L'\0';
  environment += L'\0';

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  std::wstring mutable_line = command_line;
  if (!CreateProcessW(program.c_str(), &mutable_line[0], nullptr, nullptr, FALSE,
                      CREATE_UNICODE_ENVIRONMENT, &environment[0], cwd, &startup, &process)) {
    std::fwprintf(stderr, L"launch: cannot start %ls (error %lu)\n", program.c_str(),
                  GetLastError());
    return 2;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  std::printf("%ld\n", static_cast<long>(static_cast<LONG>(code)));
  std::fflush(stdout);
  return 0;
}
