#include "course/languages.h"

#include <array>

#include "platform/text.h"

namespace valise::course {
namespace {

constexpr std::array<const char*, 18> kLanguageNames = {
    "None",    "German",  "US English", "British English", "Dutch",      "French",
    "Greek",   "Italian", "Japanese",   "Polish",          "Portuguese", "Russian",
    "Spanish", "Swedish", "Turkish",    "Czech",           "Danish",     "Finnish",
};

}  // namespace

std::string LanguageName(int language) {
  if (language >= 0 && language < static_cast<int>(kLanguageNames.size())) {
    return kLanguageNames[static_cast<std::size_t>(language)];
  }
  return "Language " + std::to_string(language);
}

unsigned LanguageCodePage(int language) {
  switch (language) {
    case LANG_POLISH:
    case LANG_CZECH:
      return 1250;
    case LANG_RUSSIAN:
      return 1251;
    case LANG_GREEK:
      return 1253;
    case LANG_TURKISH:
      return 1254;
    case LANG_JAPANESE:
      return 932;
    default:
      return 1252;
  }
}

std::string LanguageText(std::string_view bytes, int language) {
  return platform::AnsiToUtf8(bytes, LanguageCodePage(language));
}

}  // namespace valise::course
