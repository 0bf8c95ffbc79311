#include <algorithm>
#include <deque>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "setup/data_module.h"
#include "setup/file_work.h"
#include "setup/setup_registry.h"
#include "util/file_utils.h"

namespace valise::setup {

namespace {

constexpr int kDeleteAttempts = 4;
constexpr std::uint32_t kRetryWait = 500;

std::string UpperExtension(std::string_view path) {
  const std::string_view name = ExtractFileName(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : platform::UpperCase(name.substr(dot));
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

std::string FormatWithDrive(std::string_view format, char drive) {
  // The format comes from the product's text pool; it is never handed to printf, whose
  // conversions could read arguments that are not there.
  std::string text;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      text += format[i];
      continue;
    }
    if (format[i + 1] == '%') {
      text += '%';
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < format.size() && (format[j] == '-' || format[j] == '.' || format[j] == ':' ||
                                 (format[j] >= '0' && format[j] <= '9'))) {
      ++j;
    }
    if (j < format.size() &&
        ((format[j] >= 'a' && format[j] <= 'z') || (format[j] >= 'A' && format[j] <= 'Z'))) {
      text += drive;
      i = j;
    } else {
      text += format[i];
    }
  }
  return text;
}

void TSetupDataModule::Execute() {
  platform::SetCurrentDirectory(ProgramDir());
  if (!Silent) {
    ui_.SetProgressVisible(true);
    ui_.ProcessMessages();
  }
  {
    std::vector<TDriveSpace> spaces;
    GetRequiredSpace(spaces);
    if (!Silent) {
      for (const TDriveSpace& space : spaces) {
        const std::optional<std::uint64_t> free =
            platform::GetDiskFreeBytes(std::string(1, space.Drive) + ":");
        if (free && space.Bytes >= static_cast<std::int64_t>(*free)) {
          throw ESetup(FormatWithDrive(SOutOfDiskSpace, space.Drive));
        }
      }
    }
  }
  if (!Silent) ui_.SetProgressMax(static_cast<int>(Applications.size()));

  std::vector<TSetupApplication*> removed;
  for (std::size_t i = 0; i < Applications.size(); ++i) {
    TSetupApplication& app = *Applications[i];
    ui_.ProcessMessages();
    if (app.Selected && !app.Installed) {
      if (UsesBaggageMembers(app)) SelectBaggageOf(app);
      app.Install(RegRoot, RegBaseKey, ui_);
    } else if (!app.Selected && app.Installed) {
      RemoveApplicationFiles(app);
      removed.push_back(&app);
    }
    if (!Silent) ui_.SetProgressPosition(static_cast<int>(i));
  }
  RemoveDirectories(removed);
  DeleteRecords(removed);
  CleanMakerPlaces();

  if (!Silent) {
    ui_.SetProgressPosition(static_cast<int>(Applications.size()));
    ui_.ProcessMessages();
    ui_.WaitPumping(500);
    ui_.SetProgressVisible(false);
    ui_.ShowInformation(SSetupCompleted, MsgCaptionInformation);
  }
  if (!RegArgument.empty()) {
    for (const auto& app : Applications) {
      if (!app->Selected && platform::CompareTextIgnoreCase(app->RecordKey(), RegArgument) == 0) {
        ExitCode = kExitNamedRemoved;
      }
    }
  }
  if (LaunchAfterRun && !Launch.empty()) {
    std::string file = Launch;
    std::string parameters = LaunchParams;
    ExpandDirMacros(file);
    ExpandDirMacros(parameters);
    ShellExecuteFile(file, parameters, "", 1);
  }
}

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

void TSetupDataModule::RemoveApplicationFiles(TSetupApplication& app) {
  DebugLog("Uninstalling " + app.RecordKey() + " '" + app.Title + "'...");
  // The first try at each file runs on the file work's threads, a few files ahead; the log
  // line, the further tries with their waits and the progress follow here, file by file.
  TFileWork deletions;
  struct Ahead {
    std::size_t index;
    std::string name;
    std::string path;
  };
  std::deque<Ahead> ahead;
  const auto finishOldest = [&] {
    const Ahead& oldest = ahead.front();
    const bool deleted = deletions.TakeOldest();
    ui_.ProcessMessages();
    DebugLog("Deleting file " + std::to_string(oldest.index) + " " + oldest.name);
    ui_.ProcessMessages();
    if (!deleted) DeleteWithRetries(oldest.path, true);
    if (!Silent) ui_.SetProgressPosition(ui_.ProgressPosition() + 1);
    ahead.pop_front();
  };
  for (const auto& group : app.FileGroups) {
    for (std::size_t j = 0; j < group->Files.size(); ++j) {
      std::string path = IncludeTrailingBackslash(group->DestDir) + group->Files[j];
      deletions.Push([path] { return platform::DeleteFile(path); });
      ahead.push_back({j, group->Files[j], std::move(path)});
      deletions.MakeRoom(finishOldest);
    }
  }
  while (!ahead.empty()) finishOldest();
  for (std::size_t i = 0; i < app.DeleteFiles.size(); ++i) {
    DebugLog("Deleting deletefile " + std::to_string(i) + " " + app.DeleteFiles[i]);
    ui_.ProcessMessages();
    platform::DeleteFile(app.ExpandMacros(app.DeleteFiles[i]));
  }
  for (std::size_t j = 0; j < app.ShellLinks.size(); ++j) {
    const TSetupShellLink& link = *app.ShellLinks[j];
    if (!link.Remove) continue;
    ui_.ProcessMessages();
    const std::string name = link.RecordedFile();
    DebugLog("Removing shell link " + std::to_string(j) + " " + name);
    DeleteWithRetries(name);
  }
}

void TSetupDataModule::RemoveDirectories(const std::vector<TSetupApplication*>& removed) {
  std::vector<std::string> dirs;
  for (const TSetupApplication* app : removed) {
    for (const auto& group : app->FileGroups) AddSorted(dirs, group->DestDir);
  }
  for (auto dir = dirs.rbegin(); dir != dirs.rend(); ++dir) {
    DebugLog("Removing directory " + *dir);
    RemoveDirAndWait(ExcludeTrailingBackslash(*dir), 500);
  }
  dirs.clear();
  for (const TSetupApplication* app : removed) {
    for (const auto& link : app->ShellLinks) {
      AddSorted(dirs, std::string(ExtractFilePath(link->Folder)));
    }
  }
  for (auto dir = dirs.rbegin(); dir != dirs.rend(); ++dir) {
    const std::string folder = ExcludeTrailingBackslash(*dir);
    DebugLog("Removing shell folder " + folder);
    RemoveDirAndWait(folder, 500);
  }
}

void TSetupDataModule::DeleteRecords(const std::vector<TSetupApplication*>& removed) {
  for (const TSetupApplication* app : removed) {
    // A record is deleted under the key it was found, whatever its title says.
    const std::string name = !app->RecordKeyName.empty()
                                 ? app->RecordKeyName
                                 : (app->Version == -1 ? app->Title : app->RecordKey());
    const std::string path = RegBaseKey + "\\" + name;
    DebugLog("Deleting regkey " + path);
    platform::DeleteRegKeyTree(RegRoot, PlatformKeyPath(path));
  }
}

void TSetupDataModule::CleanMakerPlaces() {
  CleanShellFolder(GetSpecialFolder(2) + "\\Vantorel");
  platform::RemoveDirectory(GetProgramFilesDir() + "\\Vantorel");
  const std::string desktopLink = GetSpecialFolder(0) + "\\Vantorel.lnk";
  if (PathExists(desktopLink) && !DirExists(GetShellLinkTarget(desktopLink))) {
    platform::DeleteFile(desktopLink);
  }
  const std::optional<platform::RegKey> maker =
      platform::RegKey::Open(platform::RegRoot::CurrentUser, "Software\\Vantorel");
  if (!maker) return;
  for (const std::string& name : maker->SubKeyNames()) {
    const std::optional<platform::RegKey> sub =
        platform::RegKey::Open(platform::RegRoot::CurrentUser, "Software\\Vantorel\\" + name);
    if (!sub || sub->HasValue("Title") || sub->HasValue("InstallPath") ||
        sub->HasValue("InstallationPath") || sub->HasValue("RestartDialog")) {
      return;
    }
  }
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
