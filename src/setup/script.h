// Reading the setup script, an INI file, with the rules of its keys: strings of at most 2047
// characters, integers in decimal or hexadecimal after "0x" (a missing or malformed value gives
// the default), Booleans as integers, and enumerations by name.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
  const std::vector<std::string>& Keys(std::string_view section) const;

  std::string fileName_;
  // The upper-cased key names of each section read so far, by upper-cased section name.
  mutable std::map<std::string, std::vector<std::string>> keys_;
};

// An integer as the script writes it: optional sign, decimal digits, or "0x" and hexadecimal
// digits. False when the text is no such number or does not fit 32 bits.
bool ParseScriptInteger(std::string_view text, std::int32_t& value);

}  // namespace valise::setup
