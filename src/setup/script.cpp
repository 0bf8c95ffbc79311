#include "setup/script.h"

#include "platform/profile.h"
#include "platform/text.h"
#include "util/integers.h"

namespace valise::setup {

std::string TScript::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
  const Section& values = SectionOf(section);
  const auto found = values.find(platform::UpperCase(key));
  return found == values.end() ? std::string(defaultValue) : found->second;
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

const TScript::Section& TScript::SectionOf(std::string_view section) const {
  std::string name = platform::UpperCase(section);
  auto found = sections_.find(name);
  if (found != sections_.end()) return found->second;
  Section values;
  for (auto& [key, value] : platform::ReadProfileSection(fileName_, section)) {
    // The file's first entry of a key is the one that counts, as it is for a single read.
    values.try_emplace(platform::UpperCase(key), std::move(value));
  }
  return sections_.emplace(std::move(name), std::move(values)).first->second;
}

bool TScript::SectionExists(std::string_view section) const {
  return !SectionOf(section).empty();
}

bool TScript::KeyExists(std::string_view section, std::string_view key) const {
  return SectionOf(section).contains(platform::UpperCase(key));
}

}  // namespace valise::setup
