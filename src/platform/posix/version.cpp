// File versions on the posix backend: the version resource is read out of the PE file by the
// shared reader, through the platform's own files.
#include <algorithm>
#include <memory>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/pe_version.h"
#include "platform/version.h"

namespace valise::platform {
std::optional<FileVersion> GetFileVersion(std::string_view path) {
  // A malformed file has no usable version, exactly like a file without one: callers decide
  // the same way for both.
  try {
    std::unique_ptr<File> file = File::OpenRead(path);
    if (!file) return std::nullopt;
    FileSource source(*file);
    return ReadPeFileVersion(source);
  } catch (const Error&) {
    return std::nullopt;
  }
}

}  // namespace valise::platform
