// Staged files for the backends: a file written under a temporary name and renamed when it is
// complete, where the system offers nothing better.
#pragma once

#include <memory>
#include <string_view>

#include "platform/files.h"

namespace valise::platform {

// File::CreateStaged by a temporary name in the folder of `path` (see CreateTemporaryFile),
// without looking whether `path` exists: Commit finds out.
std::unique_ptr<File> CreateStagedUnderTemporaryName(std::string_view path);

}  // namespace valise::platform
