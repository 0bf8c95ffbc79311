// The debug log file: lines are appended to it after their local time, and a file that cannot
// be opened is reported when it is set, not lost silently line by line.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <iomanip>
#include <sstream>
#include <string>

#include "platform/debug.h"
#include "platform/errors.h"
#include "test_support.h"

namespace valise::platform {
namespace {

using testing::ReadHostFile;
using testing::TempDir;
using testing::WithoutTimeStamps;

// The time a log line's stamp names, read as local time.
std::time_t StampTime(const std::string& line) {
  std::tm local{};
  std::istringstream in(line);
  in >> std::get_time(&local, "%Y-%m-%dT%H:%M:%S");
  EXPECT_FALSE(in.fail()) << line;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

TEST(DebugLogFile, IsOpenedWhenSetAndAFailureIsReported) {
  TempDir dir;
  dir.Write("setup.log", "before\r\n");
  ASSERT_TRUE(SetDebugLogFile(dir.win("SETUP.LOG")));
  const std::time_t before = std::time(nullptr);
  DebugOutput("one");
  const std::time_t after = std::time(nullptr);

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
  // Each line written starts with its local time, the lines already there are left alone.
  const std::string log = ReadHostFile(dir.host() / "setup.log");
  ASSERT_TRUE(log.starts_with("before\r\n"));
  EXPECT_EQ(WithoutTimeStamps(log.substr(8)), "one\r\ntwo\r\n");
  const std::time_t stamped = StampTime(log.substr(8));
  EXPECT_GE(stamped, before - 1);
  EXPECT_LE(stamped, after + 1);
}

}  // namespace
}  // namespace valise::platform
