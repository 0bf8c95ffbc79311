// The fixed file version in the version resource of a PE file (an executable or a library):
// headers, section table and the resource directory are read, nothing else of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/byte_source.h"
#include "platform/version.h"

namespace valise::platform {

// The fixed file version of the first language of the first version resource (RT_VERSION).
// Nothing when the data is no PE file or has no version resource, or when the version resource
// holds no fixed file information. Throws Error ("Invalid PE file: ..." or "Invalid version
// resource: ...") when the headers, the resource directory or the version resource are
// malformed: truncated, out of range, or looping.
std::optional<FileVersion> ReadPeFileVersion(ByteSource& source);
std::optional<FileVersion> ReadPeFileVersion(std::string_view image);

}  // namespace valise::platform
