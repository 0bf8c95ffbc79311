// Product languages: the one-byte language numbers of the project table and the text pool,
// their English names and the code pages their stored texts are written in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace valise::course {

// One byte naming a product language. Values outside the named ones occur in stored tables and
// are kept as they are.
enum TLanguage : std::uint8_t {
  LANG_NONE = 0,
  LANG_GERMAN = 1,
  LANG_ENGLISH_US = 2,
  LANG_ENGLISH_UK = 3,
  LANG_DUTCH = 4,
  LANG_FRENCH = 5,
  LANG_GREEK = 6,
  LANG_ITALIAN = 7,
  LANG_JAPANESE = 8,
  LANG_POLISH = 9,
  LANG_PORTUGUESE = 10,
  LANG_RUSSIAN = 11,
  LANG_SPANISH = 12,
  LANG_SWEDISH = 13,
  LANG_TURKISH = 14,
  LANG_CZECH = 15,
  LANG_DANISH = 16,
  LANG_FINISH = 17,
};

// The value that says no language is chosen (a project without translation languages).
inline constexpr TLanguage kNoLanguage = static_cast<TLanguage>(127);

// The English name of a language as marker texts show it ("German", "US English", ...).
// Numbers without a name (127 among them) give "Language " and the number.
std::string LanguageName(int language);

// The Windows code page that texts of this language are stored in: 1250 for Polish and Czech,
// 1251 for Russian, 1253 for Greek, 1254 for Turkish, 932 for Japanese and 1252 for the rest.
unsigned LanguageCodePage(int language);

// Converts stored bytes written in a language's code page to UTF-8.
std::string LanguageText(std::string_view bytes, int language);

}  // namespace valise::course
