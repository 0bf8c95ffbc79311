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
#include "util/file_utils.h"

namespace valise::setup {

namespace {

constexpr int kDeleteAttempts = 4;
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

}  // namespace

bool TSetupDataModule::DeleteWithRetries(const std::string& path, bool firstAttemptFailed) {
  if (!firstAttemptFailed && platform::DeleteFile(path)) return true;
  for (int attempt = 2; attempt <= kDeleteAttempts; ++attempt) {
    ui_.WaitPumping(kRetryWait);
    if (platform::DeleteFile(path)) return true;
  }
  // A file that does not exist is gone already.
  if (!platform::GetFileAttributes(path)) return true;
  DebugLog("Left in place: " + path);
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
    const TPlannedFile* file;
  };
  std::deque<Ahead> ahead;
  const auto finishOldest = [&] {
    const Ahead& oldest = ahead.front();
    const bool deleted = deletions.TakeOldest();
    ui_.ProcessMessages();
    DebugLog("Deleting file " + std::to_string(oldest.index) + " " + oldest.file->Name);
    ui_.ProcessMessages();
    if (!deleted) DeleteWithRetries(oldest.file->Destination, true);
    if (!CommandLine.Silent) ui_.SetProgressPosition(ui_.ProgressPosition() + 1);
    ahead.pop_front();
  };
  for (const TPlannedGroup& group : planned.Groups) {
    for (std::size_t j = 0; j < group.Files.size(); ++j) {
      const TPlannedFile& file = group.Files[j];
      deletions.Push([path = file.Destination] { return platform::DeleteFile(path); });
      ahead.push_back({j, &file});
      deletions.MakeRoom(finishOldest);
    }
  }
  while (!ahead.empty()) finishOldest();
  for (std::size_t i = 0; i < planned.DeleteFiles.size(); ++i) {
    DebugLog("Deleting deletefile " + std::to_string(i) + " " + planned.DeleteFiles[i]);
    ui_.ProcessMessages();
    platform::DeleteFile(planned.DeleteFiles[i]);
  }
  for (std::size_t j = 0; j < planned.Shortcuts.size(); ++j) {
    ui_.ProcessMessages();
    const std::string& name = planned.Shortcuts[j].File;
    DebugLog("Removing shell link " + std::to_string(j) + " " + name);
    DeleteWithRetries(name);
  }
}

void TSetupDataModule::RemoveDirectories(const std::vector<const TPlannedApplication*>& removed) {
  std::vector<std::string> dirs;
  for (const TPlannedApplication* planned : removed) {
    for (const TPlannedGroup& group : planned->Groups) AddSorted(dirs, group.Dir);
  }
  for (auto dir = dirs.rbegin(); dir != dirs.rend(); ++dir) {
    DebugLog("Removing directory " + *dir);
    RemoveDirAndWait(ExcludeTrailingBackslash(*dir), 500);
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
    RemoveDirAndWait(folder, 500);
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
    DebugLog("Deleting regkey " + records.RecordPath(name));
    records.Delete(name);
  }
}

void TSetupDataModule::CleanMakerPlaces() {
  CleanShellFolder(GetSpecialFolder(platform::kFolderPrograms) + "\\Vantorel");
  platform::RemoveDirectory(GetProgramFilesDir() + "\\Vantorel");
  const std::string desktopLink = GetSpecialFolder(platform::kFolderDesktop) + "\\Vantorel.lnk";
  if (PathExists(desktopLink) && !DirExists(GetShellLinkTarget(desktopLink))) {
    platform::DeleteFile(desktopLink);
  }
  if (!OpenKeyForReading(platform::RegRoot::CurrentUser, "Software\\Vantorel")) return;
  if (HoldsRecords(platform::RegRoot::CurrentUser, "Software\\Vantorel")) return;
  platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, "Software\\Vantorel");
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
  if (IsDirEmpty(dir)) RemoveDirAndWait(dir, 500);
}

}  // namespace valise::setup
