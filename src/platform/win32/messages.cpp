// The main thread's message pump, message boxes and the beep. The hand-over queue itself is
// shared; this backend wakes a main thread that sleeps in a message wait by posting it a null
// message.
#include <atomic>
#include <mutex>

#include "platform/main_thread_queue.h"
#include "platform/messages.h"
#include "platform/win32/winapi.h"

namespace valise::platform {
namespace {

// The main thread's id as PostThreadMessage wants it, noted when the main thread first pumps
// (which is also when it gets its message queue).
std::atomic<DWORD> mainThreadId{0};

std::mutex handlerMutex;
MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}

// Dispatches the waiting messages; false when the quit message came, which is posted again for
// the message loop that owns it.
bool PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

bool PumpAndRunQueue() {
  const bool quit = !PumpMessages();
  if (IsMainThread()) {
    mainThreadId.store(GetCurrentThreadId());
    detail::RunMainThreadQueue();
  }
  return !quit;
}

}  // namespace

void ProcessMessages() {
  PumpAndRunQueue();
}

void WaitPumping(std::uint32_t milliseconds) {
  const std::uint64_t end = GetTickCount64() + milliseconds;
  bool pumping = true;
  for (;;) {
    if (pumping) {
      pumping = PumpAndRunQueue();
    } else if (IsMainThread()) {
      detail::RunMainThreadQueue();
    }
    const std::uint64_t now = GetTickCount64();
    if (now >= end) return;
    const auto remaining = static_cast<DWORD>(end - now);
    if (pumping) {
      MsgWaitForMultipleObjectsEx(0, nullptr, remaining, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    } else {
      // After a quit message the queue would wake the wait at once: sleep in small steps.
      Sleep(remaining < 20 ? remaining : 20);
    }
  }
}

std::uint64_t TickCount() {
  return GetTickCount64();
}

void Beep() {
  MessageBeep(MB_OK);
}

MessageResult ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon icon,
                             MessageButtons buttons) {
  return ShowMessageBox(text, caption, icon, buttons, MessageBoxPlacement{});
}

MessageResult ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon icon,
                             MessageButtons buttons, const MessageBoxPlacement& placement) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(handlerMutex);
    handler = Handler();
  }
  if (handler) return handler(text, caption, icon, buttons);

  UINT style = MB_OK;
  switch (buttons) {
    case MessageButtons::Ok:
      break;
    case MessageButtons::YesNo:
      style = MB_YESNO;
      break;
    case MessageButtons::YesNoCancel:
      style = MB_YESNOCANCEL;
      break;
  }
  switch (icon) {
    case MessageIcon::None:
      break;
    case MessageIcon::Error:
      style |= MB_ICONERROR;
      break;
    case MessageIcon::Warning:
      style |= MB_ICONWARNING;
      break;
    case MessageIcon::Information:
      style |= MB_ICONINFORMATION;
      break;
    case MessageIcon::Question:
      style |= MB_ICONQUESTION;
      break;
  }
  if (placement.foreground) style |= MB_SETFOREGROUND;
  if (placement.topmost) style |= MB_TOPMOST;
  HWND owner = placement.owner != nullptr ? static_cast<HWND>(placement.owner) : GetActiveWindow();
  switch (MessageBoxW(owner, win32::Wide(text).c_str(), win32::Wide(caption).c_str(), style)) {
    case IDYES:
      return MessageResult::Yes;
    case IDNO:
      return MessageResult::No;
    case IDCANCEL:
      return MessageResult::Cancel;
    default:
      return MessageResult::Ok;
  }
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(handlerMutex);
  MessageBoxHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

namespace detail {

void WakeMainThread() {
  const DWORD thread = mainThreadId.load();
  if (thread != 0) PostThreadMessageW(thread, WM_NULL, 0, 0);
}

}  // namespace detail
}  // namespace valise::platform
