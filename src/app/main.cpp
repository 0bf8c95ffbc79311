// The entry of the setup program. It marks its thread as the main thread, which every later
// hand-over of work from other threads relies on; the start-up of the setup builds on it.
#include "platform/messages.h"

int main() {
  valise::platform::SetMainThread();
  return 0;
}
