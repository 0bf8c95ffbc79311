#include "platform/messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace valise::platform {
namespace {

TEST(MessagesTest, WaitPumpingWaitsTheTime) {
  SetMainThread();
  const std::uint64_t start = TickCount();
  WaitPumping(120);
  const std::uint64_t elapsed = TickCount() - start;
  EXPECT_GE(elapsed, 120u);
  EXPECT_LT(elapsed, 5000u);
  const std::uint64_t before = TickCount();
  WaitPumping(0);
  EXPECT_LT(TickCount() - before, 1000u);
}

// Work handed over by a worker runs while the main thread waits, and wakes it at once rather
// than after the wait is over; the wait itself still lasts its full time.
TEST(MessagesTest, HandOverRunsDuringWait) {
  SetMainThread();
  std::atomic<bool> ranOnMain{false};
  std::atomic<std::uint64_t> ranAt{0};
  std::atomic<bool> result{false};
  const std::thread::id mainId = std::this_thread::get_id();
  const std::uint64_t start = TickCount();
  std::thread worker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    result = RunOnMainThread(
        [&] {
          ranOnMain = std::this_thread::get_id() == mainId && IsMainThread();
          ranAt = TickCount();
        },
        nullptr);
  });
  WaitPumping(1500);
  const std::uint64_t end = TickCount();
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_TRUE(ranOnMain);
  EXPECT_LT(ranAt - start, 1000u);
  EXPECT_GE(end - start, 1500u);
}

TEST(MessagesTest, ProcessMessagesRunsHandedOverWork) {
  SetMainThread();
  std::atomic<int> runs{0};
  std::thread worker([&] { RunOnMainThread([&] { ++runs; }, nullptr); });
  while (runs == 0) ProcessMessages();
  worker.join();
  EXPECT_EQ(runs, 1);
  // On the main thread itself the work runs at once.
  EXPECT_TRUE(RunOnMainThread([&] { ++runs; }, nullptr));
  EXPECT_EQ(runs, 2);
}

TEST(MessagesTest, OnlyTheMainThreadRunsTheQueue) {
  SetMainThread();
  std::atomic<bool> ran{false};
  std::atomic<bool> cancel{false};
  std::atomic<bool> result{true};
  std::thread worker([&] { result = RunOnMainThread([&] { ran = true; }, &cancel); });
  std::thread other([] {
    for (int i = 0; i < 20; ++i) {
      ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  other.join();
  EXPECT_FALSE(ran);
  cancel = true;
  worker.join();
  EXPECT_FALSE(result);
  EXPECT_FALSE(ran);
  // The withdrawn work is not run later either.
  ProcessMessages();
  EXPECT_FALSE(ran);
}

TEST(MessagesTest, WorkerWaitSleepsWithoutRunningTheQueue) {
  SetMainThread();
  std::uint64_t elapsed = 0;
  std::thread worker([&] {
    const std::uint64_t start = TickCount();
    WaitPumping(60);
    elapsed = TickCount() - start;
  });
  worker.join();
  EXPECT_GE(elapsed, 60u);
}

TEST(MessagesTest, MessageBoxHandlerDecides) {
  std::string seen;
  MessageBoxHandler previous = SetMessageBoxHandler([&](std::string_view text,
                                                        std::string_view caption, MessageIcon icon,
                                                        MessageButtons buttons) {
    seen = std::string(caption) + "|" + std::string(text) + "|" +
           std::to_string(static_cast<int>(icon)) + "|" + std::to_string(static_cast<int>(buttons));
    return MessageResult::No;
  });
  EXPECT_EQ(ShowMessageBox("Abbrechen?", "Setup", MessageIcon::Question, MessageButtons::YesNo),
            MessageResult::No);
  EXPECT_EQ(seen, "Setup|Abbrechen?|4|1");
  MessageBoxHandler mine = SetMessageBoxHandler(previous);
  EXPECT_TRUE(static_cast<bool>(mine));
}

TEST(MessagesTest, TickCountMovesForward) {
  const std::uint64_t a = TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::uint64_t b = TickCount();
  EXPECT_GE(b - a, 30u);
}

}  // namespace
}  // namespace valise::platform
