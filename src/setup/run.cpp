// The run: the plan built, the space checked, each application installed or removed, the
// removal's later stages, the completion message, the exit code and the program to launch.
#include <algorithm>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "setup/cached_program.h"
#include "setup/data_module.h"
#include "setup/uninstall_entry.h"
#include "util/file_utils.h"

namespace valise::setup {

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
  if (!CommandLine.Silent) {
    ui_.SetProgressVisible(true);
    ui_.ProcessMessages();
  }
  const TSetupPlan plan = BuildPlan();
  restartFolders_.clear();
  if (!CommandLine.Silent) {
    for (const TDriveSpace& space : plan.Space) {
      const std::optional<std::uint64_t> free =
          platform::GetDiskFreeBytes(std::string(1, space.Drive) + ":");
      if (free && space.Bytes >= static_cast<std::int64_t>(*free)) {
        throw ESetup(FormatWithDrive(Texts.SOutOfDiskSpace, space.Drive));
      }
    }
  }
  if (!CommandLine.Silent) ui_.SetProgressMax(static_cast<int>(Applications.size()));

  TUninstallOwner owner{Globals.Publisher, ProgramPath()};
  // The uninstall entries start the kept copy, which stays when the distribution folder goes.
  // It is made once the first records are stored, so that a run that may not write them (a
  // standard user's run of a per-machine product) leaves nothing behind.
  bool keepProgram = InstallsAny(plan);
  const std::string keptFolder =
      keepProgram ? CachedProgramFolder(Globals.RegRoot, Globals.RegBaseKey) : std::string();
  if (!keptFolder.empty())
    owner.Program = IncludeTrailingBackslash(keptFolder) + std::string(kCachedProgramName);
  std::vector<const TPlannedApplication*> removed;
  // Records are written ahead of the installs, several applications in one store, and the
  // records of installs that completed are stored with the next ones: a run of many small
  // applications does not rewrite the registry for each. A crash meanwhile leaves records
  // marked "Incomplete", which the next run completes.
  platform::RegistryStoreBatch stores;
  std::size_t recordedAhead = 0;  // the plan's applications below this have their records
  std::size_t batch = 1;
  for (std::size_t i = 0; i < plan.Applications.size(); ++i) {
    const TPlannedApplication& planned = plan.Applications[i];
    ui_.ProcessMessages();
    if (planned.Action == TPlanAction::Install) {
      if (i >= recordedAhead) {
        for (std::size_t written = 0; recordedAhead < plan.Applications.size() && written < batch;
             ++recordedAhead) {
          const TPlannedApplication& next = plan.Applications[recordedAhead];
          if (next.Action != TPlanAction::Install) continue;
          next.App->RecordAhead(next, Records(), owner);
          ++written;
        }
        stores.Store();
        batch = std::min<std::size_t>(batch * 2, 256);
        if (keepProgram) {
          keepProgram = false;
          try {
            KeepCachedProgram(ProgramPath(), Globals.RegRoot, Globals.RegBaseKey,
                              Globals.Language != course::LANG_NONE ? Globals.Language : Language,
                              Texts);
          } catch (const std::exception& error) {
            DebugLog("Error: Cannot keep the setup program: " + std::string(error.what()) +
                     "; the uninstall entries start " + ProgramPath());
            // The records written so far name the program that runs instead.
            owner.Program = ProgramPath();
            for (std::size_t j = 0; j < recordedAhead; ++j) {
              const TPlannedApplication& written = plan.Applications[j];
              if (written.Action == TPlanAction::Install)
                written.App->RecordAhead(written, Records(), owner);
            }
            stores.Store();
          }
        }
      }
      if (UsesBaggageMembers(*planned.App)) SelectBaggageOf(*planned.App);
      planned.App->Install(planned, Records(), ui_);
      // Installed from here on, also when a later step fails and the window offers another
      // try.
      planned.App->Installed = true;
      planned.App->RecordKeyName =
          planned.App->AltRegKey.empty() ? planned.App->RecordKey() : planned.App->AltRegKey;
    } else if (planned.Action == TPlanAction::Remove) {
      RemoveApplicationFiles(planned);
      removed.push_back(&planned);
    }
    if (!CommandLine.Silent) ui_.SetProgressPosition(static_cast<int>(i));
  }
  stores.Store();
  RemoveDirectories(removed);
  DeleteRecords(removed);
  // The kept program goes with the last application recorded below the records key.
  if (!removed.empty() &&
      std::none_of(Applications.begin(), Applications.end(),
                   [](const std::unique_ptr<TSetupApplication>& app) { return app->Installed; })) {
    RemoveCachedProgram(Globals.RegRoot, Globals.RegBaseKey, ProgramPath());
  }
  const std::string base = PlatformKeyPath(Globals.RegBaseKey) + "\\";
  constexpr std::string_view kMaker = "Software\\Vantorel\\";
  CleanMakerPlaces(!removed.empty() && Globals.RegRoot == platform::RegRoot::CurrentUser &&
                   base.size() >= kMaker.size() &&
                   platform::CompareTextIgnoreCase(std::string_view(base).substr(0, kMaker.size()),
                                                   kMaker) == 0);

  if (!CommandLine.Silent) {
    ui_.SetProgressPosition(static_cast<int>(Applications.size()));
    ui_.ProcessMessages();
    ui_.WaitPumping(500);
    ui_.SetProgressVisible(false);
    ui_.ShowInformation(Texts.SSetupCompleted, Texts.MsgCaptionInformation);
  }
  // A failure decided above (a record that could not be deleted) stays the run's exit code.
  if (!CommandLine.RegArgument.empty() && ExitCode != kExitFailed) {
    for (const auto& app : Applications) {
      if (!app->Selected &&
          platform::CompareTextIgnoreCase(app->RecordKey(), CommandLine.RegArgument) == 0) {
        ExitCode = kExitNamedRemoved;
      }
    }
  }
  if (!NotInstalledKeys.empty() && ExitCode != kExitFailed) ExitCode = kExitNotInstalled;
  if (!restartFolders_.empty() && ExitCode == kExitSuccess) ExitCode = kExitRestartRequired;
  if (CommandLine.LaunchAfterRun && !CommandLine.RemovesOnly() && !Globals.Launch.empty()) {
    std::string file = Globals.Launch;
    std::string parameters = Globals.LaunchParams;
    ExpandDirMacros(file);
    ExpandDirMacros(parameters);
    if (!ShellExecuteFile(file, parameters, "", 1)) {
      DebugLog("Error: Cannot start " + file + ": " + platform::LastOSError().what());
    }
  }
}

}  // namespace valise::setup
