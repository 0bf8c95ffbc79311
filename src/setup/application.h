// The installation model: an application (one installable product) with its file groups,
// shortcuts, registry entries and files to delete, read from a section of the setup script or
// rebuilt from an installation record.
#pragma once

#include <array>
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

namespace valise::setup {

// The values of an installation record, read in one pass over its key. Names are matched
// without regard to the case of their ASCII letters, as the registry matches the names this
// program writes.
class TRecordValues {
 public:
  explicit TRecordValues(const platform::RegKey& key);
  bool Has(std::string_view name) const;
  // A string value; empty when missing. A value of another type throws ESetup.
  std::string String(std::string_view name) const;

 private:
  std::unordered_map<std::string, platform::RegValue> values_;
};

class TSetupRegistry;
class TFileWork;
class TSetupUI;
class TSetupApplication;

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

// The text "%s_%d_%d" of a product code, release and ID that names an installation record.
std::string RecordKey(std::string_view productCode, std::int32_t version, std::int32_t productId);
// Splits a record key name into its parts; false when the name has not that form.
bool ParseRecordKey(std::string_view name, std::string& productCode, std::int32_t& version,
                    std::int32_t& productId);

// The part of a path after its last "\" or ":".
std::string_view ExtractFileName(std::string_view path);
// The part of a path up to and including its last "\" or ":".
std::string_view ExtractFilePath(std::string_view path);
// The drive part: "C:" or "\\server\share"; empty when there is none.
std::string ExtractFileDrive(std::string_view path);
// The path with one backslash at its end.
std::string IncludeTrailingBackslash(std::string_view path);
// The path without the backslashes at its end.
std::string ExcludeTrailingBackslash(std::string_view path);

class TSetupFileGroup {
 public:
  explicit TSetupFileGroup(TSetupApplication* owner) : Owner(owner) {}

  TSetupApplication* Owner;
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
  // Installs every file and records the group in the open record key. New baggage members
  // are copied on `copies` when one is given.
  void Install(TSetupRegistry& registry, TSetupUI& ui, TFileWork* copies = nullptr);
  // Brings one file to its destination according to the update method.
  void InstallFile(std::string_view source, std::string_view destination);

  std::string ExpandedDestDir() const;
  // The path a file entry is read from: relative sources taken against SourceDir.
  std::string SourcePath(std::string_view file) const;
};

class TSetupShellLink {
 public:
  explicit TSetupShellLink(TSetupApplication* owner) : Owner(owner) {}

  TSetupApplication* Owner;
  std::string Command;
  std::string CommandParams;
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
  // Creates the shortcut; with Remove records it as "ShellLink<n>", n = recorded + 1, and
  // counts it in `recorded`.
  void Install(TSetupRegistry& registry, int& recorded);

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

inline constexpr std::size_t kTextCount = 11;

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
  std::int32_t Version = 0;
  bool Selected = false;
  std::vector<std::unique_ptr<TSetupShellLink>> ShellLinks;
  std::array<std::string, kTextCount> Texts;
  std::string Title;
  course::TLanguage Language = course::LANG_NONE;
  TExpandEvent OnExpand;
  // The name of the key below the records key that the application's record was found under;
  // empty for an application that is not installed.
  std::string RecordKeyName;

  // Reads the application's section; relative file specifications are searched in
  // `sourceDir`. Throws ESetup for an installation directory that refers to itself.
  void LoadFromScript(const TScript& script, std::string_view section, std::string_view sourceDir);
  // Selects the application's baggage and takes the identity and texts from its tables; false
  // when the application names no baggage. `programPath` is the program's own path.
  bool OpenBaggage(std::string_view programPath);
  // The baggage as a "/bag=" argument selects it; empty when the application names none.
  std::string ExpandedBaggage() const;
  std::string ExpandMacros(std::string_view raw) const;
  std::string GetInstallDir() const { return ExpandMacros(InstallDir); }
  std::string GetText(std::uint32_t textId) const;
  // The record key "%s_%d_%d" of ProductCode, Version and ProductID.
  std::string RecordKey() const;
  // Rebuilds the removable items from the values of the application's record.
  void LoadFromRecord(const TRecordValues& record, TSetupUI& ui);
  // Installs the application and writes its installation record below `baseKey` of `root`.
  void Install(platform::RegRoot root, std::string_view baseKey, TSetupUI& ui);
  // Writes one registry entry; an entry whose key cannot be opened is skipped.
  void WriteRegEntry(const TSetupRegEntry& entry, TSetupRegistry& registry,
                     std::string_view recordPath);
  // A removal shortcut: the full path of a shortcut file that removal deletes.
  void AddRemovalLink(std::string path);
};

// Whether the application names a baggage or installs members of the current one.
bool UsesBaggageMembers(const TSetupApplication& app);

}  // namespace valise::setup
