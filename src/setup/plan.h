// What a run will do, built before anything changes: for each application its action, its
// files with source and destination, its shortcuts, registry entries and files to delete, and
// the bytes the run adds or frees per drive. The space check reads it and the run carries it
// out; printing a plan is a walk over it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "setup/application.h"

namespace valise::setup {

class TSetupDataModule;

enum class TPlanAction { Keep, Install, Remove };

// Bytes a run adds (positive) or frees (negative) on one drive.
struct TDriveSpace {
  char Drive = 0;
  std::int64_t Bytes = 0;
};

struct TPlannedFile {
  // The file group's entry as the script or the record gives it: "@NAME" for a baggage member,
  // else a path from the disk (relative ones taken against the program's folder).
  std::string Source;
  // The name the file is installed and recorded under: a bare name.
  std::string Name;
  // The destination folder, a backslash, the name.
  std::string Destination;
};

struct TPlannedGroup {
  const TSetupFileGroup* Group = nullptr;
  // The destination folder: expanded for an install, as recorded for a removal.
  std::string Dir;
  std::vector<TPlannedFile> Files;
};

struct TPlannedShortcut {
  const TSetupShellLink* Link = nullptr;
  // The shortcut file that is made or deleted.
  std::string File;
};

struct TPlannedApplication {
  TSetupApplication* App = nullptr;
  TPlanAction Action = TPlanAction::Keep;
  // Expanded for an install, as recorded for a removal.
  std::vector<std::string> DeleteFiles;
  std::vector<TPlannedGroup> Groups;
  std::vector<TPlannedShortcut> Shortcuts;
  // The script's registry entries an install writes (never removed).
  std::vector<const TSetupRegEntry*> RegEntries;
};

struct TSetupPlan {
  std::vector<TPlannedApplication> Applications;
  // In the order the drives were first met.
  std::vector<TDriveSpace> Space;
};

// Whether the plan installs any application.
bool InstallsAny(const TSetupPlan& plan);

// The entry of that drive letter (without regard to case) in the list, or -1.
int FindDriveEntry(const std::vector<TDriveSpace>& list, char letter);

}  // namespace valise::setup
