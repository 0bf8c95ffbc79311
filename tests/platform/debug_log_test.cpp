// The debug log file: lines are appended to it, and a file that cannot be opened is reported
// when it is set, not lost silently line by line.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/debug.h"
#include "platform/errors.h"
#include "test_support.h"

namespace valise::platform {
namespace {

using testing::ReadHostFile;
using testing::TempDir;

TEST(DebugLogFile, IsOpenedWhenSetAndAFailureIsReported) {
  TempDir dir;
  dir.Write("setup.log", "before\r\n");
  ASSERT_TRUE(SetDebugLogFile(dir.win("SETUP.LOG")));
  DebugOutput("one");

  // A missing folder, or a folder in place of the file: refused, and no log is kept from then
  // on, not even the one set before.
  EXPECT_FALSE(SetDebugLogFile(dir.win("missing\\setup.log")));
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  DebugOutput("lost");
  EXPECT_FALSE(std::filesystem::exists(dir.host() / "missing"));
  std::filesystem::create_directory(dir.host() / "folder.log");
  EXPECT_FALSE(SetDebugLogFile(dir.win("folder.log")));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  DebugOutput("lost");

  ASSERT_TRUE(SetDebugLogFile(dir.win("setup.log")));
  DebugOutput("two\r\n");
  EXPECT_TRUE(SetDebugLogFile(""));
  DebugOutput("not logged");
  EXPECT_EQ(ReadHostFile(dir.host() / "setup.log"), "before\r\none\r\ntwo\r\n");
}

}  // namespace
}  // namespace valise::platform
