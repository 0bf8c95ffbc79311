// The queue of work handed over to the main thread, shared by both backends: workers add to
// it, and the main thread runs it whenever it pumps messages.
#pragma once

#include <functional>

namespace valise::platform::detail {

// Runs every piece of work waiting in the queue. Called on the main thread only.
void RunMainThreadQueue();

// Called by the queue after it has added work, so that a main thread waiting for window
// messages wakes up. Each backend provides it.
void WakeMainThread();

}  // namespace valise::platform::detail
