// The text that `valise reg show` and `valise link show` print, kept apart from the commands so
// that a test can check it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/registry.h"
#include "platform/shell.h"

namespace valise::tools {

// Splits "HKEY_CURRENT_USER\Software\Acme" (or "HKCU\...", "HKLM\...", "HKCR\...", the root
// name in any letter case) into its root and the path below it; nothing for another root.
std::optional<std::pair<platform::RegRoot, std::string>> ParseRegKeyName(std::string_view name);

// One value as a line: four blanks, the name ("(Default)" for the empty name), the type as
// reg.exe names it and the data: text as stored, a DWORD in hexadecimal and decimal, anything
// else as hexadecimal bytes.
std::string FormatRegValue(std::string_view name, const platform::RegValue& value);

// A key and everything below it: a line "[name]" for each key, then its values, each key's
// values and subkeys in the registry's enumeration order. Nothing when the key does not exist.
std::optional<std::string> ShowRegKey(platform::RegRoot root, const std::string& path,
                                      const std::string& name);

// A shell link's hot key as "Shift+Ctrl+Alt+KEY" with the key names that the setup script's
// ShortCut key takes ("(none)" for 0), so that the text can be written back into a script.
std::string HotKeyText(std::uint16_t hotKey);

// What a shell link holds, one "label: value" line each.
std::string ShowShellLink(const platform::ShellLinkData& link);

}  // namespace valise::tools
