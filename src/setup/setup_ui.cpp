#include "setup/setup_ui.h"

#include <string>

#include "platform/messages.h"
#include "util/file_utils.h"

namespace valise::setup {

void TSetupUI::ProcessMessages() {
  // The run asks for this between every two files. Looking at the queue every few
  // milliseconds keeps the window as responsive and spares a call into the system per file.
  const std::uint64_t now = platform::TickCount();
  if (pumped_ && now - lastPump_ < kPumpInterval) return;
  pumped_ = true;
  lastPump_ = now;
  platform::ProcessMessages();
}

void TSetupUI::WaitPumping(std::uint32_t milliseconds) {
  valise::WaitPumping(milliseconds);
}

void TSetupUI::ShowError(std::string_view text) {
  platform::ShowMessageBox(text, "Setup", platform::MessageIcon::Error,
                           platform::MessageButtons::Ok);
}

void TSetupUI::ShowInformation(std::string_view text, std::string_view caption) {
  platform::ShowMessageBox(text, caption, platform::MessageIcon::Information,
                           platform::MessageButtons::Ok);
}

void TSetupUI::WarnMissingString(std::string_view identifier) {
  if (skipMissingStrings_) return;
  platform::ShowMessageBox("Application string missing (" + std::string(identifier) + ")!",
                           "Warning", platform::MessageIcon::Warning, platform::MessageButtons::Ok);
  ++missingStringWarnings_;
  if (missingStringWarnings_ % 5 == 0 &&
      platform::ShowMessageBox("Skip further warnings?", "Confirm", platform::MessageIcon::Question,
                               platform::MessageButtons::YesNoCancel) ==
          platform::MessageResult::Yes) {
    skipMissingStrings_ = true;
  }
}

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

}  // namespace valise::setup
