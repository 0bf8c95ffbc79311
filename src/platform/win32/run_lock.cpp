// Run locks as named mutexes: "Local\" (the session) or "Global\" (the machine) and
// "Setup run " with the name in upper case, backslashes made slashes (a mutex name may hold
// none). A mutex whose holder ended without releasing it is handed to the next waiter as
// abandoned: it is taken all the same, since what a killed run left is for the next run to
// finish.
#include <string>

#include "platform/errors.h"
#include "platform/run_lock.h"
#include "platform/text.h"
#include "platform/win32/winapi.h"

namespace valise::platform {

namespace {

class MutexRunLock final : public RunLock {
 public:
  explicit MutexRunLock(HANDLE mutex) : mutex_(mutex) {}
  ~MutexRunLock() override {
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
  MutexRunLock(const MutexRunLock&) = delete;
  MutexRunLock& operator=(const MutexRunLock&) = delete;

 private:
  HANDLE mutex_;
};

}  // namespace

std::unique_ptr<RunLock> RunLock::Take(std::string_view name, bool allUsers,
                                       const std::function<void()>& waiting) {
  std::string full = std::string(allUsers ? "Global\\" : "Local\\") + "Setup run ";
  for (const char c : UpperCase(name)) full += c == '\\' ? '/' : c;
  HANDLE mutex = CreateMutexW(nullptr, FALSE, win32::Wide(full).c_str());
  if (mutex == nullptr) ThrowLastOSError("create the lock", full);
  DWORD result = WaitForSingleObject(mutex, 0);
  if (result == WAIT_TIMEOUT) {
    if (waiting) waiting();
    result = WaitForSingleObject(mutex, INFINITE);
  }
  if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
    const DWORD error = result == WAIT_FAILED ? GetLastError() : ERROR_INVALID_HANDLE;
    CloseHandle(mutex);
    ThrowOSError(error, "take the lock", full);
  }
  return std::make_unique<MutexRunLock>(mutex);
}

}  // namespace valise::platform
