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

}  // namespace
}  // namespace valise::platform
