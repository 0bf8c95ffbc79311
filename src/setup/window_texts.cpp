#include "setup/window_texts.h"

#include "course/textpool.h"
#include "platform/profile.h"

namespace valise::setup {

std::string TWindowTexts::Get(std::uint32_t textId) const {
  for (const Field& field : kFields) {
    if (field.id == textId) return this->*field.text;
  }
  return {};
}

bool IsMissingText(std::string_view text) {
  return text.empty() || text.starts_with("\xC2\xAB");  // begins with «
}

TWindowTexts ChooseWindowTexts(const std::vector<TTextSource>& sources, course::TLanguage language,
                               std::int32_t languageIndex, const TWindowTexts* scriptTexts) {
  const bool indexed =
      languageIndex >= 0 && static_cast<std::size_t>(languageIndex) < sources.size();
  TWindowTexts chosen;
  for (const TWindowTexts::Field& field : TWindowTexts::kFields) {
    std::string& text = chosen.*field.text;
    if (indexed) {
      text = sources[static_cast<std::size_t>(languageIndex)].Texts->*field.text;
      for (std::size_t i = 0; IsMissingText(text) && i < sources.size(); ++i) {
        if (static_cast<std::int32_t>(i) == languageIndex) continue;
        if (sources[i].Language != language) continue;
        text = sources[i].Texts->*field.text;
      }
    }
    if (IsMissingText(text) && scriptTexts != nullptr) text = scriptTexts->*field.text;
    if (IsMissingText(text)) text = course::TTextpoolInterface::MarkerText(language, field.id);
  }
  return chosen;
}

std::string TextToScriptValue(std::string_view text) {
  std::string value = "\"";
  for (const char c : text) {
    switch (c) {
      case '\\':
        value += "\\\\";
        break;
      case '\r':
        value += "\\r";
        break;
      case '\n':
        value += "\\n";
        break;
      case '\t':
        value += "\\t";
        break;
      default:
        value += c;
    }
  }
  value += '"';
  // The limit counts characters of the file, which are UTF-16 units; bytes are at least as many.
  if (value.size() - 2 > platform::kProfileValueMax) return {};
  return value;
}

std::string TextFromScriptValue(std::string_view value) {
  std::string text;
  text.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char next = i + 1 < value.size() ? value[i + 1] : '\0';
    if (value[i] == '\\' && std::string_view("\\rnt").find(next) != std::string_view::npos) {
      text += next == 'r' ? '\r' : next == 'n' ? '\n' : next == 't' ? '\t' : '\\';
      ++i;
    } else {
      text += value[i];
    }
  }
  return text;
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
