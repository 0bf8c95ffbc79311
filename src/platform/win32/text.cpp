// Code pages, case and comparison through the system's national-language functions.
#include "platform/text.h"

#include "platform/win32/winapi.h"

namespace valise::platform {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

UINT CodePage(unsigned codePage) {
  return codePage == 0 ? GetACP() : codePage;
}

std::wstring Decode(std::string_view bytes, UINT codePage) {
  const int length = static_cast<int>(bytes.size());
  int size = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (size > 0) {
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, wide.data(), size);
    return wide;
  }
  if (codePage == CP_UTF8) {
    // Invalid sequences become U+FFFD without the strict flag.
    size = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), length, wide.data(), size);
    return wide;
  }
  // Some byte has no character: convert character by character (one byte, or two after a lead
  // byte of a double-byte code page) so that only the bad ones are replaced.
  std::wstring wide;
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::size_t count = 1;
    if (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[i])) && i + 1 < bytes.size()) count = 2;
    wchar_t character[2];
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data() + i,
                                      static_cast<int>(count), character, 2);
    if (n > 0) {
      wide.append(character, static_cast<std::size_t>(n));
    } else {
      wide += kReplacement;
    }
    i += count;
  }
  return wide;
}

}  // namespace

unsigned AnsiCodePage() {
  return GetACP();
}

std::string AnsiToUtf8(std::string_view bytes, unsigned codePage) {
  if (bytes.empty()) return {};
  return win32::Utf8(Decode(bytes, CodePage(codePage)));
}

std::string Utf8ToAnsi(std::string_view text, unsigned codePage) {
  if (text.empty()) return {};
  const UINT page = CodePage(codePage);
  const std::wstring wide = win32::Wide(text);
  const int length = static_cast<int>(wide.size());
  if (page == CP_UTF8) return std::string(text);
  // Without best-fit mapping: a character that has no byte becomes "?" and not a look-alike.
  const DWORD flags = WC_NO_BEST_FIT_CHARS;
  const int size = WideCharToMultiByte(page, flags, wide.data(), length, nullptr, 0, "?", nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(page, flags, wide.data(), length, bytes.data(), size, "?", nullptr);
  return bytes;
}

int CompareTextIgnoreCase(std::string_view a, std::string_view b) {
  // Called many times in a row (sorted lists, binary searches): the two texts are converted
  // into buffers kept for the next call.
  thread_local std::wstring first;
  thread_local std::wstring second;
  win32::AssignWide(first, a);
  win32::AssignWide(second, b);
  const int result = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, first.data(),
                                    static_cast<int>(first.size()), second.data(),
                                    static_cast<int>(second.size()));
  return result == 0 ? 0 : result - CSTR_EQUAL;
}

std::string UpperCase(std::string_view text) {
  const std::wstring wide = win32::Wide(text);
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int size =
      LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, wide.data(), length, nullptr, 0);
  std::wstring upper(static_cast<std::size_t>(size), L'\0');
  LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, wide.data(), length, upper.data(), size);
  return win32::Utf8(upper);
}

std::uint16_t UserDefaultLangID() {
  return GetUserDefaultLangID();
}

std::uint16_t SystemDefaultLangID() {
  return GetSystemDefaultLangID();
}

}  // namespace valise::platform
