// Scheduling of the calling thread, and the lock and condition as the C++ library's own.
#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>

#include <condition_variable>
#include <new>

namespace valise::platform {

void SetCurrentThreadIdlePriority() {
  sched_param param{};
  param.sched_priority = 0;
  pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
}

namespace {

template <typename T>
constexpr bool kFits = sizeof(T) <= detail::kSyncStorageSize &&
                       alignof(T) <= detail::kSyncStorageAlign;
static_assert(kFits<std::mutex> && kFits<std::condition_variable>);

std::mutex& Native(unsigned char* storage) {
  return *std::launder(reinterpret_cast<std::mutex*>(storage));
}

std::condition_variable& Variable(unsigned char* storage) {
  return *std::launder(reinterpret_cast<std::condition_variable*>(storage));
}

}  // namespace

Mutex::Mutex() {
  new (storage_) std::mutex;
}

Mutex::~Mutex() {
  Native(storage_).~mutex();
}

void Mutex::lock() {
  Native(storage_).lock();
}

void Mutex::unlock() {
  Native(storage_).unlock();
}

Condition::Condition() {
  new (storage_) std::condition_variable;
}

Condition::~Condition() {
  Variable(storage_).~condition_variable();
}

void Condition::wait(std::unique_lock<Mutex>& lock) {
  std::unique_lock<std::mutex> held(Native(lock.mutex()->storage_), std::adopt_lock);
  Variable(storage_).wait(held);
  held.release();
}

void Condition::notify_one() {
  Variable(storage_).notify_one();
}

void Condition::notify_all() {
  Variable(storage_).notify_all();
}

}  // namespace valise::platform
