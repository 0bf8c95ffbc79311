#include "wine_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace valise::testing {

#ifdef _WIN32

bool WineAvailable() {
  return false;
}
SharedWinePrefix::SharedWinePrefix() {
  throw std::runtime_error("Wine is not available here");
}
SharedWinePrefix::~SharedWinePrefix() = default;
WineResult SharedWinePrefix::Run(const std::vector<std::string>&) const {
  return {};
}
WineResult SharedWinePrefix::Probe(const std::vector<std::string>&) const {
  return {};
}

#else

namespace {

std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

WineResult Shell(const std::string& command) {
  WineResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Env(const std::string& prefix) {
  return "WINEPREFIX=" + Quote(prefix) + " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
}

}  // namespace

bool WineAvailable() {
  return std::filesystem::exists(VALISE_PROBE_EXE) &&
         std::system("command -v wine >/dev/null") == 0;
}

SharedWinePrefix::SharedWinePrefix() {
  path_ = std::string(VALISE_TEST_BUILD_DIR) + "/wine-parity-prefix";
  lockFd_ = ::open((path_ + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
  if (lockFd_ < 0 || ::flock(lockFd_, LOCK_EX) != 0) {
    throw std::runtime_error("cannot lock the Wine prefix");
  }
  if (!std::filesystem::exists(path_ + "/.valise-ready")) {
    std::filesystem::remove_all(path_);
    const std::string env = Env(path_);
    Shell(env + "wineboot -i >/dev/null 2>&1");
    Shell(env +
          "wine reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Managed /t REG_SZ /d N /f "
          ">/dev/null 2>&1");
    Shell(env + "wineserver -w");
    for (const auto& user : std::filesystem::directory_iterator(path_ + "/drive_c/users")) {
      std::error_code ec;
      for (const auto& entry : std::filesystem::directory_iterator(user.path(), ec)) {
        if (entry.is_symlink()) {
          std::filesystem::remove(entry.path());
          std::filesystem::create_directories(entry.path());
        }
      }
    }
    std::FILE* ready = std::fopen((path_ + "/.valise-ready").c_str(), "w");
    if (ready != nullptr) std::fclose(ready);
  }
  if (const char* old = std::getenv("WINEPREFIX")) {
    previous_ = old;
    hadPrevious_ = true;
  }
  ::setenv("WINEPREFIX", path_.c_str(), 1);
}

SharedWinePrefix::~SharedWinePrefix() {
  if (hadPrevious_) {
    ::setenv("WINEPREFIX", previous_.c_str(), 1);
  } else {
    ::unsetenv("WINEPREFIX");
  }
  if (lockFd_ >= 0) ::close(lockFd_);
}

WineResult SharedWinePrefix::Run(const std::vector<std::string>& args) const {
  std::string command = Env(path_) + "wine";
  for (const auto& arg : args) command += " " + Quote(arg);
  command += " 2>/dev/null";
  WineResult result = Shell(command);
  Shell(Env(path_) + "wineserver -w");
  return result;
}

WineResult SharedWinePrefix::Probe(const std::vector<std::string>& args) const {
  std::vector<std::string> all{VALISE_PROBE_EXE};
  all.insert(all.end(), args.begin(), args.end());
  return Run(all);
}

#endif

}  // namespace valise::testing
