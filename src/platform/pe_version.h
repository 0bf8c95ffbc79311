// The fixed file version in the version resource of a PE file (an executable or a library):
// headers, section table and the resource directory are read, nothing else of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/version.h"

namespace valise::platform {

// Random access to the bytes of a file.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Up to `size` bytes from `offset`; fewer only at the end of the data.
  virtual std::string Read(std::uint64_t offset, std::size_t size) = 0;
};

// The fixed file version of the first language of the first version resource (RT_VERSION).
// Nothing when the data is no PE file or has no version resource, or when the version resource
// holds no fixed file information. Throws Error ("Invalid PE file: ..." or "Invalid version
// resource: ...") when the headers, the resource directory or the version resource are
// malformed: truncated, out of range, or looping.
std::optional<FileVersion> ReadPeFileVersion(ByteSource& source);
std::optional<FileVersion> ReadPeFileVersion(std::string_view image);

}  // namespace valise::platform
