// What the files, paths and profile code of the posix backend share: the case fold that names
// are matched with, Windows path arithmetic, the mapping onto host paths with its per-folder
// name cache, and the translation of errno values into Windows error codes.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/fd.h"

namespace valise::platform::posix {

// Folds a name for matching without regard to case: ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic letters map to their upper case; everything else (and invalid UTF-8) stays as it is.
std::string FoldCase(std::string_view utf8);
bool EqualIgnoreCase(std::string_view a, std::string_view b);

// The absolute form of a Windows path as GetFullPathName gives it: "/" turned into "\",
// relative and drive-relative paths resolved against the current directory, "." and ".."
// removed, trailing dots and spaces of the last component dropped. A trailing backslash stays.
std::string FullWindowsPath(std::string_view path);

// The host path that a Windows path names (made absolute first), each existing component in the
// spelling it has on disk. Nothing when the drive is not mapped (LastError kErrorPathNotFound).
std::optional<std::string> HostPathOf(std::string_view windowsPath);

// A host path with the status of its last component (lstat) when the lookup had it at hand.
struct HostEntry {
  std::string path;
  bool hasInfo = false;
  struct stat info {};
};
// HostPathOf with the status the lookup found on the way, saving the caller a call for it.
std::optional<HostEntry> ResolveHostPath(std::string_view windowsPath);

// The spelling on disk of the entry `name` in the host folder, matched without regard to case;
// nothing when the folder has no such entry.
std::optional<std::string> NameInFolder(const std::string& hostFolder, const std::string& name);

// HostPathOf for a name about to be created: when its folder's names are remembered and still
// current, the last name is answered from that memory instead of being looked for on disk.
// `exists`, when given, tells whether an entry of that name (in any letter case) is there.
// `folderHeld`, when given, is set to the folder held open when the answer came from memory
// (null otherwise): the entry is best made relative to it, which spares a walk along the path.
std::optional<std::string> HostPathForNewEntry(std::string_view windowsPath, bool* exists = nullptr,
                                               std::shared_ptr<const Fd>* folderHeld = nullptr);

// Our own changes to a folder, so that its name cache stays valid without reading it again.
void NoteEntryAdded(const std::string& hostPath);
// Notes a folder this program has just made: its names (none) are known without reading it.
void NoteFolderMade(const std::string& hostPath);
// Makes the entry `hostPath` by `make` (true when made) and notes it as one step: a look at the
// folder's names meanwhile, from another thread, sees the folder either before or after it.
bool AddEntry(const std::string& hostPath, const std::function<bool()>& make);
void NoteEntryRemoved(const std::string& hostPath);

// The Windows error code for an errno value.
std::uint32_t ErrorFromErrno(int error);
// The Windows error for a host path that could not be reached by its last component (ENOENT):
// kErrorFileNotFound when its folder exists, otherwise kErrorPathNotFound.
std::uint32_t MissingPathError(const std::string& hostPath);
// Sets LastError from errno (refining ENOENT for `hostPath`) and returns false.
bool FailFromErrno(int error, const std::string& hostPath = {});

}  // namespace valise::platform::posix
