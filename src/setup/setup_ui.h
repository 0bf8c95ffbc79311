// What the setup engine needs of whoever runs it: a progress bar, message boxes and the message
// pump. A silent run, the setup window, a terminal front end and the tests each give their own;
// the engine never reaches around this interface to a window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace valise::setup {

class TSetupUI {
 public:
  virtual ~TSetupUI() = default;

  // Lets pending window messages (and work handed to the main thread) be processed.
  virtual void ProcessMessages();
  // Waits while processing messages.
  virtual void WaitPumping(std::uint32_t milliseconds);

  // The progress bar. A silent run has none; the engine does not touch it then.
  virtual void SetProgressVisible(bool /*visible*/) {}
  virtual void SetProgressMax(int /*maximum*/) {}
  virtual void SetProgressPosition(int /*position*/) {}
  virtual int ProgressPosition() const { return 0; }

  // The "Setup" error box (stop icon) with the text as given.
  virtual void ShowError(std::string_view text);
  // The completion message: information icon, brought to the foreground and kept on top.
  virtual void ShowInformation(std::string_view text, std::string_view caption);
  // A string the text pool does not hold, by its identifier: the "Warning" box "Application
  // string missing (IDENTIFIER)!", and after every fifth such box the question "Skip further
  // warnings?" (Yes, No, Cancel); Yes silences the rest of this UI's missing-string warnings.
  virtual void WarnMissingString(std::string_view identifier);

 private:
  // Messages are looked at when this many milliseconds have passed since the last look.
  static constexpr std::uint64_t kPumpInterval = 10;
  bool pumped_ = false;
  std::uint64_t lastPump_ = 0;
  int missingStringWarnings_ = 0;  // boxes shown
  bool skipMissingStrings_ = false;
};

// The error text as the error box shows it: a full stop is appended when the last character's
// code lies above that of ".", so a message ending in "." or in a quote gets none.
std::string ErrorBoxText(std::string_view message);

}  // namespace valise::setup
