// Text in the system's code pages, and comparison under the user's locale. Text inside the
// system is UTF-8; stored formats hold bytes in a Windows code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace valise::platform {

// The system's ANSI code page (1252 on Linux).
unsigned AnsiCodePage();

// Converts bytes in a Windows code page (0 = the ANSI code page) to UTF-8, and back. Code pages
// 1250 to 1254, 1257 and 932 are supported on every system; a byte that has no character is
// replaced by U+FFFD on the way in and a character without a byte by "?" on the way out.
std::string AnsiToUtf8(std::string_view bytes, unsigned codePage = 0);
std::string Utf8ToAnsi(std::string_view text, unsigned codePage = 0);

// Compares two texts without regard to case under the user's locale, as CompareString with
// NORM_IGNORECASE does; negative, zero or positive. On Linux the case fold covers the
// Windows-1252 repertoire and the order is that of the folded code points.
int CompareTextIgnoreCase(std::string_view a, std::string_view b);
// Upper-cases a text under the user's locale (on Linux: the Windows-1252 repertoire).
std::string UpperCase(std::string_view text);

// The user's and the system's default language identifiers (LANGID).
std::uint16_t UserDefaultLangID();
std::uint16_t SystemDefaultLangID();

}  // namespace valise::platform
