// netvane_console: tries netvane.dll by hand on a real Windows machine.
//
//   netvane_console dial USER PASSWORD
//   netvane_console vpn SERVER USER PASSWORD   (Enter hangs the VPN up again)
//   netvane_console disconnect
//   netvane_console --help
//
// The library's own diagnostics go to the same console. The exit code is the
// library's result code, so scripts can use it as they would the host's.
#include <windows.h>
#include <ras.h>
#include <raserror.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "netvane.h"

namespace {

// Bit 29 marks application-defined codes, which no system or RAS error uses,
// so these can never be mistaken for a result of the library.
constexpr int kExitUsage = 0x20000001;
constexpr int kExitLibraryMissing = 0x20000002;

const char kUsage[] =
    "usage: netvane_console dial USER PASSWORD\n"
    "       netvane_console vpn SERVER USER PASSWORD\n"
    "       netvane_console disconnect\n"
    "       netvane_console --help\n"
    "\n"
    "  dial        dials the broadband (PPPoE) entry MorvendaADSL\n"
    "  vpn         connects the VPN entry MorvendaVPN, waits for Enter, then hangs up\n"
    "  disconnect  hangs up the VPN connection of this process (none in a new process)\n"
    "\n"
    "netvane.dll is loaded from the directory of this program. The exit code is\n"
    "the library's result code: 0 for success, otherwise a Windows or RAS error.\n";

// Our own text goes out unbuffered, so it interleaves with the library's
// diagnostics in the order both were written.
void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void PrintError(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::string ErrorText(DWORD code) {
  if (code == 0) return "success";
  char text[512] = {};
  if (code >= RASBASE && code <= RASBASEEND && RasGetErrorStringA(code, text, sizeof text) == 0 &&
      text[0] != '\0') {
    return text;
  }
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) text[--n] = '\0';
  return n > 0 ? std::string(text) : std::string("unknown error");
}

int Report(const char* what, int code) {
  Print(std::string(what) + " returned " + std::to_string(code) + " (" +
        ErrorText(static_cast<DWORD>(code)) + ")\n");
  return code;
}

std::string ExeDirectory() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  std::string dir(path, n);
  return dir.substr(0, dir.find_last_of('\\') + 1);
}

class Library {
 public:
  explicit Library(const std::string& path) : module_(LoadLibraryA(path.c_str())) {}
  ~Library() {
    if (module_) FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool loaded() const { return module_ != nullptr; }
  // The detour through void (*)() is the sanctioned way to say that the
  // export's real type is known to the caller, not to GetProcAddress.
  template <typename Function>
  Function Find(const char* name) const {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

int Usage(const char* problem) {
  PrintError(std::string("netvane_console: ") + problem + "\n" + kUsage);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("no command given");
  const std::string command = argv[1];
  const int args = argc - 2;
  const char* name = nullptr;
  if (command == "--help" || command == "-h" || command == "/?") {
    if (args != 0) return Usage("--help takes no arguments");
    Print(kUsage);
    return 0;
  } else if (command == "dial") {
    if (args != 2) return Usage("dial takes USER and PASSWORD");
    name = "MorvendaRasDial";
  } else if (command == "vpn") {
    if (args != 3) return Usage("vpn takes SERVER, USER and PASSWORD");
    name = "MorvendaVPNCon";
  } else if (command == "disconnect") {
    if (args != 0) return Usage("disconnect takes no arguments");
    name = "MorvendaVPNDiscon";
  } else {
    return Usage(("unknown command '" + command + "'").c_str());
  }

  const std::string path = ExeDirectory() + "netvane.dll";
  Library library(path);
  if (!library.loaded()) {
    DWORD error = GetLastError();
    PrintError("netvane_console: cannot load " + path + ": " + ErrorText(error) + " (" +
               std::to_string(error) + ")\n");
    return kExitLibraryMissing;
  }
  // vpn needs the disconnect as well as the connect.
  for (const char* needed : {name, command == "vpn" ? "MorvendaVPNDiscon" : name}) {
    if (!library.Find<void (*)()>(needed)) {
      PrintError("netvane_console: " + path + " does not export " + needed + "\n");
      return kExitLibraryMissing;
    }
  }

  if (command == "dial") {
    auto dial = library.Find<decltype(&MorvendaRasDial)>(name);
    return Report("MorvendaRasDial", dial(argv[2], argv[3]));
  }
  auto hang_up = library.Find<decltype(&MorvendaVPNDiscon)>("MorvendaVPNDiscon");
  if (command == "disconnect") return Report("MorvendaVPNDiscon", hang_up());

  auto connect = library.Find<decltype(&MorvendaVPNCon)>(name);
  if (int result = Report("MorvendaVPNCon", connect(argv[2], argv[3], argv[4]))) return result;
  Print("VPN connected; press Enter to disconnect.\n");
  for (int c = std::getchar(); c != '\n' && c != EOF; c = std::getchar()) {
  }
  return Report("MorvendaVPNDiscon", hang_up());
}
