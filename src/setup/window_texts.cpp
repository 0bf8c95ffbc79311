#include "setup/window_texts.h"

#include "course/textpool.h"

namespace valise::setup {

std::string TWindowTexts::Get(std::uint32_t textId) const {
  for (const Field& field : kFields) {
    if (field.id == textId) return this->*field.text;
  }
  return {};
}

TWindowTexts ChooseWindowTexts(const std::vector<TTextSource>& sources, course::TLanguage language,
                               std::int32_t languageIndex) {
  const auto missing = [](const std::string& text) {
    return text.empty() || text.rfind("\xC2\xAB", 0) == 0;  // begins with «
  };
  const bool indexed =
      languageIndex >= 0 && static_cast<std::size_t>(languageIndex) < sources.size();
  TWindowTexts chosen;
  for (const TWindowTexts::Field& field : TWindowTexts::kFields) {
    std::string& text = chosen.*field.text;
    if (indexed) {
      text = sources[static_cast<std::size_t>(languageIndex)].Texts->*field.text;
      for (std::size_t i = 0; missing(text) && i < sources.size(); ++i) {
        if (static_cast<std::int32_t>(i) == languageIndex) continue;
        if (sources[i].Language != language) continue;
        text = sources[i].Texts->*field.text;
      }
    }
    if (!indexed || missing(text)) {
      text = course::TTextpoolInterface::MarkerText(language, field.id);
    }
  }
  return chosen;
}

course::TLanguage LanguageFromLangID(std::uint16_t langId) {
  const unsigned primary = langId & 0x1FF;
  const unsigned sub = langId >> 10;
  switch (primary) {
    case 5:
      return course::LANG_CZECH;
    case 6:
      return course::LANG_DANISH;
    case 7:
      return course::LANG_GERMAN;
    case 8:
      return course::LANG_GREEK;
    case 9:
      return sub == 2 ? course::LANG_ENGLISH_UK : course::LANG_ENGLISH_US;
    case 10:
      return course::LANG_SPANISH;
    case 11:
      return course::LANG_FINISH;
    case 12:
      return course::LANG_FRENCH;
    case 16:
      return course::LANG_ITALIAN;
    case 17:
      return course::LANG_JAPANESE;
    case 19:
      return course::LANG_DUTCH;
    case 21:
      return course::LANG_POLISH;
    case 22:
      return course::LANG_PORTUGUESE;
    case 25:
      return course::LANG_RUSSIAN;
    case 29:
      return course::LANG_SWEDISH;
    case 31:
      return course::LANG_TURKISH;
    default:
      return course::LANG_NONE;
  }
}

}  // namespace valise::setup
