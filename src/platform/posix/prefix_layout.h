// The contents a new prefix starts with, for the prefix maker and the folder lookups' fallbacks.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace valise::platform::posix {

// The Windows and system directories of every prefix.
inline constexpr const char* kWindowsDirectory = "C:\\windows";
inline constexpr const char* kSystemDirectory = "C:\\windows\\system32";

// The user whose folder a prefix holds (users/<name>), as Wine names it: the login name.
std::string PrefixUserName();

// One registry key with its string values, as a new prefix's registry files hold it.
struct RegFileKey {
  std::string path;
  std::vector<std::pair<std::string, std::string>> values;
};

// HKEY_LOCAL_MACHINE's and HKEY_CURRENT_USER's keys of a new prefix.
std::vector<RegFileKey> MachineRegistry();
std::vector<RegFileKey> UserRegistry(const std::string& user);

}  // namespace valise::platform::posix
