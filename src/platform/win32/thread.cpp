// Scheduling of the calling thread.
#include "platform/thread.h"
#include "platform/win32/winapi.h"

namespace valise::platform {

void SetCurrentThreadIdlePriority() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
}

}  // namespace valise::platform
