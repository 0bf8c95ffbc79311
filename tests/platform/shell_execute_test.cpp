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

void SetVariable(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv((name + "=" + value).c_str());
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

TEST(ExpandEnvironmentTest, KnownNamesAreReplaced) {
  SetVariable("VALISE_EXPAND_A", "alpha");
  SetVariable("VALISE_EXPAND_B", "C:\\Beta Dir");
  EXPECT_EQ(ExpandEnvironmentStrings("%VALISE_EXPAND_A%\\bin"), "alpha\\bin");
  EXPECT_EQ(ExpandEnvironmentStrings("%valise_expand_a%"), "alpha");
  EXPECT_EQ(ExpandEnvironmentStrings("x%VALISE_EXPAND_A%%VALISE_EXPAND_B%y"),
            "xalphaC:\\Beta Diry");
  EXPECT_EQ(ExpandEnvironmentStrings("no variables"), "no variables");
  EXPECT_EQ(ExpandEnvironmentStrings(""), "");
}

TEST(ExpandEnvironmentTest, UnknownNamesAndLoneSignsStay) {
  SetVariable("VALISE_EXPAND_A", "alpha");
  EXPECT_EQ(ExpandEnvironmentStrings("%VALISE_NO_SUCH_VAR%"), "%VALISE_NO_SUCH_VAR%");
  EXPECT_EQ(ExpandEnvironmentStrings("100%"), "100%");
  EXPECT_EQ(ExpandEnvironmentStrings("%%"), "%%");
  EXPECT_EQ(ExpandEnvironmentStrings("50%% off"), "50%% off");
  EXPECT_EQ(ExpandEnvironmentStrings("%VALISE_EXPAND_A"), "%VALISE_EXPAND_A");
  // Scanning goes on after an unknown name's closing sign.
  EXPECT_EQ(ExpandEnvironmentStrings("%VALISE_NO1%VALISE_EXPAND_A%"),
            "%VALISE_NO1%VALISE_EXPAND_A%");
  EXPECT_EQ(ExpandEnvironmentStrings("%VALISE_NO1%-%VALISE_EXPAND_A%"), "%VALISE_NO1%-alpha");
}

TEST(ShellExecuteTest, MissingFileFails) {
  TempDir temp;
  EXPECT_FALSE(ShellExecute(temp.win("missing.exe"), "", "", 1));
  EXPECT_FALSE(ShellExecute(temp.win("missing\\missing.txt"), "", "open", 1));
}

#ifndef _WIN32
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
  SetVariable("VALISE_SCRIPT_DIR", temp.win());
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
#endif

}  // namespace
}  // namespace valise::platform
