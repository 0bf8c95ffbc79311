// Debug output: each line goes to the debug-output window that a viewer registers on the
// desktop window under "DBWin32-Handle", and to the log file when one is set.
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/debug.h"
#include "platform/win32/winapi.h"

namespace valise::platform {
namespace {

std::mutex logMutex;
std::string& LogFile() {
  static std::string path;
  return path;
}

// The log file, kept open from the first line on: opening it for every line cost three calls
// into the system per line. Every line is written through at once, so the file is complete
// whenever the program ends.
HANDLE& LogHandle() {
  static HANDLE handle = INVALID_HANDLE_VALUE;
  return handle;
}

// Whether the desktop has a window on it yet. Asking for the desktop window makes it when there
// is none, and under Wine that starts a desktop process (about a tenth of a second, on every
// silent run); a viewer's own window would have made it already, so without one there is no
// viewer to find.
BOOL CALLBACK NoteFirstWindow(HWND, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;
}

bool DesktopHasWindows() {
  bool any = false;
  EnumDesktopWindows(GetThreadDesktop(GetCurrentThreadId()), NoteFirstWindow,
                     reinterpret_cast<LPARAM>(&any));
  return any;
}

// The viewer window, looked up again when half a second has passed: the lookup is a call into
// the system, and a run logs a line for every file it removes.
HWND Viewer() {
  static HWND viewer = nullptr;
  static ULONGLONG checked = 0;
  static bool looked = false;
  const ULONGLONG now = GetTickCount64();
  if (!looked || now - checked >= 500) {
    looked = true;
    checked = now;
    viewer = DesktopHasWindows()
                 ? static_cast<HWND>(GetPropW(GetDesktopWindow(), L"DBWin32-Handle"))
                 : nullptr;
  }
  return viewer;
}

// A viewer that hangs must not hold up the program.
constexpr UINT kSendTimeout = 1000;

// The time stamp a line of the log file starts with: the local time in ISO 8601 with
// milliseconds, and a space ("2026-12-09T14:40:21.123 ").
std::string TimeStamp() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02u.%03u ", unsigned{now.wYear},
                unsigned{now.wMonth}, unsigned{now.wDay}, unsigned{now.wHour},
                unsigned{now.wMinute}, unsigned{now.wSecond}, unsigned{now.wMilliseconds});
  return stamp;
}

}  // namespace

void DebugOutput(std::string_view line) {
  std::string text(line);
  if (!text.ends_with("\r\n")) text += "\r\n";

  std::lock_guard lock(logMutex);
  const HWND viewer = Viewer();
  if (viewer != nullptr && IsWindow(viewer)) {
    const std::wstring wide = win32::Wide(text);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(viewer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                        SMTO_ABORTIFHUNG | SMTO_BLOCK, kSendTimeout, &ignored);
  }

  if (LogFile().empty()) return;
  HANDLE& file = LogHandle();
  if (file == INVALID_HANDLE_VALUE) {
    file = CreateFileW(win32::FilePath(LogFile()).c_str(), FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
  }
  // One write for the whole line, so that lines of several threads never mix.
  text.insert(0, TimeStamp());
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool SetDebugLogFile(std::string_view path) {
  std::lock_guard lock(logMutex);
  if (LogHandle() != INVALID_HANDLE_VALUE) {
    CloseHandle(LogHandle());
    LogHandle() = INVALID_HANDLE_VALUE;
  }
  LogFile().clear();
  if (path.empty()) return true;
  // Kept as a full path, so that a later change of the current directory does not move it.
  std::string full = win32::Utf8(win32::FullPath(win32::Wide(path)));
  const HANDLE file = CreateFileW(win32::FilePath(full).c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LogHandle() = file;
  LogFile() = std::move(full);
  return true;
}

}  // namespace valise::platform
