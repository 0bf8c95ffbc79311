// The parts of a Windows path by name alone, without looking at the disk. One rule for every
// caller: "\" and "/" separate folders (Windows takes both), ":" ends a drive letter, so the
// file-name part is what follows the last "\", "/" or ":". The checks at the end are what the
// engine asks of any path it writes or deletes before it reaches the file system.
#pragma once

#include <string>
#include <string_view>

namespace valise {

bool IsPathSeparator(char c);

// The part after the last "\", "/" or ":"; the whole path when it has none.
std::string_view ExtractFileName(std::string_view path);
// The part up to and including the last "\", "/" or ":"; empty when there is none.
std::string_view ExtractFilePath(std::string_view path);
// The drive part: "C:" or "\\server\share"; empty when there is none.
std::string ExtractFileDrive(std::string_view path);
// The extension with its dot, or "".
std::string ExtractFileExt(std::string_view path);
// The path with its extension replaced, or `extension` added when it has none:
// "C:\DATA\X.ADB" -> "C:\DATA\X.AMB".
std::string ChangeFileExt(std::string_view path, std::string_view extension);

// The path with one backslash at its end (none added after a "/" either).
std::string IncludeTrailingBackslash(std::string_view path);
// The path without the separators at its end.
std::string ExcludeTrailingBackslash(std::string_view path);

// A name that stays inside the folder it is joined to: not empty, no "\", "/" or ":", and
// neither "." nor "..".
bool IsBareName(std::string_view name);
// An absolute path on a lettered drive ("C:\..." or "C:/..."), none of whose components is
// "." or "..".
bool IsAbsoluteDrivePath(std::string_view path);

}  // namespace valise
