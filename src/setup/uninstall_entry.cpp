#include "setup/uninstall_entry.h"

#include <cstdint>
#include <ctime>
#include <optional>

#include "baggage/baggage.h"
#include "platform/text.h"
#include "setup/application.h"
#include "setup/plan.h"
#include "util/file_utils.h"
#include "util/paths.h"

namespace valise::setup {

namespace {

// Today's local date as the list of installed programs shows it: "yyyymmdd".
std::string LocalDate() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (local == nullptr) return {};
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d", local);
  return text;
}

// The bytes of the files an install brings, in KiB rounded up: what the list shows as the size.
std::uint32_t EstimatedKiB(const TPlannedApplication& planned) {
  std::uint64_t bytes = 0;
  for (const TPlannedGroup& group : planned.Groups) {
    for (const TPlannedFile& file : group.Files) {
      const std::string_view source = file.Source;
      if (!source.empty() && source.front() == '@') {
        bytes += BagFileSize(source.substr(1));
      } else {
        const std::int64_t size = GetFileSizeByName(group.Group->SourcePath(source));
        if (size > 0) bytes += static_cast<std::uint64_t>(size);
      }
    }
  }
  const std::uint64_t kib = (bytes + 1023) / 1024;
  return kib > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(kib);
}

// The icon the list shows for the application: the one its first shortcut with an icon names
// ("PATH,INDEX"), else the program its first shortcut to a program starts; the user knows the
// application by that icon from the start menu. Empty when no shortcut gives one.
std::string DisplayIcon(const TPlannedApplication& planned) {
  for (const TPlannedShortcut& shortcut : planned.Shortcuts) {
    if (shortcut.Link->IconLocation.empty()) continue;
    return shortcut.Link->ExpandedIconLocation() + "," + std::to_string(shortcut.Link->IconIndex);
  }
  for (const TPlannedShortcut& shortcut : planned.Shortcuts) {
    if (shortcut.Link->IsInternetShortcut()) continue;
    const std::string command = shortcut.Link->ExpandedCommand();
    if (platform::UpperCase(ExtractFileExt(command)) == ".EXE") return command;
  }
  return {};
}

std::string Quoted(std::string_view program) {
  return "\"" + std::string(program) + "\"";
}

// Whether the entry of that record below `root` is one this program wrote: its silent command
// removes that very record. Throws what reading the registry throws.
bool IsOwnEntry(platform::RegRoot root, std::string_view recordName) {
  const std::optional<platform::RegKey> key =
      platform::RegKey::Open(root, UninstallEntryPath(recordName));
  if (!key) return false;
  const std::optional<platform::RegValue> quiet = key->Read("QuietUninstallString");
  const std::string suffix = platform::UpperCase(" /remove=" + std::string(recordName));
  const std::string command = quiet ? platform::UpperCase(quiet->text) : std::string();
  return command.size() >= suffix.size() &&
         command.compare(command.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::string UninstallEntryPath(std::string_view recordName) {
  return std::string(kUninstallKey) + "\\" + std::string(recordName);
}

std::string UninstallCommand(std::string_view program, std::string_view recordName) {
  return Quoted(program) + " /remove=" + std::string(recordName);
}

std::string QuietUninstallCommand(std::string_view program, std::string_view recordName) {
  return Quoted(program) + " /silent /nomsg /remove=" + std::string(recordName);
}

void WriteUninstallEntry(const TSetupApplication& app, const TPlannedApplication& planned,
                         platform::RegRoot root, const TUninstallOwner& owner) {
  const std::string name = app.AltRegKey.empty() ? app.RecordKey() : app.AltRegKey;
  const std::string path = UninstallEntryPath(name);
  DebugLog("Writing the uninstall entry " + path);
  platform::RegKey key = platform::RegKey::Create(root, path);
  key.WriteString("DisplayName", app.Title.empty() ? name : app.Title);
  key.WriteString("DisplayVersion",
                  app.ProductVersion.empty() ? std::to_string(app.Version) : app.ProductVersion);
  if (!owner.Publisher.empty()) key.WriteString("Publisher", owner.Publisher);
  key.WriteString("InstallLocation", app.GetInstallDir());
  key.WriteString("InstallDate", LocalDate());
  key.WriteDWord("EstimatedSize", EstimatedKiB(planned));
  if (const std::string icon = DisplayIcon(planned); !icon.empty()) {
    key.WriteString("DisplayIcon", icon);
  }
  key.WriteString("UninstallString", UninstallCommand(owner.Program, name));
  key.WriteString("QuietUninstallString", QuietUninstallCommand(owner.Program, name));
  key.WriteDWord("NoModify", 1);
  key.WriteDWord("NoRepair", 1);
  key.Close();
}

bool HasUninstallEntry(std::string_view recordName) {
  for (platform::RegRoot root : {platform::RegRoot::CurrentUser, platform::RegRoot::LocalMachine}) {
    try {
      if (IsOwnEntry(root, recordName)) return true;
    } catch (const std::exception&) {
      // An entry that cannot be read tells nothing.
    }
  }
  return false;
}

bool DeleteUninstallEntry(platform::RegRoot root, std::string_view recordName) {
  const std::string path = UninstallEntryPath(recordName);
  try {
    // Only an entry whose silent command removes this very record is this program's.
    if (!IsOwnEntry(root, recordName)) return true;
  } catch (const std::exception& error) {
    DebugLog("Error: Cannot read the uninstall entry " + path + ": " + error.what());
    return false;
  }
  DebugLog("Deleting the uninstall entry " + path);
  if (platform::DeleteRegKeyTree(root, path)) return true;
  const OSError error = platform::LastOSError();
  if (!platform::RegKey::Open(root, path)) return true;
  DebugLog("Error: Cannot delete the uninstall entry " + path + ": " + error.what());
  return false;
}

}  // namespace valise::setup
