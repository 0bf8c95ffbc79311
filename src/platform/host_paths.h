// Conversion between the Windows paths the system works with and the host's own paths. On
// Windows both are the same; on Linux a Windows path names a file through a drive letter of the
// prefix (dosdevices/), and any host path is seen through the drive that maps it (Z: by default).
#pragma once

#include <string>
#include <string_view>

namespace valise::platform {

// The Windows path under which the host path is seen. A relative host path is made absolute
// against the host's current directory first.
std::string ToWindowsPath(std::string_view hostPath);

// Tells the backend not to make the virtual Windows it works in when there is none (the posix
// backend's prefix, which it otherwise makes on first use): for programs that only read and
// write files. Host paths are then still seen through the drive Z:, folders of a missing prefix
// have no value, and its registry is empty. Nothing on Windows.
void LeaveMissingPrefixAlone();

// The host path a Windows path names, the letter case of its existing components resolved.
// Throws OSError (kErrorPathNotFound) when its drive is not mapped.
std::string ToHostPath(std::string_view windowsPath);

}  // namespace valise::platform
