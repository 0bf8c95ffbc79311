// Scheduling of the calling thread, and the slim lock and condition variable.
#include "platform/thread.h"
#include "platform/win32/winapi.h"

namespace valise::platform {

void SetCurrentThreadIdlePriority() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
}

namespace {

PSRWLOCK Slim(void*& lock) {
  static_assert(sizeof(SRWLOCK) == sizeof(void*));
  return reinterpret_cast<PSRWLOCK>(&lock);
}

PCONDITION_VARIABLE Variable(void*& condition) {
  static_assert(sizeof(CONDITION_VARIABLE) == sizeof(void*));
  return reinterpret_cast<PCONDITION_VARIABLE>(&condition);
}

}  // namespace

void Mutex::lock() {
  AcquireSRWLockExclusive(Slim(lock_));
}

void Mutex::unlock() {
  ReleaseSRWLockExclusive(Slim(lock_));
}

void Condition::wait(std::unique_lock<Mutex>& lock) {
  SleepConditionVariableSRW(Variable(condition_), Slim(lock.mutex()->lock_), INFINITE, 0);
}

void Condition::notify_one() {
  WakeConditionVariable(Variable(condition_));
}

void Condition::notify_all() {
  WakeAllConditionVariable(Variable(condition_));
}

}  // namespace valise::platform
