// The setup object: the command line, the script's globals, the applications of this run (the
// installed ones found in the registry merged with those the script offers), the window texts,
// the directory macros, and the run that installs and removes them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "course/languages.h"
#include "platform/registry.h"
#include "setup/application.h"
#include "setup/setup_ui.h"

namespace valise::setup {

// The process exit codes.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitCancelled = 1;
inline constexpr int kExitNamedRemoved = 2;
inline constexpr int kExitFailed = 3;

// Bytes a run adds (positive) or frees (negative) on one drive.
struct TDriveSpace {
  char Drive = 0;
  std::int64_t Bytes = 0;
};

class TSetupDataModule {
 public:
  // `programPath` is the program's own full path and `params` its command-line parameters
  // without the program name; `ui` outlives the object.
  TSetupDataModule(TSetupUI& ui, std::string programPath, std::vector<std::string> params);
  ~TSetupDataModule();
  TSetupDataModule(const TSetupDataModule&) = delete;
  TSetupDataModule& operator=(const TSetupDataModule&) = delete;

  std::vector<std::unique_ptr<TSetupApplication>> Applications;
  std::string RegArgument;
  bool HideLogo = false;
  std::string ScriptFile;
  course::TLanguage Language = course::LANG_NONE;
  bool LaunchAfterRun = false;
  std::string Launch;
  std::string LaunchParams;
  std::string RegBaseKey;
  platform::RegRoot RegRoot = platform::RegRoot::CurrentUser;
  bool Silent = false;
  std::string ButtonCancel;
  std::string ButtonContinue;
  std::string MsgCaptionInformation;
  std::string MsgCaptionWarning;
  std::string SConfirmCancel;
  std::string MsgInstall;
  std::string LabelDirectory;
  std::string SNoButtonCaption;
  std::string SOutOfDiskSpace;
  std::string SSetupCompleted;
  std::string SYesButtonCaption;
  std::int32_t LanguageIndex = -1;
  // The keys named by "remove=" switches: installed applications that a silent run removes.
  std::vector<std::string> RemoveArguments;

  int ExitCode = kExitSuccess;

  // The creation steps up to the run: command line, script and records, texts, and the
  // "remove=" switches. Throws what fails; the object keeps what was built until then.
  void Create();

  void ParseCommandLine();
  bool FindSwitch(std::string_view name) const;
  bool FindSwitchValue(std::string_view prefix, std::string& value) const;
  // Every value of the switches that begin with the prefix, in order.
  std::vector<std::string> FindSwitchValues(std::string_view prefix) const;

  void ReadScript(const std::string& fileName);
  void ScanRecords();
  void LoadTexts();
  std::string LookupText(std::uint32_t textId) const;
  TSetupApplication* FindApplication(std::int32_t scriptIndex) const;
  static course::TLanguage LanguageFromLangID(std::uint16_t langId);
  // Deselects the installed applications named by "remove=" (silent runs); throws ESetup,
  // changing nothing, for a key that names no installed application.
  void ApplyRemoveArguments();

  // Replaces the directory macros and application references of a text; throws ESetup
  // "Invalid directory reference '...'".
  void ExpandDirMacros(std::string& text) const;
  void GetRequiredSpace(std::vector<TDriveSpace>& list);
  static int FindDriveEntry(const std::vector<TDriveSpace>& list, char letter);

  // The run: installs what is selected and not installed, removes what is installed and not
  // selected, cleans up, and settles the exit code.
  void Execute();

  // The removal steps.
  void RemoveApplicationFiles(TSetupApplication& app);
  void RemoveDirectories(const std::vector<TSetupApplication*>& removed);
  void DeleteRecords(const std::vector<TSetupApplication*>& removed);
  void CleanMakerPlaces();
  void CleanShellFolder(const std::string& dir);

  const std::string& ProgramPath() const { return programPath_; }
  // The program's own folder, without a trailing backslash.
  std::string ProgramDir() const;
  TSetupUI& UI() const { return ui_; }

 private:
  void ReadApplication(const TScript& script, int n);
  // Makes the application's baggage current again (or the program's own baggage for one
  // that names none) before its "@" members are counted or copied.
  void SelectBaggageOf(TSetupApplication& app);
  // Deletes a file, trying four times with waits between the tries; true when it went.
  // `firstAttemptFailed`: the first try was made already (on the file work's threads).
  bool DeleteWithRetries(const std::string& path, bool firstAttemptFailed = false);

  TSetupUI& ui_;
  std::string programPath_;
  std::vector<std::string> params_;
  // How deep ExpandDirMacros is in its own recursion.
  mutable int expandDepth_ = 0;
  // The baggage made current last: the "/bag=" value, or empty for the program's own.
  std::string currentBaggage_;
};

// The text of a one-argument format (the out-of-space text) with the drive letter put in for
// its conversion ("%s", "%c" and the like); "%%" gives "%".
std::string FormatWithDrive(std::string_view format, char drive);

// The one setup object of the process while it exists.
TSetupDataModule* SetupDataModule();

}  // namespace valise::setup
