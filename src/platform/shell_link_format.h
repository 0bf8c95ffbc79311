// The shell link (".lnk") file format: a fixed header, the target as an item identifier list
// and as a path (the link info), the link's texts, and trailing extra data blocks. Both
// directions work over bytes only, so that any backend, test or fuzz target can use them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/shell.h"

namespace valise::platform {

// What the writer records of the target besides its path, as the file system reports it when
// the target exists (all zero otherwise).
struct ShellLinkTargetInfo {
  std::uint32_t attributes = 0;  // FILE_ATTRIBUTE_ flags; kAttrDirectory marks a folder
  std::uint32_t size = 0;        // the low 32 bits of the file size
  std::uint64_t creationTime = 0;
  std::uint64_t accessTime = 0;
  std::uint64_t writeTime = 0;
};

// The bytes of a shell link file for the link. A drive-absolute target is stored as an item
// identifier list (computer, drive, one item per path component) and as a local base path; any
// other non-empty target as a path alone. Texts are stored as UTF-16; the local base path also
// in the ANSI code page. Throws Error when a text is too long for the format.
std::string EncodeShellLink(const ShellLinkData& link, const ShellLinkTargetInfo& target = {});

// The link stored in a shell link file's bytes. The target is taken from the link info's path,
// else from the item identifier list, else from the relative path; texts end at their first
// null character. Throws Error ("Invalid shell link: ...") for truncated or malformed data.
ShellLinkData DecodeShellLink(std::string_view bytes);

}  // namespace valise::platform
