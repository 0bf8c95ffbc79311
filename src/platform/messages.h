// The main thread's message loop, the hand-over of work from other threads to the main
// thread, message boxes and the system beep.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>

namespace valise::platform {

// Marks the calling thread as the main thread. The program entry calls it first; until then
// the first thread that pumps counts as the main thread.
void SetMainThread();
bool IsMainThread();

// Dispatches every window message waiting for the calling thread and runs the work handed
// over to the main thread (when called on the main thread).
void ProcessMessages();

// Waits while dispatching messages: returns once `milliseconds` have passed.
void WaitPumping(std::uint32_t milliseconds);

// Runs `work` on the main thread and waits until it has run there, which happens while the
// main thread pumps. Returns false without running it when `cancel` becomes set before the
// main thread gets to it. Called on the main thread, it runs `work` at once.
bool RunOnMainThread(const std::function<void()>& work, const std::atomic<bool>* cancel);

// Milliseconds since some fixed point, as GetTickCount counts them.
std::uint64_t TickCount();

void Beep();

enum class MessageIcon { None, Error, Warning, Information, Question };
enum class MessageButtons { Ok, YesNo, YesNoCancel };
enum class MessageResult { Ok, Yes, No, Cancel };

// Shows a message box owned by the program's main window. Where no box can be shown (Linux,
// or a test) the handler set below decides the answer; without one, the text is written to the
// standard error stream and the answer is Ok, or Yes for a question.
MessageResult ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon icon,
                             MessageButtons buttons);

// Where a box stands among the windows: its owner (a window handle of the platform; none means
// the active window), and whether it is brought to the foreground and kept above every window.
struct MessageBoxPlacement {
  void* owner = nullptr;
  bool foreground = false;
  bool topmost = false;
};
// The same box with its placement. The handler below decides as for any other box.
MessageResult ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon icon,
                             MessageButtons buttons, const MessageBoxPlacement& placement);

using MessageBoxHandler = std::function<MessageResult(
    std::string_view text, std::string_view caption, MessageIcon icon, MessageButtons buttons)>;
// Replaces how message boxes are shown, for tests and unattended runs; an empty handler
// restores the default. Returns the previous handler.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace valise::platform
