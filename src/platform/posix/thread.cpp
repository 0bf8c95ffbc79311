#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>

namespace valise::platform {

void SetCurrentThreadIdlePriority() {
  sched_param param{};
  param.sched_priority = 0;
  pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
}

}  // namespace valise::platform
