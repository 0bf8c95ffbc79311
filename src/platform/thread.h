// Scheduling of the calling thread.
#pragma once

namespace valise::platform {

// Lowers the calling thread to the lowest priority the system offers (idle), so that it runs
// only when nothing else wants the processor. Failure is silently ignored.
void SetCurrentThreadIdlePriority();

}  // namespace valise::platform
