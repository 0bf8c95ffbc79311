// Debug output on Linux: there is no debug-output window, so a line goes only to the log file
// when one is set.
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "platform/debug.h"
#include "platform/posix/fs_internal.h"

namespace valise::platform {
namespace {

struct DebugLog {
  std::mutex mutex;
  std::string hostPath;  // empty: no log file
  // Open from the first line on; every line is written through at once, so the file is
  // complete whenever the program ends.
  std::FILE* file = nullptr;
};

DebugLog& TheDebugLog() {
  static DebugLog* log = new DebugLog;  // never destroyed: other threads may still log
  return *log;
}

// The host path of the log file: a path in Windows syntax is mapped through the prefix; a host
// path (starting with "/") is taken as it is. Nothing when the drive is not mapped.
std::optional<std::string> LogHostPath(std::string_view path) {
  if (path.front() == '/') return std::string(path);
  return posix::HostPathOf(path);
}

}  // namespace

void DebugOutput(std::string_view line) {
  try {
    DebugLog& log = TheDebugLog();
    std::lock_guard lock(log.mutex);
    if (log.hostPath.empty()) return;
    if (log.file == nullptr) log.file = std::fopen(log.hostPath.c_str(), "ab");
    if (log.file == nullptr) return;
    std::fwrite(line.data(), 1, line.size(), log.file);
    // A line ends in CR LF, as on Windows, also when the caller left it off.
    if (!line.ends_with("\r\n")) std::fwrite("\r\n", 1, 2, log.file);
    std::fflush(log.file);
  } catch (...) {
    // Debug output never fails its caller.
  }
}

bool SetDebugLogFile(std::string_view path) {
  DebugLog& log = TheDebugLog();
  std::lock_guard lock(log.mutex);
  if (log.file != nullptr) {
    std::fclose(log.file);
    log.file = nullptr;
  }
  log.hostPath.clear();
  if (path.empty()) return true;
  std::optional<std::string> hostPath = LogHostPath(path);
  if (!hostPath) return false;
  log.file = std::fopen(hostPath->c_str(), "ab");
  if (log.file == nullptr) return posix::FailFromErrno(errno, *hostPath);
  log.hostPath = std::move(*hostPath);
  return true;
}

}  // namespace valise::platform
