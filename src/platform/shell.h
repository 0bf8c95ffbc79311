// Folders of the system, shell links and starting files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace valise::platform {

// The Windows and system directories.
std::string GetWindowsDirectory();
std::string GetSystemDirectory();

// Shell special folders, by the shell's CSIDL numbers.
enum SpecialFolder : int {
  kFolderDesktop = 0,
  kFolderPrograms = 2,
  kFolderDocuments = 5,
  kFolderStartup = 7,
  kFolderSendTo = 9,
  kFolderStartMenu = 11,
  kFolderFonts = 20,
  // The user's local (not roaming) application data, and the data of all users.
  kFolderLocalAppData = 28,
  kFolderCommonAppData = 35,
};
// The folder's file-system path; empty when the system has none for it.
std::string GetSpecialFolderPath(int folder);

// What a shell link (".lnk") holds.
struct ShellLinkData {
  std::string target;
  std::string arguments;
  std::string workingDirectory;
  std::string description;
  std::string iconLocation;
  int iconIndex = 0;
  std::uint16_t hotKey = 0;  // low byte virtual key, high byte HOTKEYF_ modifiers
  int showCommand = 1;       // SW_SHOWNORMAL
};

// Writes a shell link file, replacing an existing one. Throws, naming the link file ("Cannot
// write the shell link C:\X.LNK: <reason>"), when it cannot be written: OSError when the
// system gave an error code (a missing folder, a file that cannot be written), Error otherwise
// (a field beyond the format's limits, another failure of the shell's link object, whose
// message then carries the HRESULT).
void WriteShellLink(const ShellLinkData& link, std::string_view linkPath);
// Reads a shell link file; throws Error (or OSError) when it is missing or malformed.
ShellLinkData ReadShellLink(std::string_view linkPath);

// Starts a file with the verb and parameters without waiting (empty strings are passed as
// absent), with environment variables in the file name substituted and no error dialog.
// True when the start was reported successful.
bool ShellExecute(std::string_view file, std::string_view parameters, std::string_view verb,
                  int showCommand);

// The folder-browse dialog. Returns the chosen folder, or nothing when the user cancelled or
// the platform offers no such dialog (BrowseForDirectoryAvailable() tells which).
bool BrowseForDirectoryAvailable();
std::optional<std::string> BrowseForDirectory(std::string_view caption, std::string_view root,
                                              std::string_view initialDirectory,
                                              bool showStatusText);

// Expands %NAME% environment variables as ExpandEnvironmentStrings does.
std::string ExpandEnvironmentStrings(std::string_view text);

}  // namespace valise::platform
