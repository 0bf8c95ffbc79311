// Starting files on the posix backend: native programs and documents.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/errors.h"
#include "platform/shell.h"
#include "test_support.h"

namespace valise::platform {
namespace {

namespace fs = std::filesystem;
using valise::testing::TempDir;

bool WaitForFile(const fs::path& path) {
  for (int i = 0; i < 250; ++i) {
    if (fs::exists(path) && fs::file_size(path) > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// A native program is started with the parameters split as the Windows runtime splits them,
// and the call does not wait for it.
TEST(ShellExecuteTest, StartsNativeProgramWithParameters) {
  TempDir temp;
  const fs::path script = temp.Write(
      "run.sh",
      "#!/bin/sh\nprintf '%s|%s|%s' \"$1\" \"$2\" \"$3\" > \"$(dirname \"$0\")/out.tmp\"\n"
      "mv \"$(dirname \"$0\")/out.tmp\" \"$(dirname \"$0\")/marker\"\n");
  fs::permissions(script, fs::perms::owner_exec, fs::perm_options::add);
  ::setenv("VALISE_SCRIPT_DIR", temp.win().c_str(), 1);
  EXPECT_TRUE(ShellExecute("%VALISE_SCRIPT_DIR%\\RUN.SH", "\"two words\" plain a\\\"b", "", 1));
  ASSERT_TRUE(WaitForFile(temp.host() / "marker"));
  EXPECT_EQ(valise::testing::ReadHostFile(temp.host() / "marker"), "two words|plain|a\"b");
}

TEST(ShellExecuteTest, UnknownVerbIsRefused) {
  TempDir temp;
  const fs::path script = temp.Write("run.sh", "#!/bin/sh\ntouch \"$(dirname \"$0\")/marker\"\n");
  fs::permissions(script, fs::perms::owner_exec, fs::perm_options::add);
  SetLastError(kErrorSuccess);
  EXPECT_FALSE(ShellExecute(temp.win("run.sh"), "", "print", 1));
  EXPECT_NE(LastError(), kErrorSuccess);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fs::exists(temp.host() / "marker"));
}

TEST(ShellExecuteTest, MissingFileSetsLastError) {
  TempDir temp;
  SetLastError(kErrorSuccess);
  EXPECT_FALSE(ShellExecute(temp.win("missing.exe"), "", "", 1));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

}  // namespace
}  // namespace valise::platform
