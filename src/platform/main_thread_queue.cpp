#include "platform/main_thread_queue.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/messages.h"

namespace valise::platform {
namespace {

// One piece of handed-over work. The worker waits on `done`; the main thread sets it after
// running the work, or the worker withdraws the item when it is cancelled first.
struct Item {
  const std::function<void()>* work = nullptr;
  bool running = false;  // the main thread has taken it: the worker must wait for it
  bool done = false;
  bool withdrawn = false;
};

struct Queue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::shared_ptr<Item>> items;
  std::thread::id mainThread;
  bool mainThreadSet = false;
};

Queue& TheQueue() {
  static Queue* queue = new Queue;  // never destroyed: workers may outlive static destruction
  return *queue;
}

}  // namespace

void SetMainThread() {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  q.mainThread = std::this_thread::get_id();
  q.mainThreadSet = true;
}

bool IsMainThread() {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  if (!q.mainThreadSet) {
    q.mainThread = std::this_thread::get_id();
    q.mainThreadSet = true;
  }
  return q.mainThread == std::this_thread::get_id();
}

bool RunOnMainThread(const std::function<void()>& work, const std::atomic<bool>* cancel) {
  if (IsMainThread()) {
    work();
    return true;
  }
  Queue& q = TheQueue();
  auto item = std::make_shared<Item>();
  item->work = &work;
  {
    std::lock_guard lock(q.mutex);
    q.items.push_back(item);
  }
  detail::WakeMainThread();
  std::unique_lock lock(q.mutex);
  // The cancel flag is polled: whoever sets it does not know about this queue.
  while (!item->done) {
    if (cancel != nullptr && cancel->load() && !item->running) {
      item->withdrawn = true;
      return false;
    }
    q.changed.wait_for(lock, std::chrono::milliseconds(20));
  }
  return true;
}

namespace detail {

void RunMainThreadQueue() {
  Queue& q = TheQueue();
  std::unique_lock lock(q.mutex);
  while (!q.items.empty()) {
    std::shared_ptr<Item> item = q.items.front();
    q.items.pop_front();
    if (item->withdrawn) continue;
    item->running = true;
    // The worker is blocked until `done` is set, so `work` stays alive while it runs. The lock
    // is released meanwhile so that the work may itself hand over or wait.
    lock.unlock();
    (*item->work)();
    lock.lock();
    item->done = true;
    q.changed.notify_all();
  }
}

}  // namespace detail
}  // namespace valise::platform
