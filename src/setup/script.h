// The setup script, an INI file: reading it with the rules of its keys (strings of at most 2047
// characters, integers as util/integers.h reads them, a missing or malformed value giving the
// default, Booleans as integers, enumerations by name), and its "Globals" section. The
// application sections are read into the installation model by its LoadFromScript methods
// (script.cpp).
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "course/languages.h"
#include "platform/registry.h"
#include "setup/window_texts.h"

namespace valise::setup {

class TScript {
 public:
  explicit TScript(std::string fileName) : fileName_(std::move(fileName)) {}

  const std::string& FileName() const { return fileName_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue = {}) const;
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t defaultValue) const;
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
  // The position of the value among `names` (compared without regard to case); -1 when it
  // names none of them.
  int ReadEnum(std::string_view section, std::string_view key, std::string_view defaultName,
               std::span<const std::string_view> names) const;

  // A section is present when it holds at least one key.
  bool SectionExists(std::string_view section) const;
  // A key is present when it stands in the section, even with an empty value.
  bool KeyExists(std::string_view section, std::string_view key) const;

 private:
  // A section's values by upper-cased key name.
  using Section = std::unordered_map<std::string, std::string>;
  const Section& SectionOf(std::string_view section) const;

  std::string fileName_;
  // Each section read so far, by upper-cased section name. A section is read whole the first
  // time it is asked for, since a file group asks for each of its thousands of numbered keys in
  // turn.
  mutable std::map<std::string, Section> sections_;
};

// The "Globals" section.
struct TScriptGlobals {
  // The records key: "RegBaseKey" split into its root and the path below it.
  platform::RegRoot RegRoot = platform::RegRoot::CurrentUser;
  std::string RegBaseKey;
  bool HideLogo = false;
  std::string Launch;
  std::string LaunchParams;
  // "Language": only its low 8 bits count; LANG_NONE when missing.
  course::TLanguage Language = course::LANG_NONE;
  // "Publisher": the name the list of installed programs shows as the publisher; may be empty.
  std::string Publisher;
  // The section "Texts": window texts of the script's own, by their text keys ("ButtonCancel"
  // and so on), each in the form TextToScriptValue writes; empty where the script has none.
  // The window takes them where no application of its language has a text, as the copy of the
  // program kept for removal does, which has no baggage.
  TWindowTexts Texts;
};
TScriptGlobals ReadGlobals(const TScript& script);

}  // namespace valise::setup
