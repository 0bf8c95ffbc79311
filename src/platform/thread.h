// Scheduling of the calling thread, and a lock and condition for threads that hand work to
// each other.
#pragma once

#include <mutex>

#ifndef _WIN32
#include <condition_variable>
#endif

namespace valise::platform {

// Lowers the calling thread to the lowest priority the system offers (idle), so that it runs
// only when nothing else wants the processor. Failure is silently ignored.
void SetCurrentThreadIdlePriority();

// A lock for std::lock_guard and std::unique_lock. On Windows it is the system's slim lock,
// with Condition its condition variable: under Wine both wait without a call into Wine's
// server, where the C++ library's own wait on semaphores that cost a server call each time a
// thread waits or wakes another (on a run that copies 2,000 files, a sixth of all its calls).
class Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
#ifdef _WIN32
  void lock();
  void unlock();
#else
  void lock() {
    mutex_.lock();
  }
  void unlock() {
    mutex_.unlock();
  }
#endif

 private:
  friend class Condition;
#ifdef _WIN32
  void* lock_ = nullptr;  // an SRWLOCK
#else
  std::mutex mutex_;
#endif
};

class Condition {
 public:
  Condition() = default;
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;

  // Waits for a notification; `lock` holds the mutex, which is released while waiting. Like
  // any condition, it may return without one.
  void wait(std::unique_lock<Mutex>& lock);
  template <typename Predicate>
  void wait(std::unique_lock<Mutex>& lock, Predicate done) {
    while (!done()) wait(lock);
  }
#ifdef _WIN32
  void notify_one();
  void notify_all();
#else
  void notify_one() {
    condition_.notify_one();
  }
  void notify_all() {
    condition_.notify_all();
  }
#endif

 private:
#ifdef _WIN32
  void* condition_ = nullptr;  // a CONDITION_VARIABLE
#else
  std::condition_variable condition_;
#endif
};

#ifndef _WIN32
inline void Condition::wait(std::unique_lock<Mutex>& lock) {
  std::unique_lock<std::mutex> held(lock.mutex()->mutex_, std::adopt_lock);
  condition_.wait(held);
  held.release();
}
#endif

}  // namespace valise::platform
