#include "setup/script.h"

#include "platform/profile.h"
#include "platform/text.h"
#include "util/integers.h"

namespace valise::setup {

std::string TScript::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
  return platform::ReadProfileString(fileName_, section, key, defaultValue);
}

std::int32_t TScript::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t defaultValue) const {
  std::int32_t value = defaultValue;
  if (!TryStrToInt(ReadString(section, key), value)) return defaultValue;
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

const std::unordered_set<std::string>& TScript::Keys(std::string_view section) const {
  std::string name = platform::UpperCase(section);
  auto found = keys_.find(name);
  if (found != keys_.end()) return found->second;
  std::unordered_set<std::string> keys;
  for (const std::string& key : platform::ReadProfileKeys(fileName_, section)) {
    keys.insert(platform::UpperCase(key));
  }
  return keys_.emplace(std::move(name), std::move(keys)).first->second;
}

bool TScript::SectionExists(std::string_view section) const {
  return !Keys(section).empty();
}

bool TScript::KeyExists(std::string_view section, std::string_view key) const {
  return Keys(section).contains(platform::UpperCase(key));
}

}  // namespace valise::setup
