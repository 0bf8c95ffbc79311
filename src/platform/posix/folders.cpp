// The folders of the virtual Windows: the Windows and system directories are where every prefix
// has them, and the shell's special folders are what the user's "Shell Folders" key says, as
// the shell reports them; a prefix without the value falls back to Wine's own layout.
#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "platform/host_paths.h"
#include "platform/posix/fs_internal.h"
#include "platform/posix/prefix.h"
#include "platform/posix/prefix_layout.h"
#include "platform/registry.h"
#include "platform/shell.h"

namespace valise::platform {

namespace {

// The value name under "Shell Folders" for a shell folder number.
const char* ShellFolderValue(int folder) {
  switch (folder) {
    case kFolderDesktop:
      return "Desktop";
    case kFolderPrograms:
      return "Programs";
    case kFolderDocuments:
      return "Personal";
    case kFolderStartup:
      return "Startup";
    case kFolderSendTo:
      return "SendTo";
    case kFolderStartMenu:
      return "Start Menu";
    case kFolderFonts:
      return "Fonts";
    default:
      return nullptr;
  }
}

constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::optional<std::string> FromRegistry(const char* name) {
  const std::optional<RegKey> key = RegKey::Open(RegRoot::CurrentUser, kShellFolders);
  if (!key) return std::nullopt;
  const std::optional<RegValue> value = key->Read(name);
  if (!value || value->text.empty()) return std::nullopt;
  if (value->type == RegType::String) return value->text;
  if (value->type == RegType::ExpandString) return ExpandEnvironmentStrings(value->text);
  return std::nullopt;
}

// The folder where a new prefix has it, made when it is missing (the shell makes its folders
// on demand too).
std::string FromLayout(const char* name) {
  for (const auto& key : posix::UserRegistry(posix::PrefixUserName())) {
    for (const auto& [valueName, path] : key.values) {
      if (valueName != name) continue;
      std::optional<std::string> host = posix::HostPathOf(path);
      if (!host) return {};
      std::error_code ignored;
      std::filesystem::create_directories(*host, ignored);
      return std::filesystem::is_directory(*host) ? path : std::string();
    }
  }
  return {};
}

}  // namespace

std::string GetWindowsDirectory() {
  (void)posix::PrefixDir();
  return posix::kWindowsDirectory;
}

std::string GetSystemDirectory() {
  (void)posix::PrefixDir();
  return posix::kSystemDirectory;
}

std::string GetSpecialFolderPath(int folder) {
  const char* name = ShellFolderValue(folder);
  if (name == nullptr) return {};
  if (std::optional<std::string> path = FromRegistry(name)) return *path;
  return FromLayout(name);
}

}  // namespace valise::platform
