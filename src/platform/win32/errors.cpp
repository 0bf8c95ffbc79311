// Error codes and their texts: the thread's last error and the system's message table.
#include "platform/errors.h"

#include "platform/error_texts.h"

#include "platform/win32/winapi.h"

namespace valise::platform {
namespace {

// Wine's message table words many texts differently from Windows; there the texts of the codes
// that the system deals with are Windows' own (in English), as the rest of it expects them.
bool RunningOnWine() {
  static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
  return wine;
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
    if (const char* text = detail::WindowsErrorText(code)) return text;
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

}  // namespace valise::platform
