// Installing: an application's record, its file groups, shortcuts and registry entries, as the
// run's plan gives them.
#include <memory>
#include <optional>
#include <vector>

#include "baggage/bag_stream.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/version.h"
#include "setup/application.h"
#include "setup/error_place.h"
#include "setup/file_copier.h"
#include "setup/plan.h"
#include "setup/records.h"
#include "setup/setup_ui.h"
#include "setup/uninstall_entry.h"
#include "util/file_utils.h"
#include "util/integers.h"

namespace valise::setup {

namespace {

bool IsRelative(std::string_view path) {
  return !(path.size() >= 2 && path[1] == ':') && !(!path.empty() && IsPathSeparator(path[0]));
}

// Copies a file from the disk to the destination, which takes its name (replacing the file
// there) only when complete, with the source's time and attributes as a copy keeps them.
void CopyIntoPlace(const std::string& from, std::string_view destination) {
  const auto fail = [&](const OSError& error) {
    throw OSError(error.code(),
                  "Cannot copy " + from + " to " + std::string(destination) + ": " + error.what());
  };
  const std::optional<platform::FindEntry> info = platform::GetFileInfo(from);
  std::unique_ptr<platform::File> source;
  if (info) source = platform::File::OpenRead(from);
  if (!source) fail(platform::LastOSError());
  std::unique_ptr<platform::File> target = platform::File::CreateStaged(destination, true);
  if (!target) fail(platform::LastOSError());
  try {
    std::uint64_t copied = 0;
    while (const std::optional<std::size_t> got = target->CopyRangeFrom(*source, copied, 1 << 30)) {
      if (*got == 0) break;
      copied += *got;
    }
    std::vector<char> buffer(64 * 1024);
    while (const std::size_t got = source->ReadAt(copied, buffer.data(), buffer.size())) {
      target->Write(buffer.data(), got);
      copied += got;
    }
    target->SetLastWriteTime(info->lastWriteTime);
  } catch (const OSError& error) {
    fail(error);
  }
  if (!target->Commit()) fail(platform::LastOSError());
  constexpr std::uint32_t kKept =
      platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem;
  if (info->attributes & kKept) platform::SetFileAttributes(destination, info->attributes);
}

}  // namespace

namespace {

// How many of a group's file names the record holds before its copy starts.
std::size_t NamesRecordedAhead(const TPlannedApplication& planned, std::size_t group) {
  // Up to 4,096 names in all, the groups' first files first: a big application records the
  // rest as its copy goes on.
  constexpr std::size_t kNamesAhead = 4096;
  std::size_t before = 0;
  for (std::size_t g = 0; g < group; ++g) before += planned.Groups[g].Files.size();
  return before >= kNamesAhead ? 0
                               : std::min(planned.Groups[group].Files.size(), kNamesAhead - before);
}

}  // namespace

void TSetupApplication::RecordAhead(const TPlannedApplication& planned, const TRecordStore& records,
                                    const TUninstallOwner& owner) const {
  TSetupRegistry registry(records.Root());
  const std::string recordPath = records.RecordPath(AltRegKey.empty() ? RecordKey() : AltRegKey);
  DebugLog("Writing regkey " + recordPath);
  // The record is the first thing an installation writes: an account that may not write below
  // the records' root (a standard user's run of a product recorded below HKEY_LOCAL_MACHINE)
  // fails here, before anything has changed, and is told which key it could not write.
  try {
    registry.OpenKey(recordPath);
  } catch (const OSError& error) {
    throw OSError(error.code(), "Cannot write the installation record " +
                                    std::string(RootName(records.Root())) + "\\" +
                                    PlatformKeyPath(recordPath) + ": " + error.what());
  }
  registry.WriteString("Title", Title);
  // A later run finds the folder here for references to it ("[Application1.InstallDir]").
  registry.WriteString("InstallDir", GetInstallDir());
  if (!AltRegKey.empty()) registry.WriteInteger("AltRegKey", 1);
  // Until the install completes, the record says that it has not: a later run completes it.
  registry.WriteInteger(kIncompleteValue, 1);
  for (std::size_t i = 0; i < planned.DeleteFiles.size(); ++i)
    registry.WriteString("DeleteFile" + std::to_string(i + 1), planned.DeleteFiles[i]);
  for (std::size_t g = 0; g < planned.Groups.size(); ++g) {
    const std::string groupName = "FileGroup" + std::to_string(g + 1);
    registry.WriteString(groupName, planned.Groups[g].Dir);
    const std::size_t names = NamesRecordedAhead(planned, g);
    for (std::size_t i = 0; i < names; ++i) {
      registry.WriteString(groupName + "File" + std::to_string(i + 1),
                           planned.Groups[g].Files[i].Name);
    }
  }
  int links = 0;
  for (const TPlannedShortcut& shortcut : planned.Shortcuts) {
    if (shortcut.Link->Remove)
      registry.WriteString("ShellLink" + std::to_string(++links), shortcut.File);
  }
  registry.CloseKey();
  WriteUninstallEntry(*this, planned, records.Root(), owner);
}

void TSetupApplication::Install(const TPlannedApplication& planned, const TRecordStore& records,
                                TSetupUI& ui) const {
  try {
    InstallPlanned(planned, records, ui);
  } catch (...) {
    AddErrorPlace(ApplicationPlace(*this));
    throw;
  }
}

void TSetupApplication::InstallPlanned(const TPlannedApplication& planned,
                                       const TRecordStore& records, TSetupUI& ui) const {
  DebugLog((Incomplete ? "Completing " : "Installing ") + RecordKey() + " '" + Title + "'...");
  TSetupRegistry registry(records.Root());
  const std::string recordPath = records.RecordPath(AltRegKey.empty() ? RecordKey() : AltRegKey);
  registry.OpenKey(recordPath);
  for (const std::string& path : planned.DeleteFiles) platform::DeleteFile(path);
  TFileCopier copier(PlannedMembers(planned), ui);
  for (std::size_t g = 0; g < planned.Groups.size(); ++g) {
    ui.ProcessMessages();
    const TPlannedGroup& group = planned.Groups[g];
    WithErrorPlace(
        [&] {
          return "[Application" + std::to_string(ScriptIndex) + ".FileGroup" +
                 std::to_string(g + 1) + "] " + KeyPlace("DestDir", group.Group->DestDir) +
                 "; the folder " + group.Dir + (DirExists(group.Dir) ? "" : " could not be made");
        },
        [&] {
          group.Group->Install(group, static_cast<int>(g + 1), NamesRecordedAhead(planned, g),
                               registry, copier);
        });
  }
  for (std::size_t l = 0; l < planned.Shortcuts.size(); ++l) {
    ui.ProcessMessages();
    const TPlannedShortcut& shortcut = planned.Shortcuts[l];
    const std::string folder = ExcludeTrailingBackslash(ExtractFilePath(shortcut.File));
    WithErrorPlace(
        [&] {
          return "[Application" + std::to_string(ScriptIndex) + ".ShellLink" +
                 std::to_string(l + 1) + "] " + KeyPlace("Folder", shortcut.Link->Folder) +
                 "; the folder " + folder + (DirExists(folder) ? "" : " could not be made");
        },
        [&] { shortcut.Link->Install(shortcut.File); });
  }
  if (!planned.RegEntries.empty()) {
    // The record is stored before the entries move the registry object elsewhere; it stays
    // open, since an entry's relative key is taken below it.
    registry.Flush();
    for (const TSetupRegEntry* entry : planned.RegEntries) {
      ui.ProcessMessages();
      WriteRegEntry(*entry, registry, recordPath);
    }
    registry.SetRoot(records.Root());
    registry.OpenKey("\\" + recordPath);
  }
  // Complete: the mark goes in the record's next store.
  registry.DeleteValue(kIncompleteValue);
  registry.CloseKey();
}

void TSetupApplication::WriteRegEntry(const TSetupRegEntry& entry, TSetupRegistry& registry,
                                      std::string_view recordPath) const {
  std::string key = ExpandMacros(entry.Key);
  // An empty key names the record's key of the same name below the entry's own root.
  if (key.empty()) key = std::string(recordPath);
  registry.SetRoot(entry.Root);
  try {
    registry.OpenKey(key);
  } catch (const OSError& error) {
    throw OSError(error.code(), "Cannot open the registry key " +
                                    std::string(RootName(entry.Root)) + "\\" +
                                    PlatformKeyPath(key) + ": " + error.what());
  }
  const std::string name = ExpandMacros(entry.Name);
  const std::string value = ExpandMacros(entry.Value);
  if (entry.DataType == rdString || entry.DataType == rdExpandString ||
      entry.DataType == rdInteger) {
    DebugLog("Writing registry value " + std::string(RootName(entry.Root)) + "\\" +
             PlatformKeyPath(key) + " " + name);
  }
  switch (entry.DataType) {
    case rdString:
      registry.WriteString(name, value);
      break;
    case rdExpandString:
      registry.WriteExpandString(name, value);
      break;
    case rdInteger:
      registry.WriteInteger(name, StrToInt(value));
      break;
    default:
      // rdUnknown, rdBinary and unknown names open the key and write nothing.
      break;
  }
}

std::string TSetupFileGroup::SourcePath(std::string_view file) const {
  if (SourceDir.empty() || !IsRelative(file)) return std::string(file);
  return IncludeTrailingBackslash(SourceDir) + std::string(file);
}

std::string TSetupFileGroup::ExpandedDestDir() const {
  std::string dir = DestDir;
  if (OnExpand) OnExpand(dir);
  return dir;
}

void TSetupFileGroup::Install(const TPlannedGroup& planned, int number, std::size_t recordedAhead,
                              TSetupRegistry& registry, TFileCopier& copier) const {
  const std::string groupName = "FileGroup" + std::to_string(number);
  // The group's folder and first files are recorded (and stored) before any of them is made.
  copier.BeginGroup(*this, groupName, registry, planned.Files, recordedAhead);
  // A folder this run makes holds no leftovers to look for.
  const bool existed = DirExists(planned.Dir);
  ForceDirs(planned.Dir);
  if (existed) DeleteTemporaryFiles(planned.Dir);
  for (std::size_t i = 0; i < planned.Files.size(); ++i) copier.Add(i, planned.Files[i]);
  copier.EndGroup();
}

bool TSetupFileGroup::ReplacesExisting(std::string_view from, std::string_view destination) const {
  switch (UpdateMethod) {
    case updVersion: {
      const std::optional<platform::FileVersion> target = platform::GetFileVersion(destination);
      if (!target) return true;
      const std::optional<platform::FileVersion> offered = platform::GetFileVersion(from);
      return offered &&
             (offered->ms > target->ms || (offered->ms == target->ms && offered->ls >= target->ls));
    }
    case updDate:
      return GetFileCreationTime(from) >= GetFileCreationTime(destination);
    case updAlways:
      return true;
    default:
      // updNever, and a method the script named wrongly, keep the existing file.
      return false;
  }
}

void TSetupFileGroup::InstallFile(std::string_view source, std::string_view destination) const {
  if (!source.empty() && source.front() == '@') {
    BagCopyFile(source.substr(1), destination);
    return;
  }
  const std::string from = SourcePath(source);
  const bool copy = !PathExists(destination) || ReplacesExisting(from, destination);
  if (copy) CopyIntoPlace(from, destination);
}

std::string TSetupShellLink::PlannedFile() const {
  return IncludeTrailingBackslash(ExpandedFolder()) + ExpandedDescription() +
         (IsInternetShortcut() ? ".url" : ".lnk");
}

void TSetupShellLink::Install(const std::string& path) const {
  DebugLog("Creating shell link " + path);
  ForceDirs(ExcludeTrailingBackslash(ExtractFilePath(path)));
  if (IsInternetShortcut()) {
    const std::string text = platform::Utf8ToAnsi("[InternetShortcut]\r\nURL=" + Command + "\r\n");
    std::unique_ptr<platform::File> file = platform::File::Create(path);
    if (!file) {
      const OSError error = platform::LastOSError();
      throw OSError(error.code(), "Cannot create " + path + ": " + error.what());
    }
    file->Write(text.data(), text.size());
    return;
  }
  TShellLink link;
  link.Arguments = CommandParams;
  link.ShowCmd = ShowCmd;
  link.WorkingDirectory = WorkDir;
  link.Target = ExpandedCommand();
  link.IconLocation = ExpandedIconLocation();
  link.IconIndex = IconIndex;
  link.HotKey = ShortCut;
  WriteShellLinkFile(link, path);
}

}  // namespace valise::setup
