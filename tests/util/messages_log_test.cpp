#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/debug.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "test_support.h"
#include "util/file_utils.h"

namespace valise {
namespace {

using testing::TempDir;

TEST(WaitPumpingTest, LongWaitIsRefusedAtOnce) {
  platform::SetMainThread();
  const std::uint64_t start = platform::TickCount();
  WaitPumping(20000);
  WaitPumping(10001);
  EXPECT_LT(platform::TickCount() - start, 2000u);
}

TEST(WaitPumpingTest, WaitsTheTimeUpToTheLimit) {
  platform::SetMainThread();
  const std::uint64_t start = platform::TickCount();
  WaitPumping(200);
  EXPECT_GE(platform::TickCount() - start, 200u);
}

// Work a worker hands to the main thread runs while the main thread waits.
TEST(WaitPumpingTest, RunsHandedOverWork) {
  platform::SetMainThread();
  std::atomic<bool> ran{false};
  std::atomic<bool> onMain{false};
  std::thread worker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    platform::RunOnMainThread(
        [&] {
          onMain = platform::IsMainThread();
          ran = true;
        },
        nullptr);
  });
  WaitPumping(600);
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(onMain);
}

TEST(DebugLogTest, EmptyAndLongLinesReachTheLogWhole) {
  TempDir temp;
  platform::SetDebugLogFile(temp.win("setup.log"));
  DebugLog("");
  DebugLog(std::string(100000, 'x'));
  platform::SetDebugLogFile("");
  DebugLog("not logged");
  EXPECT_EQ(testing::WithoutTimeStamps(testing::ReadHostFile(temp.host() / "setup.log")),
            "\r\n" + std::string(100000, 'x') + "\r\n");
}

TEST(DebugLogTest, LinesReachTheLogFile) {
  TempDir temp;
  const std::string log = temp.win("setup.log");
  platform::SetDebugLogFile(log);
  DebugLog("Installing x_1_2 'Title'...");
  DebugLog("Deleting file 0 a.txt");
  platform::SetDebugLogFile("");
  DebugLog("not logged");
  EXPECT_EQ(testing::WithoutTimeStamps(testing::ReadHostFile(temp.host() / "setup.log")),
            "Installing x_1_2 'Title'...\r\nDeleting file 0 a.txt\r\n");
}

TEST(DebugLogTest, UnwritableLogFileIsIgnored) {
  TempDir temp;
  platform::SetDebugLogFile(temp.win("missing\\folder\\setup.log"));
  DebugLog("line");
  platform::SetDebugLogFile("");
  EXPECT_FALSE(std::filesystem::exists(temp.host() / "missing"));
}

}  // namespace
}  // namespace valise
