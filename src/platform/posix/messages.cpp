// The message loop of a program without windows: pumping runs the work handed over to the main
// thread, and waiting sleeps on a condition that a hand-over wakes.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/main_thread_queue.h"
#include "platform/messages.h"

namespace valise::platform {
namespace {

// Set by a hand-over, cleared by the main thread before it runs the queue, so that a wake-up
// between the check and the wait is never lost.
struct Wakeup {
  std::mutex mutex;
  std::condition_variable signal;
  bool pending = false;
};

Wakeup& TheWakeup() {
  static Wakeup* wakeup = new Wakeup;  // never destroyed: workers may outlive static destruction
  return *wakeup;
}

struct BoxHandler {
  std::mutex mutex;
  MessageBoxHandler handler;
};

BoxHandler& TheBoxHandler() {
  static BoxHandler* box = new BoxHandler;
  return *box;
}

const char* IconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error:
      return "Error";
    case MessageIcon::Warning:
      return "Warning";
    case MessageIcon::Information:
      return "Information";
    case MessageIcon::Question:
      return "Question";
    case MessageIcon::None:
      break;
  }
  return nullptr;
}

MessageResult DefaultMessageBox(std::string_view text, std::string_view caption, MessageIcon icon,
                                MessageButtons buttons) {
  std::string line;
  if (const char* name = IconName(icon)) line += std::string("[") + name + "] ";
  if (!caption.empty()) {
    line += caption;
    line += ": ";
  }
  line += text;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  return buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::Yes;
}

}  // namespace

void ProcessMessages() {
  if (!IsMainThread()) return;
  {
    Wakeup& w = TheWakeup();
    std::lock_guard lock(w.mutex);
    w.pending = false;
  }
  detail::RunMainThreadQueue();
}

void WaitPumping(std::uint32_t milliseconds) {
  const std::uint64_t end = TickCount() + milliseconds;
  const bool mainThread = IsMainThread();
  Wakeup& w = TheWakeup();
  for (;;) {
    if (mainThread) ProcessMessages();
    const std::uint64_t now = TickCount();
    if (now >= end) return;
    std::unique_lock lock(w.mutex);
    // Other threads have nothing handed to them: they only sleep.
    w.signal.wait_for(lock, std::chrono::milliseconds(end - now),
                      [&] { return mainThread && w.pending; });
  }
}

std::uint64_t TickCount() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Beep() {
  // A terminal sounds its bell; anything else would only receive a stray control character.
  if (isatty(STDERR_FILENO)) {
    std::fputs("\a", stderr);
    std::fflush(stderr);
  }
}

MessageResult ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon icon,
                             MessageButtons buttons) {
  MessageBoxHandler handler;
  {
    BoxHandler& box = TheBoxHandler();
    std::lock_guard lock(box.mutex);
    handler = box.handler;
  }
  if (handler) return handler(text, caption, icon, buttons);
  return DefaultMessageBox(text, caption, icon, buttons);
}

MessageResult ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon icon,
                             MessageButtons buttons, const MessageBoxPlacement& /*placement*/) {
  // A terminal has no windows to stand among.
  return ShowMessageBox(text, caption, icon, buttons);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  BoxHandler& box = TheBoxHandler();
  std::lock_guard lock(box.mutex);
  MessageBoxHandler previous = std::move(box.handler);
  box.handler = std::move(handler);
  return previous;
}

namespace detail {

void WakeMainThread() {
  Wakeup& w = TheWakeup();
  {
    std::lock_guard lock(w.mutex);
    w.pending = true;
  }
  w.signal.notify_all();
}

}  // namespace detail
}  // namespace valise::platform
