// File versions on the posix backend.
#include <gtest/gtest.h>

#include "../pe_image.h"
#include "platform/errors.h"
#include "platform/pe_version.h"
#include "platform/version.h"
#include "test_support.h"

namespace valise::platform {
namespace {

using valise::testing::BuildPeImage;
using valise::testing::TempDir;

TEST(FileVersion, NothingForCorruptFiles) {
  TempDir dir;
  testing::PeImage loop = BuildPeImage();
  loop.Put32(loop.nameEntry + 4, 0x80000000);
  dir.Write("loop.dll", loop.bytes);
  EXPECT_FALSE(GetFileVersion(dir.win("loop.dll")));
}

}  // namespace
}  // namespace valise::platform
