// The setup window: the description, the checked list of the run's applications, the selected
// application's installation directory with its browse button, the progress bar of the run,
// Continue and Cancel, and the logo composited onto the window. Its rules live in
// TSetupWindowModel; this class shows them and turns clicks into them.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/image.h"
#include "setup/data_module.h"
#include "ui/setup_window_model.h"
#include "ui/win32/windows_ui.h"

namespace valise::ui::win32 {

class TMainForm {
 public:
  // `showError` shows a handler's error in the "Setup" box.
  TMainForm(setup::TSetupDataModule& setupData, std::function<void(std::string_view)> showError);
  ~TMainForm();
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // Creates the window hidden (FormCreate) and fills it. An error of the set-up (the selected
  // application's directory cannot be expanded) is returned as its message; the window is
  // complete all the same.
  std::string Create();
  // Shows the window and runs its message loop until the window is closed.
  void ShowAndRun();

  HWND Handle() const { return hwnd_; }
  HWND ProgressBar() const { return progressBar_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT ListWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Enter and Escape as a dialog has them; true when the message was used.
  bool DialogKey(const MSG& msg);

  void CreateControls();
  void FormCreate();
  void FormDestroy();
  void FormPaint(HDC dc);
  void PaintLogo(HDC dc);
  void PaintImage1(const DRAWITEMSTRUCT& item);
  void FitListExtent();

  void CheckListBox1Click();
  void CheckListBox1DrawItem(const DRAWITEMSTRUCT& item);
  void DirectoryEditChange();
  void DirectoryButtonClick();
  void ContinueButtonClick();
  void CancelButtonClick();
  void ToggleRow(int row);

  // Brings the controls into the model's state.
  void ShowModelState();
  // Runs a handler; its error is shown in the "Setup" box and the window stays open.
  void Guarded(const std::function<void()>& handler);
  void Close();

  setup::TSetupDataModule& setupData_;
  std::function<void(std::string_view)> showError_;
  TSetupWindowModel model_;

  HWND hwnd_ = nullptr;
  HWND descriptionLabel_ = nullptr;
  HWND image1_ = nullptr;
  HWND checkListBox1_ = nullptr;
  HWND directoryPanel_ = nullptr;
  HWND directoryLabel_ = nullptr;
  HWND directoryEdit_ = nullptr;
  HWND directoryButton_ = nullptr;
  HWND progressBar_ = nullptr;
  HWND continueButton_ = nullptr;
  HWND cancelButton_ = nullptr;

  GdiObject<HFONT> font_;
  GdiObject<HFONT> boldFont_;
  // The logo; an image that is missing or does not decode stays empty.
  std::optional<platform::Bitmap32> logoBackground_;
  std::optional<platform::Bitmap32> logoForeground_;
  WNDPROC savedListWindowProc_ = nullptr;
  // The edit's change handler is detached while the window itself sets the text.
  bool directoryEditChangeAttached_ = true;
};

}  // namespace valise::ui::win32
