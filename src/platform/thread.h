// Scheduling of the calling thread, and a lock and condition for threads that hand work to
// each other.
#pragma once

#include <cstddef>
#include <mutex>

namespace valise::platform {

// Lowers the calling thread to the lowest priority the system offers (idle), so that it runs
// only when nothing else wants the processor. Failure is silently ignored.
void SetCurrentThreadIdlePriority();

namespace detail {
// Room for the backend's own lock or condition inside the object, so that neither needs an
// allocation (the backends check at compile time that theirs fits).
inline constexpr std::size_t kSyncStorageSize = 64;
inline constexpr std::size_t kSyncStorageAlign = 8;
}  // namespace detail

// A lock for std::lock_guard and std::unique_lock. On Windows it is the system's slim lock,
// with Condition its condition variable: under Wine both wait without a call into Wine's
// server, where the C++ library's own wait on semaphores that cost a server call each time a
// thread waits or wakes another (on a run that copies 2,000 files, a sixth of all its calls).
// Elsewhere they are the C++ library's mutex and condition variable.
class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock();
  void unlock();

 private:
  friend class Condition;
  alignas(detail::kSyncStorageAlign) unsigned char storage_[detail::kSyncStorageSize];
};

class Condition {
 public:
  Condition();
  ~Condition();
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;

  // Waits for a notification; `lock` holds the mutex, which is released while waiting. Like
  // any condition, it may return without one.
  void wait(std::unique_lock<Mutex>& lock);
  template <typename Predicate>
  void wait(std::unique_lock<Mutex>& lock, Predicate done) {
    while (!done()) wait(lock);
  }
  void notify_one();
  void notify_all();

 private:
  alignas(detail::kSyncStorageAlign) unsigned char storage_[detail::kSyncStorageSize];
};

}  // namespace valise::platform
