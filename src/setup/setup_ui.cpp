#include "setup/setup_ui.h"

#include <string>

#include "platform/messages.h"
#include "util/file_utils.h"

namespace valise::setup {

void TSetupUI::ProcessMessages() {
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

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

}  // namespace valise::setup
