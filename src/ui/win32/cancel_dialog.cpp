#include "ui/win32/cancel_dialog.h"

#include "platform/errors.h"
#include "ui/dialog_layout.h"
#include "ui/win32/control_ids.h"

namespace valise::ui::win32 {

namespace {

// A dialog border with only the system menu, always on top. The close command is disabled by
// the window class; Alt+F4 and Escape are refused as well.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST | WS_EX_CONTROLPARENT;

class TCancelDialog {
 public:
  TCancelDialog() : font_(CreateDesignFont(L"MS Sans Serif", 8)) {}
  ~TCancelDialog() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  }
  TCancelDialog(const TCancelDialog&) = delete;
  TCancelDialog& operator=(const TCancelDialog&) = delete;

  void Create(const setup::TSetupDataModule& setupData);
  void LayoutDialog();
  int ShowModal(HWND disabled);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void FormActivate();
  HWND Child(const wchar_t* windowClass, DWORD style, int id);

  GdiObject<HFONT> font_;
  HWND hwnd_ = nullptr;
  HWND image_ = nullptr;
  HWND buttonNo_ = nullptr;
  HWND buttonYes_ = nullptr;
  HWND labelMessage_ = nullptr;
  int modalResult_ = 0;
};

void RegisterDialogClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    // CS_NOCLOSE disables the close command of the system menu and the caption's close box.
    wc.style = CS_NOCLOSE;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kCancelDialogClass;
    return RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
}

HWND TCancelDialog::Child(const wchar_t* windowClass, DWORD style, int id) {
  HWND child = CreateWindowExW(0, windowClass, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                               hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), nullptr);
  SetFont(child, font_.get());
  return child;
}

void TCancelDialog::Create(const setup::TSetupDataModule& setupData) {
  RegisterDialogClass();
  const SIZE size = OuterSize(kStyle, kExStyle, CancelDialogDesign::kClientWidth,
                              CancelDialogDesign::kClientHeight);
  hwnd_ = CreateWindowExW(kExStyle, kCancelDialogClass, L"", kStyle, 0, 0, size.cx, size.cy,
                          nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (hwnd_ == nullptr) throw Error("The confirmation dialog cannot be created");
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TCancelDialog::WindowProc));
  SetFont(hwnd_, font_.get());

  // Tab order: Yes, then No; Yes has the focus at first.
  buttonYes_ = Child(L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, kButtonYesId);
  buttonNo_ = Child(L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, kButtonNoId);
  labelMessage_ = Child(L"STATIC", SS_LEFT | SS_NOPREFIX, kLabelMessageId);
  image_ = Child(L"STATIC", SS_ICON, kImageId);
  SendMessageW(image_, STM_SETICON,
               reinterpret_cast<WPARAM>(LoadIconW(nullptr, MAKEINTRESOURCEW(32514))),  // question
               0);
  // The symbol sizes itself to its picture.
  SetWindowPos(image_, nullptr, CancelDialogDesign::kImageLeft, 10, 32, 32, SWP_NOZORDER);

  SetText(hwnd_, setupData.Texts.MsgCaptionWarning);
  SetText(labelMessage_, setupData.Texts.SConfirmCancel);
  SetText(buttonYes_, setupData.Texts.SYesButtonCaption);
  SetText(buttonNo_, setupData.Texts.SNoButtonCaption);
}

void TCancelDialog::LayoutDialog() {
  using D = CancelDialogDesign;
  HDC dc = GetDC(hwnd_);
  HGDIOBJ oldFont = SelectObject(dc, font_.get());
  DialogMeasures m;
  // The label sizes itself to its text: one line per line of the text.
  const std::wstring message = Wide(WindowText(labelMessage_));
  RECT label{0, 0, 0, 0};
  DrawTextW(dc, message.c_str(), static_cast<int>(message.size()), &label,
            DT_CALCRECT | DT_NOPREFIX | DT_LEFT);
  m.labelWidth = label.right - label.left;
  m.labelHeight = label.bottom - label.top;
  const auto captionWidth = [&](HWND button) {
    const std::wstring caption = Wide(WindowText(button));
    SIZE extent{0, 0};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    return static_cast<int>(extent.cx);
  };
  m.yesCaptionWidth = captionWidth(buttonYes_);
  m.noCaptionWidth = captionWidth(buttonNo_);
  SelectObject(dc, oldFont);
  ReleaseDC(hwnd_, dc);
  const SIZE design = OuterSize(kStyle, kExStyle, D::kClientWidth, D::kClientHeight);
  m.frameWidth = design.cx - D::kClientWidth;
  m.frameHeight = design.cy - D::kClientHeight;

  const DialogLayout layout = ui::LayoutDialog(m);
  const SIZE outer{layout.Width(m), layout.Height(m)};
  const POINT at = ScreenCentre(outer);
  SetWindowPos(hwnd_, nullptr, at.x, at.y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(labelMessage_, nullptr, D::kLabelLeft, D::kLabelTop, m.labelWidth, m.labelHeight,
               SWP_NOZORDER);
  SetWindowPos(buttonYes_, nullptr, layout.yesLeft, layout.buttonTop, layout.buttonWidth,
               D::kButtonHeight, SWP_NOZORDER);
  SetWindowPos(buttonNo_, nullptr, layout.noLeft, layout.buttonTop, layout.buttonWidth,
               D::kButtonHeight, SWP_NOZORDER);
}

int TCancelDialog::ShowModal(HWND disabled) {
  const bool wasEnabled = disabled != nullptr && !EnableWindow(disabled, FALSE);
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  SetFocus(buttonYes_);
  MSG msg;
  while (modalResult_ == 0 && IsWindow(hwnd_)) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The quit message belongs to the loop outside; the dialog answers No.
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      modalResult_ = IDNO;
      break;
    }
    if (msg.message == WM_KEYDOWN && (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd))) {
      if (msg.wParam == VK_ESCAPE) continue;  // the dialog has no cancel button
      if (msg.wParam == VK_RETURN) {
        // No default button: Enter answers with the focused one.
        if (msg.hwnd == buttonYes_) modalResult_ = IDYES;
        if (msg.hwnd == buttonNo_) modalResult_ = IDNO;
        continue;
      }
    }
    if (!IsDialogMessageW(hwnd_, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  // The setup window is enabled again before the dialog goes, so that it becomes active.
  if (wasEnabled) EnableWindow(disabled, TRUE);
  DestroyWindow(hwnd_);
  hwnd_ = nullptr;
  return modalResult_ == IDYES ? IDYES : IDNO;
}

void TCancelDialog::FormActivate() {
  SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

LRESULT CALLBACK TCancelDialog::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* dialog = reinterpret_cast<TCancelDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (dialog == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return dialog->HandleMessage(message, wParam, lParam);
}

LRESULT TCancelDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == kButtonYesId) modalResult_ = IDYES;
        if (LOWORD(wParam) == kButtonNoId) modalResult_ = IDNO;
      }
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) return 0;
      break;
    case WM_CLOSE:
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) FormActivate();
      break;
    case WM_CTLCOLORSTATIC:
      // The message label is transparent.
      if (reinterpret_cast<HWND>(lParam) == labelMessage_) {
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace

int ConfirmCancel(const setup::TSetupDataModule& setupData, HWND disabled) {
  TCancelDialog dialog;
  dialog.Create(setupData);
  dialog.LayoutDialog();
  return dialog.ShowModal(disabled);
}

}  // namespace valise::ui::win32
