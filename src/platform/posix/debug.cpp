// Debug output on Linux: there is no debug-output window, so a line goes only to the log file
// when one is set, after its local time.
#include <cerrno>
#include <cstdio>
#include <ctime>
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
  // The time stamp up to the second, made again when the second changes: converting to local
  // time is the dearest part of a line.
  std::time_t stampSecond = -1;
  char stamp[32] = {};
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

// Writes the line's time stamp: the local time in ISO 8601 with milliseconds, and a space
// ("2026-12-09T14:40:21.123 ").
void WriteTimeStamp(DebugLog& log) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  if (now.tv_sec != log.stampSecond) {
    std::tm local{};
    if (localtime_r(&now.tv_sec, &local) == nullptr ||
        std::strftime(log.stamp, sizeof log.stamp, "%Y-%m-%dT%H:%M:%S", &local) == 0) {
      return;
    }
    log.stampSecond = now.tv_sec;
  }
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03d ", static_cast<int>(now.tv_nsec / 1000000));
  std::fputs(log.stamp, log.file);
  std::fputs(millis, log.file);
}

}  // namespace

void DebugOutput(std::string_view line) {
  try {
    DebugLog& log = TheDebugLog();
    std::lock_guard lock(log.mutex);
    if (log.hostPath.empty()) return;
    if (log.file == nullptr) log.file = std::fopen(log.hostPath.c_str(), "ab");
    if (log.file == nullptr) return;
    WriteTimeStamp(log);
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
