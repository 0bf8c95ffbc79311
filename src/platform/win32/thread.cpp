#include "platform/thread.h"

#include <windows.h>

namespace valise::platform {

void SetCurrentThreadIdlePriority() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
}

}  // namespace valise::platform
