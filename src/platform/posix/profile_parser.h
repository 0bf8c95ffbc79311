// The INI reader of the posix backend over a byte buffer, apart from files and caching, so that
// tests and the fuzz target reach it directly. Text is held as UTF-16 code units, the unit in
// which Windows measures and cuts profile strings.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace valise::platform::posix {

struct ProfileEntry {
  std::u16string name;
  std::optional<std::u16string> value;  // nothing for a line without "="
  std::u16string folded;                // the name folded for matching
};

struct ProfileSection {
  std::u16string name;  // empty for the lines before the first section header
  std::vector<ProfileEntry> entries;
  std::u16string folded;
  // The position of the first entry of each folded name, so that a section of thousands of
  // keys is not searched from its start for each of them.
  std::unordered_map<std::u16string, std::size_t> firstEntry;
};

// A parsed INI file: its sections in file order, the nameless first one included.
struct Profile {
  std::vector<ProfileSection> sections;
  // The position of the first section of each folded name.
  std::unordered_map<std::u16string, std::size_t> firstSection;
};

// Parses the bytes of an INI file: UTF-8 or UTF-16 after a byte-order mark, else the ANSI code
// page. Never fails; every byte sequence gives some profile.
Profile ParseProfile(std::string_view bytes);

// The lookups of GetPrivateProfileString on a parsed file, UTF-8 in and out. `profile` is null
// for a file that does not exist; `folderExists` tells whether the folder it would be in does.
std::string ProfileString(const Profile* profile, bool folderExists, std::string_view section,
                          std::string_view key, std::string_view defaultValue);
std::vector<std::string> ProfileKeys(const Profile& profile, std::string_view section);
std::vector<std::string> ProfileSections(const Profile& profile);

}  // namespace valise::platform::posix
