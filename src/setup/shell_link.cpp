#include <array>

#include "platform/files.h"
#include "platform/text.h"
#include "setup/application.h"
#include "setup/records.h"
#include "util/file_utils.h"

namespace valise::setup {

namespace {

constexpr std::array<std::string_view, 3> kInternetPrefixes = {"http://", "mailto:", "news://"};

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         platform::CompareTextIgnoreCase(text.substr(0, prefix.size()), prefix) == 0;
}

// The key names of shortcut texts, by virtual-key code.
struct KeyName {
  std::string_view name;
  std::uint8_t key;
};
constexpr KeyName kKeyNames[] = {
    {"BkSp", 0x08},  {"Backspace", 0x08}, {"Tab", 0x09},   {"Enter", 0x0D}, {"Return", 0x0D},
    {"Esc", 0x1B},   {"Escape", 0x1B},    {"Space", 0x20}, {"PgUp", 0x21},  {"PageUp", 0x21},
    {"PgDn", 0x22},  {"PageDown", 0x22},  {"End", 0x23},   {"Home", 0x24},  {"Left", 0x25},
    {"Up", 0x26},    {"Right", 0x27},     {"Down", 0x28},  {"Ins", 0x2D},   {"Insert", 0x2D},
    {"Del", 0x2E},   {"Delete", 0x2E},    {"Pause", 0x13}, {"Num *", 0x6A}, {"Num +", 0x6B},
    {"Num -", 0x6D}, {"Num /", 0x6F},
};

enum : std::uint8_t { kHotkeyShift = 1, kHotkeyControl = 2, kHotkeyAlt = 4 };

// The virtual-key code of a key name; 0 when it names no key.
std::uint8_t KeyCode(std::string_view name) {
  if (name.size() == 1) {
    const char c = name[0];
    if (c >= 'a' && c <= 'z') return static_cast<std::uint8_t>(c - 'a' + 'A');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<std::uint8_t>(c);
  }
  if (name.size() >= 2 && name.size() <= 3 && (name[0] == 'F' || name[0] == 'f')) {
    int n = 0;
    for (char c : name.substr(1)) {
      if (c < '0' || c > '9') return 0;
      n = n * 10 + (c - '0');
    }
    if (n >= 1 && n <= 24) return static_cast<std::uint8_t>(0x70 + n - 1);
    return 0;
  }
  for (const KeyName& key : kKeyNames) {
    if (platform::CompareTextIgnoreCase(name, key.name) == 0) return key.key;
  }
  return 0;
}

}  // namespace

std::uint16_t TextToShortCut(std::string_view text) {
  std::uint8_t modifiers = 0;
  while (!text.empty()) {
    if (text.front() == '^') {
      modifiers |= kHotkeyControl;
      text.remove_prefix(1);
    } else if (StartsWithIgnoreCase(text, "Shift+")) {
      modifiers |= kHotkeyShift;
      text.remove_prefix(6);
    } else if (StartsWithIgnoreCase(text, "Ctrl+")) {
      modifiers |= kHotkeyControl;
      text.remove_prefix(5);
    } else if (StartsWithIgnoreCase(text, "Alt+")) {
      modifiers |= kHotkeyAlt;
      text.remove_prefix(4);
    } else {
      break;
    }
  }
  const std::uint8_t key = KeyCode(text);
  if (key == 0) return 0;
  return static_cast<std::uint16_t>(modifiers << 8 | key);
}

std::string TSetupShellLink::Expand(std::string text) const {
  if (OnExpand) OnExpand(text);
  return text;
}

std::string TSetupShellLink::ExpandedCommand() const {
  return Expand(Command);
}
std::string TSetupShellLink::ExpandedDescription() const {
  return Expand(Description);
}
std::string TSetupShellLink::ExpandedFolder() const {
  return Expand(Folder.empty() ? std::string("<ProgramsMenuFolder>") : Folder);
}
std::string TSetupShellLink::ExpandedIconLocation() const {
  return Expand(IconLocation);
}

bool TSetupShellLink::IsInternetShortcut() const {
  for (std::string_view prefix : kInternetPrefixes) {
    if (StartsWithIgnoreCase(Command, prefix)) return true;
  }
  return false;
}

std::string TSetupShellLink::RecordedFile() const {
  if (ExtractFileName(Folder).find('.') == std::string_view::npos) return Folder + ".lnk";
  return Folder;
}

}  // namespace valise::setup
