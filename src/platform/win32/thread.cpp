// Scheduling of the calling thread, and the slim lock and condition variable.
#include "platform/thread.h"
#include "platform/win32/winapi.h"

namespace valise::platform {

void SetCurrentThreadIdlePriority() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
}

namespace {

static_assert(sizeof(SRWLOCK) <= detail::kSyncStorageSize &&
              alignof(SRWLOCK) <= detail::kSyncStorageAlign);
static_assert(sizeof(CONDITION_VARIABLE) <= detail::kSyncStorageSize &&
              alignof(CONDITION_VARIABLE) <= detail::kSyncStorageAlign);

PSRWLOCK Slim(unsigned char* storage) {
  return reinterpret_cast<PSRWLOCK>(storage);
}

PCONDITION_VARIABLE Variable(unsigned char* storage) {
  return reinterpret_cast<PCONDITION_VARIABLE>(storage);
}

}  // namespace

// Neither needs to be released: a slim lock and a condition variable own nothing.
Mutex::Mutex() {
  InitializeSRWLock(Slim(storage_));
}

Mutex::~Mutex() = default;

void Mutex::lock() {
  AcquireSRWLockExclusive(Slim(storage_));
}

void Mutex::unlock() {
  ReleaseSRWLockExclusive(Slim(storage_));
}

Condition::Condition() {
  InitializeConditionVariable(Variable(storage_));
}

Condition::~Condition() = default;

void Condition::wait(std::unique_lock<Mutex>& lock) {
  SleepConditionVariableSRW(Variable(storage_), Slim(lock.mutex()->storage_), INFINITE, 0);
}

void Condition::notify_one() {
  WakeConditionVariable(Variable(storage_));
}

void Condition::notify_all() {
  WakeAllConditionVariable(Variable(storage_));
}

}  // namespace valise::platform
