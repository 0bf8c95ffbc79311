// Reading INI files with the semantics of GetPrivateProfileString: section and key names
// without regard to case, values trimmed with one pair of surrounding quotes removed and cut at
// 2047 characters, the first of duplicate keys wins, a section is present only when it holds at
// least one key, and a missing file reads as empty. A bare file name is looked up in the
// Windows directory, a relative path in the current directory. Text is UTF-8 (the file's bytes
// are in the ANSI code page).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace valise::platform {

inline constexpr std::size_t kProfileValueMax = 2047;

std::string ReadProfileString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view defaultValue);
// The key names of a section in file order (each once); empty when the section is absent.
std::vector<std::string> ReadProfileKeys(std::string_view file, std::string_view section);
// The keys of a section in file order (each once), each with the value ReadProfileString gives
// for it; empty when the section is absent. One read of the file for a whole section.
std::vector<std::pair<std::string, std::string>> ReadProfileSection(std::string_view file,
                                                                    std::string_view section);
// The section names in file order (each once).
std::vector<std::string> ReadProfileSections(std::string_view file);

}  // namespace valise::platform
