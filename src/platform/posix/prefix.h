// The Wine-compatible prefix that the posix backend treats as its Windows: WINEPREFIX, or
// ~/.wine when unset. Read again on every call, so that a test may point WINEPREFIX elsewhere;
// every cache of the backend is keyed by the prefix folder.
#pragma once

#include <filesystem>

namespace valise::platform::posix {

// The prefix folder as a host path. A missing prefix is created first with the least that is
// needed: drive_c with the usual folders, dosdevices (c: -> ../drive_c, z: -> /), and registry
// files holding ProgramFilesDir, CommonFilesDir and the user's "Shell Folders".
// Not when LeaveMissingPrefixAlone was called: a missing prefix stays missing then.
std::filesystem::path PrefixDir();
// Whether a missing prefix is made (not after LeaveMissingPrefixAlone).
bool MakesMissingPrefix();

}  // namespace valise::platform::posix
