// Staged files for the backends: a file written under a temporary name and renamed when it is
// complete, where the system offers nothing better.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace valise::platform {

// File::CreateStaged by a temporary name in the folder of `path` (see CreateTemporaryFile),
// without looking whether `path` exists: Commit finds out, or replaces it with `replace`.
std::unique_ptr<File> CreateStagedUnderTemporaryName(std::string_view path, bool replace);

// A bare name for a temporary file, "~VL", six hexadecimal digits, ".TMP"; each call another.
std::string NewTemporaryName();

}  // namespace valise::platform
