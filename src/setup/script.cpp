#include "setup/script.h"

#include <algorithm>

#include "platform/profile.h"
#include "platform/text.h"

namespace valise::setup {

bool ParseScriptInteger(std::string_view text, std::int32_t& value) {
  bool negative = false;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  unsigned base = 10;
  if (text.size() - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  std::int64_t number = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    number = number * base + digit;
    if (number > 0xFFFFFFFFll) return false;
  }
  if (negative) number = -number;
  // Hexadecimal numbers take the whole 32 bits, so 0xFFFFFFFF is -1.
  if (base == 16 && number > 0x7FFFFFFF) number -= 0x100000000ll;
  if (number < INT32_MIN || number > INT32_MAX) return false;
  value = static_cast<std::int32_t>(number);
  return true;
}

std::string TScript::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
  return platform::ReadProfileString(fileName_, section, key, defaultValue);
}

std::int32_t TScript::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t defaultValue) const {
  std::int32_t value = defaultValue;
  if (!ParseScriptInteger(ReadString(section, key), value)) return defaultValue;
  return value;
}

bool TScript::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

int TScript::ReadEnum(std::string_view section, std::string_view key, std::string_view defaultName,
                      std::span<const std::string_view> names) const {
  const std::string value = ReadString(section, key, defaultName);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (platform::CompareTextIgnoreCase(value, names[i]) == 0) return static_cast<int>(i);
  }
  return -1;
}

const std::vector<std::string>& TScript::Keys(std::string_view section) const {
  const std::string name = platform::UpperCase(section);
  auto found = keys_.find(name);
  if (found != keys_.end()) return found->second;
  std::vector<std::string> keys = platform::ReadProfileKeys(fileName_, section);
  for (std::string& key : keys) key = platform::UpperCase(key);
  return keys_.emplace(name, std::move(keys)).first->second;
}

bool TScript::SectionExists(std::string_view section) const {
  return !Keys(section).empty();
}

bool TScript::KeyExists(std::string_view section, std::string_view key) const {
  const std::vector<std::string>& keys = Keys(section);
  return std::find(keys.begin(), keys.end(), platform::UpperCase(key)) != keys.end();
}

}  // namespace valise::setup
