// The installation model: an application (one installable product) with its file groups,
// shortcuts, registry entries and files to delete, read from a section of the setup script or
// rebuilt from an installation record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "course/languages.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "setup/script.h"
#include "setup/window_texts.h"
#include "util/paths.h"

namespace valise::setup {

class TRecordValues;
class TRecordStore;
class TSetupRegistry;
class TSetupUI;
class TCurrentBaggage;
class TFileCopier;
struct TPlannedApplication;
struct TUninstallOwner;
struct TPlannedGroup;

// The setup's own errors.
class ESetup : public Error {
 public:
  using Error::Error;
};

enum TSetupUpdateMethod : std::uint8_t { updVersion = 0, updDate = 1, updAlways = 2, updNever = 3 };
enum TRegDataType : std::uint8_t {
  rdUnknown = 0,
  rdString = 1,
  rdExpandString = 2,
  rdInteger = 3,
  rdBinary = 4
};
// A name that matches no enumerator is stored as this.
inline constexpr std::uint8_t kUnknownEnum = 255;

// Expands the directory macros and application references of a raw script value in place.
using TExpandEvent = std::function<void(std::string& text)>;

class TSetupFileGroup {
 public:
  std::string DestDir;
  std::vector<std::string> Files;
  std::string Name;
  bool Optional = false;
  std::uint8_t UpdateMethod = updAlways;
  TExpandEvent OnExpand;
  // The folder that relative source paths are taken against: the program's own folder.
  std::string SourceDir;

  // Reads the group's keys and finds its source files; relative specifications are searched
  // in `sourceDir`. Throws OSError "No matching file found for '...'" for a specification
  // that matches nothing.
  void LoadFromScript(const TScript& script, std::string_view section, std::string_view sourceDir);
  // Installs the planned files with `copier`, which records the names beyond the first
  // `recordedAhead` in the open record key as "FileGroup<number>File<n>".
  void Install(const TPlannedGroup& planned, int number, std::size_t recordedAhead,
               TSetupRegistry& registry, TFileCopier& copier) const;
  // Whether the update method replaces the existing file at `destination` with `from`.
  bool ReplacesExisting(std::string_view from, std::string_view destination) const;
  // Brings one file to its destination according to the update method.
  void InstallFile(std::string_view source, std::string_view destination) const;

  std::string ExpandedDestDir() const;
  // The path a file entry is read from: relative sources taken against SourceDir.
  std::string SourcePath(std::string_view file) const;
};

class TSetupShellLink {
 public:
  std::string Command;
  std::string CommandParams;
  // The folder the shortcut is made in; for a shortcut rebuilt from a record, the recorded full
  // path of the shortcut file.
  std::string Folder;
  std::string Description;
  std::int32_t IconIndex = 0;
  std::string IconLocation;
  bool Remove = true;
  std::uint16_t ShortCut = 0;
  std::int32_t ShowCmd = 1;
  std::string WorkDir;
  TExpandEvent OnExpand;

  void LoadFromScript(const TScript& script, std::string_view section);
  // Creates the shortcut file `file` (recorded ahead when it is to be removed).
  void Install(const std::string& file) const;
  // The shortcut file the shortcut makes: its expanded folder, a backslash, its expanded
  // description, ".url" or ".lnk".
  std::string PlannedFile() const;

  std::string ExpandedCommand() const;
  std::string ExpandedDescription() const;
  // The folder, "<ProgramsMenuFolder>" when empty, expanded.
  std::string ExpandedFolder() const;
  std::string ExpandedIconLocation() const;
  bool IsInternetShortcut() const;
  // The shortcut file of a recorded shortcut: its folder field, with ".lnk" appended when the
  // name has no extension.
  std::string RecordedFile() const;

 private:
  std::string Expand(std::string text) const;
};

// A hot key in shortcut-text notation ("Ctrl+Shift+F5", "^A", "Alt+Home") in the shell link's
// form: virtual-key code in the low byte, HOTKEYF_ modifiers in the high byte; 0 when the text
// does not parse.
std::uint16_t TextToShortCut(std::string_view text);

struct TSetupRegEntry {
  platform::RegRoot Root = platform::RegRoot::CurrentUser;
  std::string Key;
  std::string Name;
  std::uint8_t DataType = rdString;
  std::string Value;
};

class TSetupApplication {
 public:
  TSetupApplication() = default;
  TSetupApplication(const TSetupApplication&) = delete;
  TSetupApplication& operator=(const TSetupApplication&) = delete;

  bool AllowCustomInstallDir = false;
  std::string Baggage;
  std::vector<std::string> DeleteFiles;
  std::vector<std::unique_ptr<TSetupFileGroup>> FileGroups;
  std::int32_t ScriptIndex = -1;
  bool Installed = false;
  std::string InstallDir;
  std::string ProductCode;
  std::int32_t ProductID = 0;
  std::string AltRegKey;
  std::vector<std::unique_ptr<TSetupRegEntry>> RegEntries;
  // The product's release (the middle number of the record key); -1 for a record named by
  // "AltRegKey" or of an older product.
  std::int32_t Version = 0;
  // The version text of the product table of the application's baggage; empty without one.
  std::string ProductVersion;
  bool Selected = false;
  std::vector<std::unique_ptr<TSetupShellLink>> ShellLinks;
  TWindowTexts Texts;
  std::string Title;
  course::TLanguage Language = course::LANG_NONE;
  TExpandEvent OnExpand;
  // Rebuilt from an installation record: its folders are used as recorded, never expanded.
  bool FromRecord = false;
  // InstallDir is a folder the user chose in the window, used as it stands.
  bool InstallDirChosen = false;
  // The name of the key below the records key that the application's record was found under;
  // empty for an application that is not installed.
  std::string RecordKeyName;
  // The record carries the mark of an install that did not finish ("Incomplete").
  bool Incomplete = false;
  // For such a record that the script offers again: the script's application, which a run
  // that keeps the application installs over what is there. The record's own application
  // stays what a removal works from.
  std::unique_ptr<TSetupApplication> Offered;

  // Reads the application's section; relative file specifications are searched in
  // `sourceDir`. Throws ESetup for an installation directory that refers to itself.
  void LoadFromScript(const TScript& script, std::string_view section, std::string_view sourceDir);
  // Makes the application's baggage current and takes the identity and texts from its tables;
  // false when the application names no baggage.
  bool OpenBaggage(TCurrentBaggage& baggage);
  // The baggage as a "/bag=" argument selects it; empty when the application names none.
  std::string ExpandedBaggage() const;
  std::string ExpandMacros(std::string_view raw) const;
  // The installation folder: as recorded or as the user chose it, else expanded.
  std::string GetInstallDir() const;
  std::string GetText(std::uint32_t textId) const { return Texts.Get(textId); }
  // The record key "%s_%d_%d" of ProductCode, Version and ProductID.
  std::string RecordKey() const;
  // Rebuilds the removable items from the values of the application's record.
  void LoadFromRecord(const TRecordValues& record, TSetupUI& ui);
  // Writes the installation record in `records` as far as it is known before anything is
  // made, marked "Incomplete", and the uninstall entry beside it: the title, the folder, the
  // delete files, each group's folder and its files' names (up to 4,096 in all), and the
  // shortcuts to remove. The caller stores it before Install makes anything.
  void RecordAhead(const TPlannedApplication& planned, const TRecordStore& records,
                   const TUninstallOwner& owner) const;
  // Installs the application as planned, its record written ahead: records the files beyond
  // those named ahead as it goes, and clears the mark once everything is in place.
  void Install(const TPlannedApplication& planned, const TRecordStore& records, TSetupUI& ui) const;
  // Writes one registry entry; an entry whose key cannot be opened is skipped.
  void WriteRegEntry(const TSetupRegEntry& entry, TSetupRegistry& registry,
                     std::string_view recordPath) const;
  // A removal shortcut: the full path of a shortcut file that removal deletes.
  void AddRemovalLink(std::string path);

 private:
  // Install without the application's place added to its failures.
  void InstallPlanned(const TPlannedApplication& planned, const TRecordStore& records,
                      TSetupUI& ui) const;
};

// Whether the application names a baggage or installs members of the current one.
bool UsesBaggageMembers(const TSetupApplication& app);
// How many of an install's planned files are baggage members.
std::size_t PlannedMembers(const TPlannedApplication& planned);

}  // namespace valise::setup
