// The front end of an interactive run on Windows: the setup window. It is the engine's user
// interface too, so that the run's progress shows in the window's progress bar and the run's
// boxes belong to the window.
#include <exception>

#include "platform/messages.h"
#include "ui/front_end.h"
#include "ui/win32/main_form.h"
#include "util/file_utils.h"

namespace valise::ui {

namespace {

class TWin32FrontEnd : public TFrontEnd {
 public:
  void Run(setup::TSetupDataModule& setupData) override {
    form_ = std::make_unique<win32::TMainForm>(setupData,
                                               [this](std::string_view text) { ShowError(text); });
    const std::string error = form_->Create();
    if (!error.empty()) {
      // The selected application's directory failed: the box comes first, then the window
      // opens all the same.
      DebugLog("Error: " + error);
      ShowError(setup::ErrorBoxText(error));
    }
    form_->ShowAndRun();
    form_.reset();
  }

  void SetProgressVisible(bool visible) override {
    if (HWND bar = ProgressBar()) ShowWindow(bar, visible ? SW_SHOW : SW_HIDE);
  }
  void SetProgressMax(int maximum) override {
    if (HWND bar = ProgressBar()) SendMessageW(bar, PBM_SETRANGE32, 0, maximum);
  }
  void SetProgressPosition(int position) override {
    if (HWND bar = ProgressBar()) SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  }
  int ProgressPosition() const override {
    HWND bar = ProgressBar();
    return bar != nullptr ? static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)) : 0;
  }

  void ShowError(std::string_view text) override {
    platform::ShowMessageBox(text, "Setup", platform::MessageIcon::Error,
                             platform::MessageButtons::Ok, {Window(), false, false});
  }
  // The completion message belongs to the window and comes to the front above everything.
  void ShowInformation(std::string_view text, std::string_view caption) override {
    platform::ShowMessageBox(text, caption, platform::MessageIcon::Information,
                             platform::MessageButtons::Ok, {Window(), true, true});
  }

 private:
  HWND Window() const { return form_ ? form_->Handle() : nullptr; }
  HWND ProgressBar() const { return form_ && form_->Handle() ? form_->ProgressBar() : nullptr; }

  std::unique_ptr<win32::TMainForm> form_;
};

}  // namespace

std::unique_ptr<TFrontEnd> CreateFrontEnd() {
  return std::make_unique<TWin32FrontEnd>();
}

}  // namespace valise::ui
