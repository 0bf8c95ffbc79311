// The lock and condition that threads hand work over with: values pass one at a time through a
// single slot, none lost or seen twice, and notify_all wakes every waiter.
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace valise::platform {
namespace {

TEST(Thread, LockAndConditionHandOverWork) {
  Mutex mutex;
  Condition changed;
  int slot = 0;  // 0: empty
  bool open = false;
  long long received = 0;
  int waiting = 0;

  std::thread consumer([&] {
    for (int i = 1; i <= 2000; ++i) {
      std::unique_lock<Mutex> lock(mutex);
      changed.wait(lock, [&] { return slot != 0; });
      received += slot;
      slot = 0;
      changed.notify_all();
    }
  });
  for (int i = 1; i <= 2000; ++i) {
    std::unique_lock<Mutex> lock(mutex);
    changed.wait(lock, [&] { return slot == 0; });
    slot = i;
    changed.notify_one();
  }
  consumer.join();
  EXPECT_EQ(received, 2000LL * 2001 / 2);

  // Several threads wait for one gate; one notify_all lets them all through.
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      std::unique_lock<Mutex> lock(mutex);
      ++waiting;
      changed.notify_all();
      changed.wait(lock, [&] { return open; });
      --waiting;
    });
  }
  {
    std::unique_lock<Mutex> lock(mutex);
    changed.wait(lock, [&] { return waiting == 4; });
    open = true;
  }
  changed.notify_all();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(waiting, 0);
}

}  // namespace
}  // namespace valise::platform
