#include "setup/plan.h"

#include <algorithm>

#include "baggage/baggage.h"
#include "setup/data_module.h"
#include "setup/error_place.h"
#include "util/file_utils.h"

namespace valise::setup {

namespace {

bool IsMember(std::string_view source) {
  return !source.empty() && source.front() == '@';
}

// The name a file group's entry is installed and recorded under: its last component, without
// the "@" of a member.
std::string InstalledName(std::string_view entry) {
  std::string_view name = ExtractFileName(entry);
  if (!name.empty() && name.front() == '@') name.remove_prefix(1);
  return std::string(name);
}

TPlannedGroup PlanGroup(const TSetupFileGroup& group, std::string dir, bool installing) {
  TPlannedGroup planned;
  planned.Group = &group;
  planned.Dir = std::move(dir);
  const std::string folder = IncludeTrailingBackslash(planned.Dir);
  planned.Files.reserve(group.Files.size());
  for (const std::string& entry : group.Files) {
    TPlannedFile file;
    file.Source = entry;
    file.Name = installing ? InstalledName(entry) : entry;
    file.Destination = folder + file.Name;
    planned.Files.push_back(std::move(file));
  }
  return planned;
}

// How an error names an application: its title, or its section when it has none.
std::string ApplicationName(const TSetupApplication& app) {
  if (!app.Title.empty()) return "'" + app.Title + "'";
  return "Application" + std::to_string(app.ScriptIndex);
}

// A folder or file the run writes or deletes must be an absolute path on a lettered drive:
// anything else would land wherever the program happens to run.
void CheckDestination(const TSetupApplication& app, const std::string& path, std::string_view raw) {
  if (IsAbsoluteDrivePath(path)) return;
  throw ESetup("Invalid path " + path + " (application " + ApplicationName(app) + ": '" +
               std::string(raw) + "')");
}

// "[Application1.FileGroup2]": a sub-section of the application's section.
std::string SubSection(const TSetupApplication& app, std::string_view kind, std::size_t number) {
  return "[Application" + std::to_string(app.ScriptIndex) + "." + std::string(kind) +
         std::to_string(number) + "]";
}

// A member of the current baggage must be there before anything is installed: otherwise the
// install would stop half-way at it, with "File NAME not found.".
void CheckMember(const TSetupApplication& app, std::size_t group, std::string_view source,
                 const TCurrentBaggage& baggage) {
  const std::string_view name = source.substr(1);
  if (BagFindEntry(name) >= 0) return;
  WithErrorPlace(
      [&] {
        return SubSection(app, "FileGroup", group) + " " + std::string(source) + "; " +
               baggage.Place() + " has no member " + std::string(ExtractFileName(name));
      },
      [&] { BagFileName(name); });
}

}  // namespace

bool InstallsAny(const TSetupPlan& plan) {
  return std::any_of(
      plan.Applications.begin(), plan.Applications.end(),
      [](const TPlannedApplication& planned) { return planned.Action == TPlanAction::Install; });
}

int FindDriveEntry(const std::vector<TDriveSpace>& list, char letter) {
  const auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (upper(list[i].Drive) == upper(letter)) return static_cast<int>(i);
  }
  return -1;
}

TSetupPlan TSetupDataModule::BuildPlan() {
  TSetupPlan plan;
  const auto entry = [&](const std::string& drive) -> TDriveSpace& {
    int index = FindDriveEntry(plan.Space, drive[0]);
    if (index < 0) {
      plan.Space.push_back({drive[0], 0});
      index = static_cast<int>(plan.Space.size()) - 1;
    }
    return plan.Space[static_cast<std::size_t>(index)];
  };
  // The entry of the drive a path lies on; none for a path without a drive letter.
  const auto spaceOf = [&](const std::string& path) -> TDriveSpace* {
    const std::string drive = ExtractFileDrive(path);
    return drive.size() == 2 ? &entry(drive) : nullptr;
  };
  const auto sizeOrZero = [](std::string_view path) {
    const std::int64_t size = GetFileSizeByName(path);
    return size < 0 ? 0 : size;
  };
  for (const auto& owned : Applications) {
    ui_.ProcessMessages();
    try {
      // An install that did not finish, offered again and kept, is installed again over what is
      // there; removed, it is removed as its record gives it.
      const bool completing =
          owned->Selected && owned->Installed && owned->Offered && !owned->Offered->Installed;
      TSetupApplication& app = completing ? *owned->Offered : *owned;
      TPlannedApplication planned;
      planned.App = &app;
      if (completing || (app.Selected && !app.Installed)) {
        planned.Action = TPlanAction::Install;
        if (UsesBaggageMembers(app)) {
          WithErrorPlace([&] { return KeyPlace("Baggage", app.Baggage); },
                         [&] { SelectBaggageOf(app); });
        }
        if (!app.InstallDir.empty()) {
          WithErrorPlace([&] { return KeyPlace("InstallDir", app.InstallDir); },
                         [&] { CheckDestination(app, app.GetInstallDir(), app.InstallDir); });
        }
        for (std::size_t i = 0; i < app.DeleteFiles.size(); ++i) {
          const std::string& file = app.DeleteFiles[i];
          WithErrorPlace([&] { return KeyPlace("DeleteFile" + std::to_string(i + 1), file); },
                         [&] {
                           planned.DeleteFiles.push_back(app.ExpandMacros(file));
                           CheckDestination(app, planned.DeleteFiles.back(), file);
                         });
        }
        for (const auto& group : app.FileGroups) {
          const std::size_t number = planned.Groups.size() + 1;
          WithErrorPlace(
              [&] {
                return SubSection(app, "FileGroup", number) + " " +
                       KeyPlace("DestDir", group->DestDir);
              },
              [&] {
                planned.Groups.push_back(PlanGroup(*group, group->ExpandedDestDir(), true));
                CheckDestination(app, planned.Groups.back().Dir, group->DestDir);
              });
          for (const TPlannedFile& file : planned.Groups.back().Files) {
            if (!IsBareName(file.Name)) {
              throw ESetup("Invalid file name '" + file.Source + "' (application " +
                           ApplicationName(app) + ")");
            }
            if (IsMember(file.Source)) CheckMember(app, number, file.Source, baggage_);
          }
          TDriveSpace* space = spaceOf(planned.Groups.back().Dir);
          if (space == nullptr) continue;
          for (const TPlannedFile& file : planned.Groups.back().Files) {
            ui_.ProcessMessages();
            if (IsMember(file.Source)) {
              space->Bytes += BagFileSize(std::string_view(file.Source).substr(1));
            } else {
              // What a file from the disk needs is the size of its source.
              space->Bytes += GetFileSizeByName(group->SourcePath(file.Source));
            }
          }
        }
        for (const auto& link : app.ShellLinks) {
          const std::string section = SubSection(app, "ShellLink", planned.Shortcuts.size() + 1);
          const std::string folder =
              WithErrorPlace([&] { return section + " " + KeyPlace("Folder", link->Folder); },
                             [&] { return link->ExpandedFolder(); });
          if (!IsAbsoluteDrivePath(folder)) throw ESetup("Invalid path " + folder);
          entry(ExtractFileDrive(folder)).Bytes += 1024;
          planned.Shortcuts.push_back(
              {link.get(),
               WithErrorPlace(
                   [&] { return section + " " + KeyPlace("Description", link->Description); },
                   [&] { return link->PlannedFile(); })});
          // The description names the file: it must not lead out of the folder.
          if (!IsBareName(ExtractFileName(planned.Shortcuts.back().File)) ||
              ExtractFilePath(planned.Shortcuts.back().File) != IncludeTrailingBackslash(folder)) {
            throw ESetup("Invalid path " + planned.Shortcuts.back().File);
          }
        }
        for (const auto& regEntry : app.RegEntries) planned.RegEntries.push_back(regEntry.get());
      } else if (!app.Selected && app.Installed) {
        planned.Action = TPlanAction::Remove;
        planned.DeleteFiles = app.DeleteFiles;
        for (const auto& group : app.FileGroups) {
          planned.Groups.push_back(PlanGroup(*group, group->DestDir, false));
          TDriveSpace* space = spaceOf(group->DestDir);
          if (space == nullptr) continue;
          for (const TPlannedFile& file : planned.Groups.back().Files) {
            ui_.ProcessMessages();
            space->Bytes -= sizeOrZero(file.Destination);
          }
        }
        for (const auto& link : app.ShellLinks) {
          if (!link->Remove) continue;
          planned.Shortcuts.push_back({link.get(), link->RecordedFile()});
          if (TDriveSpace* space = spaceOf(link->RecordedFile())) {
            space->Bytes -= sizeOrZero(link->RecordedFile());
          }
        }
        for (const std::string& file : app.DeleteFiles) {
          if (TDriveSpace* space = spaceOf(file)) space->Bytes -= sizeOrZero(file);
        }
      }
      plan.Applications.push_back(std::move(planned));
    } catch (...) {
      AddErrorPlace(ApplicationPlace(owned->Offered && owned->Selected ? *owned->Offered : *owned));
      throw;
    }
  }
  return plan;
}

void TSetupDataModule::GetRequiredSpace(std::vector<TDriveSpace>& list) {
  list = BuildPlan().Space;
}

}  // namespace valise::setup
