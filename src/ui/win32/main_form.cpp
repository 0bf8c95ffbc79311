#include "ui/win32/main_form.h"

#include <cstring>
#include <exception>
#include <span>

#include "setup/error_place.h"
#include "smallcol/smallcol.h"
#include "ui/logo_paint.h"
#include "ui/win32/cancel_dialog.h"
#include "ui/win32/control_ids.h"
#include "util/file_utils.h"

namespace valise::ui::win32 {

namespace {

// A dialog border without any border icons: no system menu and no close box.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr int kClientWidth = 392;
constexpr int kClientHeight = 352;
constexpr int kRowHeight = 14;
// The part of a row left of its text that holds the check box.
constexpr int kCheckWidth = 15;
constexpr int kCheckSize = 13;
// The client height without the logo: the bottom of the Cancel button plus 15.
constexpr int kClientHeightWithoutLogo = 262 + 27 + 15;

struct Box {
  int left, top, width, height;
};

constexpr Box kDescriptionLabel{56, 9, 321, 47};
constexpr Box kImage1{15, 8, 32, 32};
constexpr Box kCheckListBox1{15, 64, 362, 102};
constexpr Box kDirectoryPanel{13, 168, 369, 52};
constexpr Box kDirectoryLabel{5, 5, 41, 14};
constexpr Box kDirectoryEdit{2, 21, 332, 22};
constexpr Box kDirectoryButton{339, 21, 23, 22};
constexpr Box kProgressBar{15, 234, 362, 17};
constexpr Box kContinueButton{54, 262, 100, 27};
constexpr Box kCancelButton{239, 262, 100, 27};

void RegisterClasses() {
  static const bool registered = [] {
    // The common controls are loaded here, with the first window, and not when the program
    // starts: loading them loads the display driver, and under Wine that starts a desktop
    // process (about a tenth of a second), which a silent run has no use for.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    using InitProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    if (const HMODULE library = LoadLibraryW(L"comctl32.dll")) {
      const auto init = reinterpret_cast<InitProc>(
          reinterpret_cast<void (*)()>(GetProcAddress(library, "InitCommonControlsEx")));
      if (init != nullptr) init(&controls);
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = kMainFormClass;
    RegisterClassExW(&wc);
    wc.lpszClassName = kPanelClass;
    RegisterClassExW(&wc);
    return true;
  }();
  (void)registered;
}

std::optional<platform::Bitmap32> LoadLogoImage(const smallcol::TSmallFilesCollection& collection,
                                                std::string_view name) {
  // A missing or undecodable image only means that no logo is painted.
  try {
    const std::unique_ptr<TMemoryStream> stream = collection.GetFileStream(name);
    const std::string_view bytes = stream->View();
    return platform::DecodeImage(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

TMainForm::TMainForm(setup::TSetupDataModule& setupData,
                     std::function<void(std::string_view)> showError)
    : setupData_(setupData), showError_(std::move(showError)), model_(setupData) {}

TMainForm::~TMainForm() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

std::string TMainForm::Create() {
  RegisterClasses();
  font_.Reset(CreateDesignFont(L"Arial", 8));
  boldFont_.Reset(CreateDesignFont(L"Arial", 8, true));
  const SIZE size = OuterSize(kStyle, kExStyle, kClientWidth, kClientHeight);
  hwnd_ = CreateWindowExW(kExStyle, kMainFormClass, L"", kStyle, 0, 0, size.cx, size.cy, nullptr,
                          nullptr, GetModuleHandleW(nullptr), nullptr);
  if (hwnd_ == nullptr) throw Error("The setup window cannot be created");
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TMainForm::WindowProc));
  SetFont(hwnd_, font_.get());
  CreateControls();
  FormCreate();

  // The set-up: captions, the rows with their ticks, the selection and the controls' state.
  SetText(cancelButton_, setupData_.Texts.ButtonCancel);
  SetText(continueButton_, setupData_.Texts.ButtonContinue);
  SetText(directoryLabel_, setupData_.Texts.LabelDirectory);
  SetText(descriptionLabel_, setupData_.Texts.MsgInstall);
  {
    // The label sizes itself to its text.
    HDC dc = GetDC(directoryLabel_);
    HGDIOBJ old = SelectObject(dc, font_.get());
    const std::wstring text = Wide(setupData_.Texts.LabelDirectory);
    SIZE extent{0, 0};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(directoryLabel_, dc);
    SetWindowPos(directoryLabel_, nullptr, 0, 0, extent.cx, kDirectoryLabel.height,
                 SWP_NOMOVE | SWP_NOZORDER);
  }
  EnableWindow(directoryButton_, FALSE);
  std::string error;
  try {
    model_.SetUp();
  } catch (const std::exception& e) {
    error = e.what();
  }
  for (const TListRow& row : model_.Rows()) {
    SendMessageW(checkListBox1_, LB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(Wide(row.App->Title).c_str()));
  }
  FitListExtent();
  SendMessageW(checkListBox1_, LB_SETCURSEL, static_cast<WPARAM>(model_.Selected()), 0);
  ShowModelState();
  return error;
}

void TMainForm::CreateControls() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  const auto make = [&](HWND parent, DWORD exStyle, const wchar_t* windowClass, DWORD style,
                        const Box& box, int id, const wchar_t* text = L"") {
    HWND control = CreateWindowExW(
        exStyle, windowClass, text, WS_CHILD | style, box.left, box.top, box.width, box.height,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetFont(control, font_.get());
    return control;
  };
  // Created in tab order: Continue, Cancel, the list, the directory panel with its controls;
  // then the controls that take no focus.
  continueButton_ = make(hwnd_, 0, L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                         kContinueButton, kContinueButtonId);
  cancelButton_ = make(hwnd_, 0, L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kCancelButton,
                       kCancelButtonId);
  // The list's rows have a fixed height; the list shows whole rows only.
  checkListBox1_ = make(hwnd_, WS_EX_CLIENTEDGE, L"LISTBOX",
                        WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY |
                            LBS_OWNERDRAWFIXED | LBS_HASSTRINGS,
                        kCheckListBox1, kCheckListBox1Id);
  // The list fitted its height to whole rows before it knew their height: fit it again now.
  SetWindowPos(checkListBox1_, nullptr, kCheckListBox1.left, kCheckListBox1.top,
               kCheckListBox1.width, kCheckListBox1.height, SWP_NOZORDER | SWP_NOACTIVATE);
  directoryPanel_ =
      make(hwnd_, WS_EX_CONTROLPARENT, kPanelClass, WS_VISIBLE, kDirectoryPanel, kDirectoryPanelId);
  SetWindowLongPtrW(directoryPanel_, GWLP_WNDPROC,
                    reinterpret_cast<LONG_PTR>(&TMainForm::PanelProc));
  directoryLabel_ = make(directoryPanel_, 0, L"STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                         kDirectoryLabel, kDirectoryLabelId);
  directoryEdit_ = make(directoryPanel_, WS_EX_CLIENTEDGE, L"EDIT",
                        WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY, kDirectoryEdit,
                        kDirectoryEditId);
  directoryButton_ = make(directoryPanel_, 0, L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                          kDirectoryButton, kDirectoryButtonId, L"...");
  descriptionLabel_ = make(hwnd_, 0, L"STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                           kDescriptionLabel, kDescriptionLabelId);
  image1_ = make(hwnd_, 0, L"STATIC", WS_VISIBLE | SS_OWNERDRAW, kImage1, kImage1Id);
  progressBar_ = make(hwnd_, 0, PROGRESS_CLASSW, 0, kProgressBar, kProgressBarId);
  SendMessageW(progressBar_, PBM_SETRANGE32, 0, 100);
  SendMessageW(progressBar_, PBM_SETSTEP, 1, 0);
}

void TMainForm::FormCreate() {
  savedListWindowProc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      checkListBox1_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TMainForm::ListProc)));
  SetText(hwnd_, "Setup");
  if (setupData_.Globals.HideLogo) {
    // No logo: the window ends below the buttons.
    const SIZE size = OuterSize(kStyle, kExStyle, kClientWidth, kClientHeightWithoutLogo);
    SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
    return;
  }
  smallcol::TSmallFilesCollection collection;
  HMODULE module = GetModuleHandleW(nullptr);
  if (HRSRC resource = FindResourceW(module, kLogoResource, MAKEINTRESOURCEW(10) /*RT_RCDATA*/)) {
    const void* bytes = LockResource(LoadResource(module, resource));
    const DWORD size = SizeofResource(module, resource);
    try {
      TMemoryStream stream(std::string_view(static_cast<const char*>(bytes), size));
      collection.LoadBinaryData(stream);
    } catch (const std::exception&) {
      // A damaged collection holds no files: the logo is not painted.
    }
  }
  logoForeground_ = LoadLogoImage(collection, "kq_logo_generic_fg.png");
  logoBackground_ = LoadLogoImage(collection, "kq_logo_generic_bg.bmp");
}

void TMainForm::FormDestroy() {
  logoBackground_.reset();
  logoForeground_.reset();
  if (savedListWindowProc_ != nullptr) {
    SetWindowLongPtrW(checkListBox1_, GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(savedListWindowProc_));
    savedListWindowProc_ = nullptr;
  }
}

void TMainForm::ShowAndRun() {
  RECT client;
  GetClientRect(hwnd_, &client);
  const SIZE size = OuterSize(kStyle, kExStyle, client.right, client.bottom);
  const POINT at = ScreenCentre(size);
  SetWindowPos(hwnd_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  SetForegroundWindow(hwnd_);
  // The first control in tab order that takes the focus.
  if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE)) SetFocus(first);

  MSG msg;
  while (hwnd_ != nullptr) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) break;
    if (DialogKey(msg)) continue;
    if (hwnd_ == nullptr || !IsDialogMessageW(hwnd_, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

bool TMainForm::DialogKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
  if (msg.wParam == VK_RETURN) {
    // A focused button answers Enter itself; elsewhere Continue is the default button.
    if (!model_.Running) {
      if (msg.hwnd == cancelButton_ || msg.hwnd == directoryButton_) {
        SendMessageW(msg.hwnd, BM_CLICK, 0, 0);
      } else if (IsWindowEnabled(continueButton_)) {
        Guarded([this] { ContinueButtonClick(); });
      }
    }
    return true;
  }
  if (msg.wParam == VK_ESCAPE) {
    if (!model_.Running && IsWindowEnabled(cancelButton_)) {
      Guarded([this] { CancelButtonClick(); });
    }
    return true;
  }
  return false;
}

void TMainForm::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowModelState();
    setup::ReportFailure(error, [this](std::string_view text) { showError_(text); });
  }
}

void TMainForm::ShowModelState() {
  if (hwnd_ == nullptr) return;
  const auto& rows = model_.Rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const LPARAM flags =
        (rows[i].Checked ? kRowChecked : 0) | (rows[i].FromScript() ? kRowFromScript : 0);
    SendMessageW(checkListBox1_, LB_SETITEMDATA, i, flags);
  }
  InvalidateRect(checkListBox1_, nullptr, FALSE);
  if (WindowText(directoryEdit_) != model_.DirectoryText) {
    directoryEditChangeAttached_ = false;
    SetText(directoryEdit_, model_.DirectoryText);
    directoryEditChangeAttached_ = true;
  }
  const int show = model_.DirectoryVisible ? SW_SHOW : SW_HIDE;
  ShowWindow(directoryLabel_, show);
  ShowWindow(directoryEdit_, show);
  ShowWindow(directoryButton_, show);
  EnableWindow(directoryButton_, model_.DirectoryButtonEnabled);
  SendMessageW(directoryEdit_, EM_SETREADONLY, model_.DirectoryEditReadOnly, 0);
  EnableWindow(continueButton_, model_.ContinueEnabled);
  EnableWindow(cancelButton_, model_.CancelEnabled);
}

void TMainForm::Close() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

// ---- Handlers ------------------------------------------------------------------------------

void TMainForm::CheckListBox1Click() {
  const auto row = static_cast<int>(SendMessageW(checkListBox1_, LB_GETCURSEL, 0, 0));
  model_.Select(row == LB_ERR ? -1 : row);
  ShowModelState();
}

void TMainForm::ToggleRow(int row) {
  if (row < 0 || row >= static_cast<int>(model_.Rows().size())) return;
  model_.SetChecked(row, !model_.Rows()[static_cast<std::size_t>(row)].Checked);
  ShowModelState();
}

void TMainForm::DirectoryEditChange() {
  if (!directoryEditChangeAttached_) return;
  model_.DirectoryEditChange(WindowText(directoryEdit_));
}

void TMainForm::DirectoryButtonClick() {
  if (model_.Selected() < 0 || model_.Running) return;
  const TSetupWindowModel::TBrowse browse = model_.BeginBrowse();
  std::optional<std::string> chosen;
  try {
    std::string folder = browse.Parent;
    if (BrowseForDirectory(WindowText(directoryLabel_), "", folder, true)) chosen = folder;
  } catch (...) {
    model_.EndBrowse(browse, std::nullopt);
    throw;
  }
  model_.EndBrowse(browse, chosen);
  ShowModelState();
}

void TMainForm::ContinueButtonClick() {
  if (model_.Running) return;
  HCURSOR normal = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  try {
    model_.Continue([this] { ShowModelState(); });
  } catch (...) {
    ShowModelState();
    SetCursor(normal);
    throw;
  }
  ShowModelState();
  SetCursor(normal);
  Close();
}

void TMainForm::CancelButtonClick() {
  if (model_.Running) return;
  if (ConfirmCancel(setupData_, hwnd_) == IDYES) {
    setupData_.ExitCode = setup::kExitCancelled;
    Close();
  }
}

// ---- Drawing -------------------------------------------------------------------------------

void TMainForm::CheckListBox1DrawItem(const DRAWITEMSTRUCT& item) {
  if (item.itemID == static_cast<UINT>(-1) ||
      item.itemID >= static_cast<UINT>(model_.Rows().size())) {
    return;
  }
  const TListRow& row = model_.Rows()[item.itemID];
  HDC dc = item.hDC;
  // The check box, drawn by the list as the system draws one, left of the text.
  RECT checkArea = item.rcItem;
  checkArea.right = checkArea.left + kCheckWidth;
  FillRect(dc, &checkArea, GetSysColorBrush(COLOR_WINDOW));
  const int boxTop = item.rcItem.top + (kRowHeight - kCheckSize) / 2;
  RECT box{checkArea.left + 1, boxTop, checkArea.left + 1 + kCheckSize, boxTop + kCheckSize};
  DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | (row.Checked ? DFCS_CHECKED : 0));

  // The text in the colours of its state, bold for an application from the script.
  RECT text = item.rcItem;
  text.left = checkArea.right;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  SetBkColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  HGDIOBJ old = SelectObject(dc, row.FromScript() ? boldFont_.get() : font_.get());
  const std::wstring title = Wide(row.App->Title);
  ExtTextOutW(dc, text.left + 2, text.top, ETO_OPAQUE | ETO_CLIPPED, &text, title.c_str(),
              static_cast<UINT>(title.size()), nullptr);
  SelectObject(dc, old);
  if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(dc, &text);
}

void TMainForm::FitListExtent() {
  HDC dc = GetDC(checkListBox1_);
  HGDIOBJ old = SelectObject(dc, font_.get());
  std::vector<int> widths;
  for (const TListRow& row : model_.Rows()) {
    SelectObject(dc, row.FromScript() ? boldFont_.get() : font_.get());
    const std::wstring title = Wide(row.App->Title);
    SIZE extent{0, 0};
    GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &extent);
    widths.push_back(static_cast<int>(extent.cx));
  }
  SelectObject(dc, old);
  ReleaseDC(checkListBox1_, dc);
  RECT client;
  GetClientRect(checkListBox1_, &client);
  const int extent = ui::FitListExtent(widths, client.right - client.left);
  if (extent > 0) SendMessageW(checkListBox1_, LB_SETHORIZONTALEXTENT, extent, 0);
}

void TMainForm::FormPaint(HDC dc) {
  if (!setupData_.Globals.HideLogo && logoBackground_ && logoForeground_) PaintLogo(dc);
}

void TMainForm::PaintLogo(HDC dc) {
  const platform::Bitmap32& foreground = *logoForeground_;
  RECT client;
  GetClientRect(hwnd_, &client);
  const LogoPoint at =
      LogoPosition(client.right, client.bottom, foreground.width, foreground.height);
  // A work bitmap with the window's current pixels under the logo.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = foreground.width;
  info.bmiHeader.biHeight = -foreground.height;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  GdiObject<HBITMAP> bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (bitmap.get() == nullptr || bits == nullptr) return;
  MemoryDC memory(dc);
  memory.Select(bitmap.get());
  BitBlt(memory.get(), 0, 0, foreground.width, foreground.height, dc, at.x, at.y, SRCCOPY);
  GdiFlush();
  platform::Bitmap32 work;
  work.width = foreground.width;
  work.height = foreground.height;
  const std::size_t bytes = static_cast<std::size_t>(work.width) * work.height * 4;
  work.pixels.assign(static_cast<std::uint8_t*>(bits), static_cast<std::uint8_t*>(bits) + bytes);
  if (!ui::PaintLogo(work, *logoBackground_, foreground)) return;
  std::memcpy(bits, work.pixels.data(), bytes);
  BitBlt(dc, at.x, at.y, work.width, work.height, memory.get(), 0, 0, SRCCOPY);
}

void TMainForm::PaintImage1(const DRAWITEMSTRUCT& item) {
  // Our picture: a suitcase with its handle and two straps.
  HDC dc = item.hDC;
  FillRect(dc, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  GdiObject<HPEN> outline(CreatePen(PS_SOLID, 1, RGB(92, 52, 20)));
  GdiObject<HPEN> handlePen(CreatePen(PS_SOLID, 3, RGB(92, 52, 20)));
  GdiObject<HBRUSH> leather(CreateSolidBrush(RGB(176, 108, 48)));
  GdiObject<HBRUSH> strap(CreateSolidBrush(RGB(120, 70, 30)));
  HGDIOBJ oldPen = SelectObject(dc, handlePen.get());
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  RoundRect(dc, 10, 3, 23, 14, 6, 6);
  SelectObject(dc, outline.get());
  SelectObject(dc, leather.get());
  RoundRect(dc, 2, 9, 31, 29, 6, 6);
  RECT strapLeft{8, 10, 11, 28};
  RECT strapRight{22, 10, 25, 28};
  FillRect(dc, &strapLeft, strap.get());
  FillRect(dc, &strapRight, strap.get());
  RECT lock{15, 15, 19, 19};
  FillRect(dc, &lock, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
}

// ---- Window procedures ---------------------------------------------------------------------

LRESULT CALLBACK TMainForm::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* form = reinterpret_cast<TMainForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return form->HandleMessage(message, wParam, lParam);
}

LRESULT CALLBACK TMainForm::PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // The panel leaves its controls' notifications to the window.
  switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_DRAWITEM:
      return SendMessageW(GetParent(hwnd), message, wParam, lParam);
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

LRESULT CALLBACK TMainForm::ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* form = reinterpret_cast<TMainForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return form->ListWindowProc(message, wParam, lParam);
}

LRESULT TMainForm::ListWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_CHAR:
      // While a run goes, the list takes no input: no second run starts inside the first.
      if (model_.Running) return 0;
      break;
    default:
      break;
  }
  if (message == WM_CHAR && wParam == L' ') {
    // The space bar ticks and unticks the selected row.
    Guarded([this] { ToggleRow(model_.Selected()); });
    return 0;
  }
  const LRESULT result =
      CallWindowProcW(savedListWindowProc_, checkListBox1_, message, wParam, lParam);
  if (message == WM_HSCROLL && LOWORD(wParam) == SB_ENDSCROLL) {
    InvalidateRect(checkListBox1_, nullptr, TRUE);
  }
  if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) {
    // A click on a row's check box ticks or unticks it.
    const LRESULT hit = SendMessageW(checkListBox1_, LB_ITEMFROMPOINT, 0, lParam);
    const int row = LOWORD(hit);
    RECT rect;
    if (HIWORD(hit) == 0 &&
        SendMessageW(checkListBox1_, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect)) !=
            LB_ERR &&
        static_cast<short>(LOWORD(lParam)) < rect.left + kCheckWidth) {
      Guarded([this, row] { ToggleRow(row); });
    }
  }
  return result;
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if (id == kContinueButtonId && code == BN_CLICKED) {
        Guarded([this] { ContinueButtonClick(); });
      } else if (id == kCancelButtonId && code == BN_CLICKED) {
        Guarded([this] { CancelButtonClick(); });
      } else if (id == kCheckListBox1Id && code == LBN_SELCHANGE) {
        Guarded([this] { CheckListBox1Click(); });
      } else if (id == kDirectoryEditId && code == EN_CHANGE) {
        Guarded([this] { DirectoryEditChange(); });
      } else if (id == kDirectoryButtonId && code == BN_CLICKED) {
        Guarded([this] { DirectoryButtonClick(); });
      }
      return 0;
    }
    case WM_MEASUREITEM:
      reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = kRowHeight;
      return TRUE;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item.hwndItem == checkListBox1_) CheckListBox1DrawItem(item);
      if (item.hwndItem == image1_) PaintImage1(item);
      return TRUE;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == directoryEdit_) {
        // The directory field has the panel's background.
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
        SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd_, &paint);
      FormPaint(dc);
      EndPaint(hwnd_, &paint);
      return 0;
    }
    case WM_SETCURSOR:
      if (model_.Running) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case DM_GETDEFID:
      return MAKELRESULT(kContinueButtonId, DC_HASDEFID);
    case WM_CLOSE:
      // Closing the window from the keyboard is a Cancel, with its question.
      if (!model_.Running && IsWindowEnabled(cancelButton_)) {
        Guarded([this] { CancelButtonClick(); });
      }
      return 0;
    case WM_DESTROY:
      FormDestroy();
      break;
    case WM_NCDESTROY: {
      HWND self = hwnd_;
      hwnd_ = nullptr;
      return DefWindowProcW(self, message, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace valise::ui::win32
