// Version resources of PE files.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace valise::platform {

// The fixed file version of a VS_FIXEDFILEINFO: dwFileVersionMS and dwFileVersionLS.
struct FileVersion {
  std::uint32_t ms = 0;
  std::uint32_t ls = 0;
  std::uint64_t value() const { return (std::uint64_t{ms} << 32) | ls; }
  friend bool operator==(const FileVersion&, const FileVersion&) = default;
};

// The file's fixed file version; nothing when the file cannot be read, is no PE file, or has
// no version resource.
std::optional<FileVersion> GetFileVersion(std::string_view path);

}  // namespace valise::platform
