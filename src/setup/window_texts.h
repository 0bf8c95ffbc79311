// The eleven texts of the setup window and its boxes, taken from the text pool of the product
// whose language the window speaks. The field table pairs each text with its ID, in the order
// of course::kWindowTextIds, so the two cannot disagree.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "course/app_strings.h"
#include "course/languages.h"

namespace valise::setup {

struct TWindowTexts {
  std::string ButtonCancel;
  std::string ButtonContinue;
  std::string MsgCaptionInformation;
  std::string MsgCaptionWarning;
  std::string SConfirmCancel;
  std::string MsgInstall;
  std::string LabelDirectory;
  std::string SNoButtonCaption;
  std::string SOutOfDiskSpace;
  std::string SSetupCompleted;
  std::string SYesButtonCaption;

  struct Field {
    std::uint32_t id;
    std::string TWindowTexts::*text;
  };
  static constexpr std::array<Field, course::kWindowTextIds.size()> kFields = {{
      {course::textid::ButtonCancel, &TWindowTexts::ButtonCancel},
      {course::textid::ButtonContinue, &TWindowTexts::ButtonContinue},
      {course::textid::MsgCaptionInformation, &TWindowTexts::MsgCaptionInformation},
      {course::textid::MsgCaptionWarning, &TWindowTexts::MsgCaptionWarning},
      {course::textid::SConfirmCancel, &TWindowTexts::SConfirmCancel},
      {course::textid::MsgInstall, &TWindowTexts::MsgInstall},
      {course::textid::LabelDirectory, &TWindowTexts::LabelDirectory},
      {course::textid::SNoButtonCaption, &TWindowTexts::SNoButtonCaption},
      {course::textid::SOutOfDiskSpace, &TWindowTexts::SOutOfDiskSpace},
      {course::textid::SSetupCompleted, &TWindowTexts::SSetupCompleted},
      {course::textid::SYesButtonCaption, &TWindowTexts::SYesButtonCaption},
  }};

  // The text of that ID; empty for an ID that is not a window text.
  std::string Get(std::uint32_t textId) const;
};

namespace windowtexts {
constexpr bool FieldsFollowTheIds() {
  for (std::size_t i = 0; i < TWindowTexts::kFields.size(); ++i) {
    if (TWindowTexts::kFields[i].id != course::kWindowTextIds[i]) return false;
  }
  return true;
}
static_assert(FieldsFollowTheIds(), "the window texts follow course::kWindowTextIds");
}  // namespace windowtexts

// Whether a window text is missing: empty, or a marker text (it begins with "«").
bool IsMissingText(std::string_view text);

// Where the texts may come from: each application of the run, with its product's language.
struct TTextSource {
  course::TLanguage Language = course::LANG_NONE;
  const TWindowTexts* Texts = nullptr;
};
// The texts in `language`: each from the source at `languageIndex`, else from the first other
// source of that language that has it, else from `scriptTexts` (the script's own, when it has
// that text); a marker text (course::TTextpoolInterface::MarkerText) where none has it. Without
// a source at `languageIndex` only the script's texts count.
TWindowTexts ChooseWindowTexts(const std::vector<TTextSource>& sources, course::TLanguage language,
                               std::int32_t languageIndex,
                               const TWindowTexts* scriptTexts = nullptr);

// A window text as the value of a key in a script's "Texts" section: in double quotes, so that
// blanks at either end stay, with a backslash written "\\" and the line breaks "\r" and "\n".
// Empty when the value would be longer than a script value can be.
std::string TextToScriptValue(std::string_view text);
// The text of such a value, read without its quotes: "\\", "\r", "\n" and "\t" stand for a
// backslash, the line breaks and a tab; any other backslash stays as it is.
std::string TextFromScriptValue(std::string_view value);

// The product language of a Windows language ID (its primary language, and for English its
// sublanguage); LANG_NONE for a language no product has.
course::TLanguage LanguageFromLangID(std::uint16_t langId);

}  // namespace valise::setup
