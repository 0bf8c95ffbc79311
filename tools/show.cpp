#include "show.h"

#include <cstdio>
#include <vector>

namespace valise::tools {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (a != prefix[i]) return false;
  }
  return true;
}

const char* TypeName(platform::RegType type) {
  switch (type) {
    case platform::RegType::None:
      return "REG_NONE";
    case platform::RegType::String:
      return "REG_SZ";
    case platform::RegType::ExpandString:
      return "REG_EXPAND_SZ";
    case platform::RegType::Binary:
      return "REG_BINARY";
    case platform::RegType::DWord:
      return "REG_DWORD";
    case platform::RegType::MultiString:
      return "REG_MULTI_SZ";
  }
  return nullptr;
}

void ShowKey(platform::RegRoot root, const std::string& path, const std::string& name,
             const platform::RegKey& key, std::string& out) {
  out += "[" + name + "]\n";
  for (const std::string& valueName : key.ValueNames()) {
    if (std::optional<platform::RegValue> value = key.Read(valueName)) {
      out += FormatRegValue(valueName, *value);
    }
  }
  for (const std::string& subName : key.SubKeyNames()) {
    const std::string subPath = path.empty() ? subName : path + "\\" + subName;
    if (std::optional<platform::RegKey> sub = platform::RegKey::Open(root, subPath)) {
      ShowKey(root, subPath, name + "\\" + subName, *sub, out);
    }
  }
}

}  // namespace

std::optional<std::pair<platform::RegRoot, std::string>> ParseRegKeyName(std::string_view name) {
  static const struct {
    const char* name;
    platform::RegRoot root;
  } kRoots[] = {
      {"HKEY_CLASSES_ROOT", platform::RegRoot::ClassesRoot},
      {"HKEY_CURRENT_USER", platform::RegRoot::CurrentUser},
      {"HKEY_LOCAL_MACHINE", platform::RegRoot::LocalMachine},
      {"HKCR", platform::RegRoot::ClassesRoot},
      {"HKCU", platform::RegRoot::CurrentUser},
      {"HKLM", platform::RegRoot::LocalMachine},
  };
  for (const auto& [rootName, root] : kRoots) {
    const std::string_view prefix(rootName);
    if (!StartsWithNoCase(name, prefix)) continue;
    std::string_view rest = name.substr(prefix.size());
    if (!rest.empty() && rest.front() != '\\') continue;
    while (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
    return std::make_pair(root, std::string(rest));
  }
  return std::nullopt;
}

std::string FormatRegValue(std::string_view name, const platform::RegValue& value) {
  std::string line = "    ";
  line += name.empty() ? std::string("(Default)") : std::string(name);
  line += "    ";
  if (const char* type = TypeName(value.type)) {
    line += type;
  } else {
    line += "REG_TYPE_" + std::to_string(static_cast<std::uint32_t>(value.type));
  }
  line += "    ";
  switch (value.type) {
    case platform::RegType::String:
    case platform::RegType::ExpandString:
      line += value.text;
      break;
    case platform::RegType::DWord: {
      char number[40];
      std::snprintf(number, sizeof number, "0x%08x (%d)", value.number,
                    static_cast<std::int32_t>(value.number));
      line += number;
      break;
    }
    default:
      for (std::size_t i = 0; i < value.bytes.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%s%02x", i == 0 ? "" : " ", value.bytes[i]);
        line += byte;
      }
      break;
  }
  // No blanks after the type when there is no data.
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line + "\n";
}

std::optional<std::string> ShowRegKey(platform::RegRoot root, const std::string& path,
                                      const std::string& name) {
  std::optional<platform::RegKey> key = platform::RegKey::Open(root, path);
  if (!key) return std::nullopt;
  std::string out;
  ShowKey(root, path, name, *key, out);
  return out;
}

std::string HotKeyText(std::uint16_t hotKey) {
  if (hotKey == 0) return "(none)";
  const unsigned key = hotKey & 0xffu;
  const unsigned modifiers = hotKey >> 8;
  std::string text;
  if (modifiers & 1u) text += "Shift+";
  if (modifiers & 2u) text += "Ctrl+";
  if (modifiers & 4u) text += "Alt+";
  if (modifiers & 8u) text += "Ext+";
  static const struct {
    unsigned key;
    const char* name;
  } kNames[] = {
      {0x08, "Backspace"}, {0x09, "Tab"},   {0x0D, "Enter"}, {0x13, "Pause"}, {0x1B, "Esc"},
      {0x20, "Space"},     {0x21, "PgUp"},  {0x22, "PgDn"},  {0x23, "End"},   {0x24, "Home"},
      {0x25, "Left"},      {0x26, "Up"},    {0x27, "Right"}, {0x28, "Down"},  {0x2D, "Ins"},
      {0x2E, "Del"},       {0x6A, "Num *"}, {0x6B, "Num +"}, {0x6D, "Num -"}, {0x6F, "Num /"},
  };
  char name[16];
  std::snprintf(name, sizeof name, "0x%02X", key);
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
    std::snprintf(name, sizeof name, "%c", static_cast<char>(key));
  } else if (key >= 0x70 && key <= 0x87) {
    std::snprintf(name, sizeof name, "F%u", key - 0x6f);
  }
  for (const auto& known : kNames) {
    if (known.key == key) std::snprintf(name, sizeof name, "%s", known.name);
  }
  return text + name;
}

std::string ShowShellLink(const platform::ShellLinkData& link) {
  std::string out;
  auto line = [&out](std::string label, const std::string& value) {
    if (!value.empty()) label.resize(19, ' ');
    out += label + value + "\n";
  };
  line("target:", link.target);
  line("arguments:", link.arguments);
  line("working directory:", link.workingDirectory);
  line("description:", link.description);
  line("icon:", link.iconLocation.empty() && link.iconIndex == 0
                    ? std::string()
                    : link.iconLocation + "," + std::to_string(link.iconIndex));
  line("hot key:", HotKeyText(link.hotKey));
  line("show command:", std::to_string(link.showCommand));
  return out;
}

}  // namespace valise::tools
