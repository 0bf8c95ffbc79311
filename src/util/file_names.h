// The parts of a Windows path by name alone, without looking at the disk: the extension is what
// follows the last "." of the file-name part (after the last "\", "/" or ":").
#pragma once

#include <string>
#include <string_view>

namespace valise {

// The extension with its dot, or "".
std::string ExtractFileExt(std::string_view path);
// The path with its extension replaced, or `extension` added when it has none:
// "C:\DATA\X.ADB" -> "C:\DATA\X.AMB".
std::string ChangeFileExt(std::string_view path, std::string_view extension);

}  // namespace valise
