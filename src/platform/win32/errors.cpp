// Error codes and their texts: the thread's last error and the system's message table.
#include "platform/errors.h"

#include "platform/win32/winapi.h"

namespace valise::platform {
namespace {

// Wine's message table words many texts differently from Windows; there the texts of the codes
// that the system deals with are Windows' own (in English), as the rest of it expects them.
bool RunningOnWine() {
  static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
  return wine;
}

const char* WindowsText(std::uint32_t code) {
  switch (code) {
    case 0:
      return "The operation completed successfully.";
    case 1:
      return "Incorrect function.";
    case 2:
      return "The system cannot find the file specified.";
    case 3:
      return "The system cannot find the path specified.";
    case 4:
      return "The system cannot open the file.";
    case 5:
      return "Access is denied.";
    case 6:
      return "The handle is invalid.";
    case 8:
      return "Not enough memory resources are available to process this command.";
    case 13:
      return "The data is invalid.";
    case 15:
      return "The system cannot find the drive specified.";
    case 17:
      return "The system cannot move the file to a different disk drive.";
    case 18:
      return "There are no more files.";
    case 19:
      return "The media is write protected.";
    case 21:
      return "The device is not ready.";
    case 31:
      return "A device attached to the system is not functioning.";
    case 32:
      return "The process cannot access the file because it is being used by another process.";
    case 33:
      return "The process cannot access the file because another process has locked a portion "
             "of the file.";
    case 38:
      return "Reached the end of the file.";
    case 50:
      return "The request is not supported.";
    case 80:
      return "The file exists.";
    case 87:
      return "The parameter is incorrect.";
    case 112:
      return "There is not enough space on the disk.";
    case 123:
      return "The filename, directory name, or volume label syntax is incorrect.";
    case 145:
      return "The directory is not empty.";
    case 161:
      return "The specified path is invalid.";
    case 170:
      return "The requested resource is in use.";
    case 183:
      return "Cannot create a file when that file already exists.";
    case 206:
      return "The filename or extension is too long.";
    case 234:
      return "More data is available.";
    case 267:
      return "The directory name is invalid.";
    case 1117:
      return "The request could not be performed because of an I/O device error.";
    default:
      return nullptr;
  }
}

}  // namespace

std::uint32_t LastError() {
  return ::GetLastError();
}

void SetLastError(std::uint32_t code) {
  ::SetLastError(code);
}

std::string SystemErrorMessage(std::uint32_t code) {
  if (RunningOnWine()) {
    if (const char* text = WindowsText(code)) return text;
  }
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (length != 0 && buffer != nullptr) text.assign(buffer, length);
  LocalFree(buffer);
  // The table's texts end in a line break, some in further blanks.
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) return "System error " + std::to_string(code);
  return win32::Utf8(text);
}

OSError LastOSError() {
  const std::uint32_t code = LastError();
  return OSError(code, SystemErrorMessage(code));
}

void ThrowLastOSError() {
  throw LastOSError();
}

}  // namespace valise::platform
