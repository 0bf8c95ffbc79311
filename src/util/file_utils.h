// Stateless helpers over the platform's file system, registry, shell and message loop that the
// setup and its window use. Paths are Windows paths (UTF-8); no helper adds or removes a
// trailing backslash unless it says so.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/files.h"

namespace valise {

// The one failure of ForceDirs: an empty path.
class EJclFileUtilsError : public Error {
 public:
  using Error::Error;
};

// ---- Folders of the system (empty when the system gives nothing) ---------------------------

// "CommonFilesDir" and "ProgramFilesDir" of HKLM\Software\Microsoft\Windows\CurrentVersion,
// when they are strings (an expandable string comes unexpanded).
std::string GetCommonFilesDir();
std::string GetProgramFilesDir();
std::string GetWindowsDir();
std::string GetSystemDir();
// A shell special folder by the shell's number (platform::SpecialFolder).
std::string GetSpecialFolder(int folder);

// ---- Files and directories -----------------------------------------------------------------

// True when the path's attributes can be read and name a directory.
bool DirExists(std::string_view path);
// True when a search for the path (wildcards allowed) finds an entry of any kind.
bool PathExists(std::string_view path);
// The size of the first entry a search for the path finds; -1 when nothing is found.
std::int64_t GetFileSizeByName(std::string_view path);
// The creation time of the first entry a search for the path finds. Throws OSError with the
// system's message when nothing is found.
platform::FileTime GetFileCreationTime(std::string_view path);
// True when the directory holds no entry at all (hidden ones count), or does not exist. The
// backslash that ends a directory path is added when missing.
bool IsDirEmpty(std::string_view dir);

// Creates the directory and every missing parent; true when it exists afterwards. An empty
// path throws EJclFileUtilsError("Unable to create directory").
bool ForceDirs(std::string_view path);
// Whether a bare name is the name of a temporary file a copy writes before it is complete
// (platform::CreateTemporaryFile), or a "~VB*.TMP" an earlier replacement left.
bool IsTemporaryFileName(std::string_view name);
// Deletes the temporary files a killed or failed copy left in the folder; never throws.
void DeleteTemporaryFiles(std::string_view folder);
// Removes an empty directory and, when that succeeded, pumps messages for `milliseconds`.
bool RemoveDirAndWait(std::string_view dir, std::uint32_t milliseconds);

// ---- Shell ---------------------------------------------------------------------------------

// What a shortcut holds. IdList is kept for the record's layout and not used by the writer.
struct TShellLink {
  std::string Arguments;
  int ShowCmd = 1;  // SW_SHOWNORMAL
  std::string WorkingDirectory;
  std::string IdList;
  std::string Target;
  std::string Description;
  std::string IconLocation;
  int IconIndex = 0;
  std::uint16_t HotKey = 0;
};

// The HRESULT of a link path longer than the shell accepts (ERROR_FILENAME_EXCED_RANGE).
inline constexpr std::int32_t kLinkPathTooLong = static_cast<std::int32_t>(0x800700CEu);

// Writes a shortcut file; returns the platform's result code, 0 on success.
std::int32_t CreateShellLink(const TShellLink& link, std::string_view fileName);
// Writes a shortcut file; throws an error naming the file when it cannot be written.
void WriteShellLinkFile(const TShellLink& link, std::string_view fileName);
// The target path of a shortcut file (at most 259 characters); empty when it cannot be read.
std::string GetShellLinkTarget(std::string_view fileName);
// Starts a file with the shell (environment variables in the name substituted, no error
// dialog, empty parameters or verb passed as absent); true when the shell reported success.
bool ShellExecuteFile(std::string_view file, std::string_view parameters, std::string_view verb,
                      int showCommand);
// The folder-browse dialog, starting at `directory` (one trailing backslash ignored). On a
// choice stores it in `directory` and returns true; otherwise leaves it alone.
bool BrowseForDirectory(std::string_view caption, std::string_view root, std::string& directory,
                        bool showStatusText);

// ---- Message loop and diagnostics ----------------------------------------------------------

// Waits `milliseconds` while dispatching messages and work handed to the main thread. More
// than 10000 ms is refused: it beeps and returns at once.
void WaitPumping(std::uint32_t milliseconds);
// Sends one line of text, with CR LF appended, to the debug output. Never fails.
void DebugLog(std::string_view text);

}  // namespace valise
