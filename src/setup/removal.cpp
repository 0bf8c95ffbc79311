// Removal: the files, delete-files and shortcuts of each application as its record gives them,
// then the folders, the records, and the maker's shared places.
#include <algorithm>
#include <deque>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "setup/data_module.h"
#include "setup/file_work.h"
#include "setup/records.h"
#include "setup/uninstall_entry.h"
#include "util/file_utils.h"

namespace valise::setup {

namespace {

constexpr int kDeleteAttempts = 4;
constexpr const char* kMakerKey = "Software\\Vantorel";
constexpr std::uint32_t kRetryWait = 500;

std::string UpperExtension(std::string_view path) {
  return platform::UpperCase(ExtractFileExt(path));
}

// Adds a folder to a list kept sorted without regard to case and without duplicates.
void AddSorted(std::vector<std::string>& list, std::string folder) {
  const auto less = [](const std::string& a, const std::string& b) {
    return platform::CompareTextIgnoreCase(a, b) < 0;
  };
  const auto at = std::lower_bound(list.begin(), list.end(), folder, less);
  if (at != list.end() && platform::CompareTextIgnoreCase(*at, folder) == 0) return;
  list.insert(at, std::move(folder));
}

// The folders removal never removes, whatever a record or a script asks: the system's and the
// user's special folders and every folder above them (the profile, "Program Files", a drive's
// root), in upper case without a trailing backslash.
std::vector<std::string> SystemFolders() {
  std::vector<std::string> folders;
  const auto add = [&](const std::string& path) {
    std::string folder = platform::UpperCase(ExcludeTrailingBackslash(path));
    while (!folder.empty()) {
      folders.push_back(folder);
      const std::string parent = ExcludeTrailingBackslash(ExtractFilePath(folder));
      if (parent.size() >= folder.size()) break;
      folder = parent;
    }
  };
  for (platform::SpecialFolder folder :
       {platform::kFolderDesktop, platform::kFolderPrograms, platform::kFolderStartup,
        platform::kFolderSendTo, platform::kFolderStartMenu, platform::kFolderFonts,
        platform::kFolderDocuments}) {
    add(GetSpecialFolder(folder));
  }
  add(GetProgramFilesDir());
  add(GetCommonFilesDir());
  add(GetWindowsDir());
  add(GetSystemDir());
  return folders;
}

}  // namespace

bool TSetupDataModule::IsSystemFolder(std::string_view dir) {
  if (systemFolders_.empty()) systemFolders_ = SystemFolders();
  const std::string folder = platform::UpperCase(ExcludeTrailingBackslash(dir));
  // A drive's root, a share's root, or no folder at all.
  if (folder.size() <= 2 || folder == ExtractFileDrive(folder)) return true;
  return std::find(systemFolders_.begin(), systemFolders_.end(), folder) != systemFolders_.end();
}

bool TSetupDataModule::RemoveFolder(const std::string& dir) {
  const std::string folder = ExcludeTrailingBackslash(dir);
  if (IsSystemFolder(folder)) {
    DebugLog("Left in place: " + folder + " (a folder of the system)");
    return false;
  }
  if (RemoveDirAndWait(folder, 500)) return true;
  if (!DirExists(folder)) return false;
  const auto waiting = [&](const std::string& other) {
    return platform::CompareTextIgnoreCase(other, folder) == 0;
  };
  // A folder that holds only what goes at the next restart goes then too (after its files, in
  // the order asked); its parent may then follow.
  if (std::any_of(restartFolders_.begin(), restartFolders_.end(), waiting) &&
      platform::DeleteAtRestart(folder)) {
    DebugLog("Deleting at the next restart: " + folder);
    restartFolders_.push_back(ExcludeTrailingBackslash(ExtractFilePath(folder)));
    return false;
  }
  DebugLog("Left in place: " + folder);
  return false;
}

namespace {

TWorkResult DeleteRecordedFile(const std::string& folder, const std::string& name) {
  const platform::DeleteResult result = platform::DeleteFileInFolder(folder, name);
  return {result.removed(), result.error};
}

}  // namespace

bool TSetupDataModule::DeleteWithRetries(const std::string& folder, const std::string& name,
                                         std::optional<TWorkResult> first) {
  TWorkResult result = first ? *first : DeleteRecordedFile(folder, name);
  for (int attempt = 1;; ++attempt) {
    // A file that is not there counts as removed at once: only a file that stays is worth
    // waiting for (a program that still holds it open).
    if (result.done) return true;
    if (result.error == platform::kErrorReparsePointEncountered || attempt >= kDeleteAttempts) {
      break;
    }
    ui_.WaitPumping(kRetryWait);
    result = DeleteRecordedFile(folder, name);
  }
  const std::string path = IncludeTrailingBackslash(folder) + name;
  // A file still in use goes when the system next starts, where the account may ask for that
  // (never through a link in place of its folder, nor a folder standing where the file was).
  const std::optional<std::uint32_t> attributes = platform::GetFileAttributes(path);
  if (result.error != platform::kErrorReparsePointEncountered && attributes &&
      (*attributes & platform::kAttrDirectory) == 0 && platform::DeleteAtRestart(path)) {
    DebugLog("Deleting at the next restart: " + path + " (" +
             platform::SystemErrorMessage(result.error) + ")");
    restartFolders_.push_back(ExcludeTrailingBackslash(folder));
    return false;
  }
  DebugLog("Left in place: " + path + ": " + platform::SystemErrorMessage(result.error));
  return false;
}

void TSetupDataModule::RemoveApplicationFiles(const TPlannedApplication& planned) {
  const TSetupApplication& app = *planned.App;
  DebugLog("Uninstalling " + app.RecordKey() + " '" + app.Title + "'...");
  // The first try at each file runs on the file work's threads, a few files ahead; the log
  // line, the further tries with their waits and the progress follow here, file by file.
  TFileWork deletions;
  struct Ahead {
    std::size_t index;
    const std::string& folder;
    const TPlannedFile* file;
  };
  std::deque<Ahead> ahead;
  const auto finishOldest = [&] {
    const Ahead& oldest = ahead.front();
    const TWorkResult first = deletions.TakeOldest();
    ui_.ProcessMessages();
    DebugLog("Deleting file " + std::to_string(oldest.index) + " " + oldest.file->Name);
    ui_.ProcessMessages();
    DeleteWithRetries(oldest.folder, oldest.file->Name, first);
    if (!CommandLine.Silent) ui_.SetProgressPosition(ui_.ProgressPosition() + 1);
    ahead.pop_front();
  };
  for (const TPlannedGroup& group : planned.Groups) {
    for (std::size_t j = 0; j < group.Files.size(); ++j) {
      const TPlannedFile& file = group.Files[j];
      // Inside its recorded folder, never through a link standing in place of it.
      deletions.Push(
          [&folder = group.Dir, &name = file.Name] { return DeleteRecordedFile(folder, name); });
      ahead.push_back({j, group.Dir, &file});
      deletions.MakeRoom(finishOldest);
    }
  }
  while (!ahead.empty()) finishOldest();
  for (std::size_t i = 0; i < planned.DeleteFiles.size(); ++i) {
    DebugLog("Deleting deletefile " + std::to_string(i) + " " + planned.DeleteFiles[i]);
    ui_.ProcessMessages();
    const std::string& path = planned.DeleteFiles[i];
    DeleteRecordedFile(std::string(ExtractFilePath(path)), std::string(ExtractFileName(path)));
  }
  for (std::size_t j = 0; j < planned.Shortcuts.size(); ++j) {
    ui_.ProcessMessages();
    const std::string& name = planned.Shortcuts[j].File;
    DebugLog("Removing shell link " + std::to_string(j) + " " + name);
    DeleteWithRetries(std::string(ExtractFilePath(name)), std::string(ExtractFileName(name)));
  }
}

void TSetupDataModule::RemoveDirectories(const std::vector<const TPlannedApplication*>& removed) {
  std::vector<std::string> dirs;
  for (const TPlannedApplication* planned : removed) {
    for (const TPlannedGroup& group : planned->Groups) {
      if (!group.Dir.empty()) AddSorted(dirs, group.Dir);
    }
  }
  for (auto dir = dirs.rbegin(); dir != dirs.rend(); ++dir) {
    DebugLog("Removing directory " + *dir);
    // What a killed copy left there would keep the folder for ever.
    DeleteTemporaryFiles(*dir);
    RemoveFolder(*dir);
  }
  dirs.clear();
  for (const TPlannedApplication* planned : removed) {
    for (const TPlannedShortcut& shortcut : planned->Shortcuts) {
      AddSorted(dirs, std::string(ExtractFilePath(shortcut.Link->Folder)));
    }
  }
  for (auto dir = dirs.rbegin(); dir != dirs.rend(); ++dir) {
    const std::string folder = ExcludeTrailingBackslash(*dir);
    DebugLog("Removing shell folder " + folder);
    RemoveFolder(folder);
  }
}

void TSetupDataModule::DeleteRecords(const std::vector<const TPlannedApplication*>& removed) {
  const TRecordStore records = Records();
  for (const TPlannedApplication* planned : removed) {
    const TSetupApplication& app = *planned->App;
    // A record is deleted under the key it was found, whatever its title says.
    const std::string name = !app.RecordKeyName.empty()
                                 ? app.RecordKeyName
                                 : (app.Version == -1 ? app.Title : app.RecordKey());
    const std::string path = records.RecordPath(name);
    // The entry goes first: a run stopped between the two leaves a record that the next removal
    // finishes, where an entry without its record could only be removed with the script.
    if (!DeleteUninstallEntry(records.Root(), name)) {
      ExitCode = kExitFailed;
      continue;
    }
    DebugLog("Deleting regkey " + path);
    // A record that stays names files that are gone: the next run would find it again.
    if (!records.Delete(name)) {
      const OSError error = platform::LastOSError();
      if (OpenKeyForReading(records.Root(), path)) {
        DebugLog("Error: Cannot delete the record " + path + ": " + error.what());
        ExitCode = kExitFailed;
        continue;
      }
    }
    planned->App->Installed = false;
    planned->App->RecordKeyName.clear();
  }
}

void TSetupDataModule::CleanMakerPlaces(bool removedMakerRecords) {
  CleanShellFolder(GetSpecialFolder(platform::kFolderPrograms) + "\\Vantorel");
  platform::RemoveDirectory(GetProgramFilesDir() + "\\Vantorel");
  const std::string desktopLink = GetSpecialFolder(platform::kFolderDesktop) + "\\Vantorel.lnk";
  if (PathExists(desktopLink) && !DirExists(GetShellLinkTarget(desktopLink))) {
    platform::DeleteFile(desktopLink);
  }
  // The maker's key may hold other products' settings: it goes only after a run that removed a
  // record below it, and only when no record is left there.
  if (!removedMakerRecords) return;
  if (!OpenKeyForReading(platform::RegRoot::CurrentUser, kMakerKey)) return;
  if (HoldsRecords(platform::RegRoot::CurrentUser, kMakerKey)) return;
  DebugLog("Deleting regkey HKEY_CURRENT_USER\\" + std::string(kMakerKey));
  platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, kMakerKey);
}

void TSetupDataModule::CleanShellFolder(const std::string& dir) {
  bool keep = false;
  const std::string folder = IncludeTrailingBackslash(dir);
  platform::FindFiles(folder + "*.*", [&](const platform::FindEntry& entry) {
    if (entry.attributes & platform::kAttrDirectory) {
      CleanShellFolder(folder + entry.name);
    } else if (!keep && UpperExtension(entry.name) == ".LNK") {
      const std::string target = GetShellLinkTarget(folder + entry.name);
      const std::string name = platform::UpperCase(ExtractFileName(target));
      if (UpperExtension(target) == ".EXE" && name != "SETUP.EXE" && name != "CALIBRAT.EXE") {
        keep = true;
      }
    }
    return true;
  });
  if (keep) return;
  for (const platform::FindEntry& entry : platform::FindFiles(folder + "*.*")) {
    if (entry.attributes & platform::kAttrDirectory) continue;
    const std::string extension = UpperExtension(entry.name);
    if (extension == ".LNK" || extension == ".URL") platform::DeleteFile(folder + entry.name);
  }
  if (IsDirEmpty(dir) && !IsSystemFolder(dir)) RemoveDirAndWait(dir, 500);
}

}  // namespace valise::setup
