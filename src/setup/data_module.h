// The setup object: what ties the run together. It holds the command line, the script's
// globals, the applications of this run (the installed ones found by the record store merged
// with those the script offers) and the window texts; it builds the run's plan and carries it
// out. Where each part lives: command_line (switches), script (the setup script and its
// sections), application and shell_link (the installation model), records (installation
// records), uninstall_entry (the entry in the system's list of installed programs),
// cached_program (the setup program kept for removal), macros
// (directory macros and references), plan (what a run will do and the space it needs),
// plan_print (the plan as text or JSON), install, file_copier and removal (the steps), run
// (the whole run), window_texts (the texts by language), current_baggage (the baggage the
// engine reads), file_work (file work on threads), setup_ui (what the engine needs of whoever
// runs it); paths are util/paths.h's.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "course/languages.h"
#include "course/textpool.h"
#include "platform/registry.h"
#include "platform/run_lock.h"
#include "setup/application.h"
#include "setup/command_line.h"
#include "setup/current_baggage.h"
#include "setup/file_work.h"
#include "setup/plan.h"
#include "setup/records.h"
#include "setup/script.h"
#include "setup/setup_ui.h"
#include "setup/window_texts.h"

namespace valise::setup {

// The process exit codes.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitCancelled = 1;
inline constexpr int kExitNamedRemoved = 2;
inline constexpr int kExitFailed = 3;
// A remove-only run named a key of no installed application, and nothing failed.
inline constexpr int kExitNotInstalled = 4;
// A removal left a file in use in place and the system deletes it at its next start; replaces
// only success.
inline constexpr int kExitRestartRequired = 3010;

// Hands the text pool's missing-string warnings to the engine's user interface while it lives.
class TTextWarningsToUI final : public course::TTextWarnings {
 public:
  explicit TTextWarningsToUI(TSetupUI& ui);
  ~TTextWarningsToUI() override;
  TTextWarningsToUI(const TTextWarningsToUI&) = delete;
  TTextWarningsToUI& operator=(const TTextWarningsToUI&) = delete;
  void MissingString(std::uint32_t id) override;

 private:
  TSetupUI& ui_;
};

class TSetupDataModule {
 public:
  // `ui` outlives the object.
  TSetupDataModule(TSetupUI& ui, TCommandLine commandLine);
  // The command line read from the program's own full path and its parameters (without the
  // program name).
  TSetupDataModule(TSetupUI& ui, std::string programPath, std::vector<std::string> params)
      : TSetupDataModule(ui, ParseCommandLine(std::move(programPath), std::move(params))) {}
  ~TSetupDataModule();
  TSetupDataModule(const TSetupDataModule&) = delete;
  TSetupDataModule& operator=(const TSetupDataModule&) = delete;

  const TCommandLine CommandLine;
  TScriptGlobals Globals;
  std::vector<std::unique_ptr<TSetupApplication>> Applications;
  // The language the window speaks, and the application whose texts it takes first (-1:
  // none).
  course::TLanguage Language = course::LANG_NONE;
  std::int32_t LanguageIndex = -1;
  TWindowTexts Texts;
  int ExitCode = kExitSuccess;

  // The creation steps up to the run: script and records, texts, and the "remove=" switches.
  // Throws what fails; the object keeps what was built until then.
  void Create();
  void ReadScript(const std::string& fileName);
  // Throws ESetup, naming the file and the reason, when the script cannot be read.
  static void CheckScriptReadable(const std::string& fileName);
  void LoadTexts();
  TSetupApplication* FindApplication(std::int32_t scriptIndex) const;
  // Deselects the installed applications named by "remove=" and every application that is not
  // installed, and selects the other installed ones, so that the run (or the window's Continue,
  // without a change of the ticks) removes the named ones and installs nothing. A key that names no
  // installed application is logged and counted in NotInstalledKeys; the others still count.
  // Throws ESetup, changing nothing, for a key whose record is missing while this program's
  // uninstall entry of it stands: the record lies below another records key.
  void ApplyRemoveArguments();
  // The "remove=" keys of this run that named no installed application.
  std::vector<std::string> NotInstalledKeys;

  // Throws ESetup, naming the application, when its record would be named by a key that
  // ParseRecordKey cannot read back as the same identity.
  static void CheckRecordKey(const TSetupApplication& app);

  // Replaces the directory macros and application references of a text; throws ESetup
  // "Invalid directory reference '...'".
  void ExpandDirMacros(std::string& text) const;

  // What the run will do with the applications as they are selected now; changes nothing.
  TSetupPlan BuildPlan();
  // The bytes per drive of a fresh plan.
  void GetRequiredSpace(std::vector<TDriveSpace>& list);

  // The run: installs what is selected and not installed, removes what is installed and not
  // selected, cleans up, and settles the exit code.
  void Execute();

  // The removal steps.
  void RemoveApplicationFiles(const TPlannedApplication& planned);
  void RemoveDirectories(const std::vector<const TPlannedApplication*>& removed);
  void DeleteRecords(const std::vector<const TPlannedApplication*>& removed);
  // `removedMakerRecords`: the run removed a record below the maker's own key.
  void CleanMakerPlaces(bool removedMakerRecords);
  void CleanShellFolder(const std::string& dir);

  const std::string& ProgramPath() const { return CommandLine.ProgramPath; }
  // The program's own folder, without a trailing backslash.
  std::string ProgramDir() const { return CommandLine.ProgramDir(); }
  TSetupUI& UI() const { return ui_; }
  TRecordStore Records() const { return TRecordStore(Globals.RegRoot, Globals.RegBaseKey); }

 private:
  void ReadApplication(const TScript& script, int n);
  // Takes the lock of the records key, which runs that change the same records take in turn:
  // held from before the records are read to the run's end, so that what a run plans from
  // them stays true while it carries it out. Waits (and logs that it does) while another run
  // holds it.
  void TakeRecordsLock();
  // What a reference ("[Application2.InstallDir]", with its brackets) stands for; `folder`
  // tells whether it is a folder's name.
  std::string ReferenceValue(const std::string& reference, bool& folder) const;
  // Makes the application's baggage current (or the program's own for one that names none)
  // before its "@" members are counted or copied.
  void SelectBaggageOf(const TSetupApplication& app);
  // Installs one application of the plan and writes its installation record.
  void Install(const TPlannedApplication& planned);
  // Whether removal must leave a folder alone whatever asks: a special folder of the system or
  // the user, one above such a folder, or a drive's root.
  bool IsSystemFolder(std::string_view dir);
  // Removes an empty folder that is not a system folder; logs "Left in place" when it stays.
  bool RemoveFolder(const std::string& dir);
  // Deletes a recorded file inside its recorded folder (never through a link standing in
  // place of either), trying four times with waits between the tries while it stays; true
  // when it is gone. `first`: the result of a first try made already (on the file work's
  // threads).
  bool DeleteWithRetries(const std::string& folder, const std::string& name,
                         std::optional<TWorkResult> first = std::nullopt);

  TSetupUI& ui_;
  TTextWarningsToUI textWarnings_{ui_};
  TCurrentBaggage baggage_;
  std::unique_ptr<platform::RunLock> recordsLock_;
  std::string recordsLockName_;
  std::vector<std::string> systemFolders_;  // IsSystemFolder's list, made at first use
  // The folders of the files the system deletes at its next start: such a folder goes then too.
  std::vector<std::string> restartFolders_;
  // How deep ExpandDirMacros is in its own recursion.
  mutable int expandDepth_ = 0;
};

// The text of a one-argument format (the out-of-space text) with the drive letter put in for
// its conversion ("%s", "%c" and the like); "%%" gives "%".
std::string FormatWithDrive(std::string_view format, char drive);

}  // namespace valise::setup
