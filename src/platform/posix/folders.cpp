// The folders of the virtual Windows: the Windows and system directories are where every prefix
// has them, and the shell's special folders are what the user's "Shell Folders" key says, as
// the shell reports them; a prefix without the value falls back to Wine's own layout.
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "platform/host_paths.h"
#include "platform/posix/fs_internal.h"
#include "platform/posix/prefix.h"
#include "platform/posix/prefix_layout.h"
#include "platform/registry.h"
#include "platform/shell.h"

namespace valise::platform {

namespace {

// The value name under "Shell Folders" for a shell folder number; the folders of all users are
// in HKEY_LOCAL_MACHINE's key, the others in the user's.
const char* ShellFolderValue(int folder) {
  switch (folder) {
    case kFolderLocalAppData:
      return "Local AppData";
    case kFolderCommonAppData:
      return "Common AppData";
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

RegRoot ShellFolderRoot(int folder) {
  return folder == kFolderCommonAppData ? RegRoot::LocalMachine : RegRoot::CurrentUser;
}

std::optional<std::string> FromRegistry(RegRoot root, const char* name) {
  const std::optional<RegKey> key = RegKey::Open(root, kShellFolders);
  if (!key) return std::nullopt;
  const std::optional<RegValue> value = key->Read(name);
  if (!value || value->text.empty()) return std::nullopt;
  if (value->type == RegType::String) return value->text;
  if (value->type == RegType::ExpandString) return ExpandEnvironmentStrings(value->text);
  return std::nullopt;
}

// The folder where a new prefix has it, made when it is missing (the shell makes its folders
// on demand too).
std::string FromLayout(RegRoot root, const char* name) {
  const std::vector<posix::RegFileKey> keys = root == RegRoot::LocalMachine
                                                  ? posix::MachineRegistry()
                                                  : posix::UserRegistry(posix::PrefixUserName());
  for (const auto& key : keys) {
    if (key.path != kShellFolders) continue;
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
  const RegRoot root = ShellFolderRoot(folder);
  if (std::optional<std::string> path = FromRegistry(root, name)) return *path;
  return FromLayout(root, name);
}

}  // namespace valise::platform
