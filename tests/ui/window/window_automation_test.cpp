// The setup window as a user meets it: the setup program runs on scenario folders, and this
// program finds its window and controls from outside, checks their places, texts and states,
// clicks rows, check boxes and buttons, answers the confirmation dialog and the completion box,
// and saves screenshots of what it saw.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "baggage/bag_writer.h"
#include "course/app_strings.h"
#include "course_fixtures.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "run_program.h"
#include "setup/cached_program.h"
#include "test_support.h"
#include "ui/win32/control_ids.h"
#include "ui/win32/windows_ui.h"
#include "util/file_utils.h"
// After the header above, which settles what <windows.h> defines.
#include <wincodec.h>

namespace valise {
namespace {

using namespace ui::win32;
using testing::TempDir;

// The product's texts: German in most scenarios, so that the window's captions show where they
// come from; US English where the screenshots are taken that the documentation shows.
struct Texts {
  std::string confirmCancel = "Installation wirklich abbrechen?";
  std::string yes = "Ja";
  std::string no = "Nein";
  course::TLanguage language = course::LANG_GERMAN;
};
const Texts kEnglish{"Do you really want to cancel the installation?", "Yes", "No",
                     course::LANG_ENGLISH_US};

void WriteBaggage(const TempDir& dir, const std::string& name, const Texts& texts) {
  namespace fixtures = course::testing;
  BagWriter writer;
  auto project = fixtures::ProjectTable(
      fixtures::With(fixtures::StandardProject(),
                     {"TRANSLATIONLANGUAGES", adb::ftString, 41, std::to_string(texts.language)}));
  writer.AddData("_PRJ.ADB", project.TableBytes());
  writer.AddData("_PRJ.AMB", project.MemoBytes());
  using namespace course::textid;
  const bool english = texts.language == course::LANG_ENGLISH_US;
  const std::vector<std::pair<std::uint32_t, std::string>> german = {
      {ButtonCancel, "Abbrechen"},
      {ButtonContinue, "Weiter"},
      {MsgCaptionInformation, "Information"},
      {MsgCaptionWarning, "Warnung"},
      {SConfirmCancel, texts.confirmCancel},
      {MsgInstall,
       "Haken Sie die Produkte an, die nach der Installation vorhanden sein sollen; "
       "Produkte ohne Haken werden entfernt. Weiter führt die Änderung aus."},
      {LabelDirectory, "Zielordner:"},
      {SNoButtonCaption, texts.no},
      {SOutOfDiskSpace, "Auf Laufwerk %s ist nicht genug Platz."},
      {SSetupCompleted, "Die Installation ist abgeschlossen."},
      {SYesButtonCaption, texts.yes},
  };
  const std::vector<std::pair<std::uint32_t, std::string>> us = {
      {ButtonCancel, "Cancel"},
      {ButtonContinue, "Continue"},
      {MsgCaptionInformation, "Information"},
      {MsgCaptionWarning, "Warning"},
      {SConfirmCancel, texts.confirmCancel},
      {MsgInstall,
       "Check the products that shall be present after the installation; products without a "
       "check are removed. Continue carries out the change."},
      {LabelDirectory, "Installation folder:"},
      {SNoButtonCaption, texts.no},
      {SOutOfDiskSpace, "There is not enough free space on drive %s."},
      {SSetupCompleted, "Setup has completed."},
      {SYesButtonCaption, texts.yes},
  };
  std::vector<fixtures::TextRow> rows;
  for (const auto& [id, text] : english ? us : german) rows.emplace_back(id, texts.language, text);
  writer.AddData("_TXT.ADB", fixtures::TextpoolTable(rows).TableBytes());
  writer.WriteStandalone(dir.win(name));
}

std::string WindowsPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// ---- The setup program and its windows -----------------------------------------------------

class SetupProcess {
 public:
  SetupProcess(const std::string& program, const std::vector<std::string>& args) {
    std::wstring command = L"\"" + Wide(program) + L"\"";
    for (const std::string& arg : args) command += L" \"" + Wide(arg) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info_)) {
      ADD_FAILURE() << "cannot start " << program;
    }
  }
  ~SetupProcess() {
    if (info_.hProcess == nullptr) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hProcess);
    if (info_.hThread != nullptr) CloseHandle(info_.hThread);
  }
  // A program that another one started, by its process ID.
  explicit SetupProcess(DWORD processId) {
    info_.hProcess =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, processId);
    info_.dwProcessId = processId;
    if (info_.hProcess == nullptr) ADD_FAILURE() << "cannot open process " << processId;
  }
  SetupProcess(const SetupProcess&) = delete;
  SetupProcess& operator=(const SetupProcess&) = delete;

  // The exit code, or -1 when the program still runs after the wait.
  int Wait(DWORD milliseconds = 20000) const {
    if (WaitForSingleObject(info_.hProcess, milliseconds) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<int>(code);
  }
  bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

  // A visible top-level window of the program with that class, waiting for it to appear.
  HWND FindWindow(const wchar_t* windowClass, DWORD milliseconds = 20000) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
      if (HWND found = Find(windowClass)) {
        Settle();
        return found;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
  }
  HWND Find(const wchar_t* windowClass) const {
    struct Search {
      DWORD pid;
      const wchar_t* windowClass;
      HWND found;
    } search{info_.dwProcessId, windowClass, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
          auto& s = *reinterpret_cast<Search*>(param);
          DWORD pid = 0;
          GetWindowThreadProcessId(hwnd, &pid);
          wchar_t name[64] = {};
          GetClassNameW(hwnd, name, 64);
          if (pid == s.pid && IsWindowVisible(hwnd) && std::wstring_view(name) == s.windowClass) {
            s.found = hwnd;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  // Waits until the program has handled what was sent or posted to it and has painted.
  void Settle() const {
    for (int i = 0; i < 3; ++i) {
      WaitForInputIdle(info_.hProcess, 2000);
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
  }
  // The focused window, once it is `expected` or after a few seconds: a busy machine may
  // give the focus a little after the window appeared.
  HWND FocusOnceSettled(HWND expected) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Focus() != expected && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return Focus();
  }
  HWND Focus() const {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    GetGUIThreadInfo(info_.dwThreadId, &gui);
    return gui.hwndFocus;
  }

 private:
  PROCESS_INFORMATION info_{};
};

// A window's text as the window itself gives it (an edit control keeps its own).
std::string Text(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                      &length);
  return Utf8(std::wstring_view(text, length));
}

// A control's box in its parent's client area.
RECT BoxOf(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::vector<int> Box(HWND control) {
  const RECT r = BoxOf(control);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

SIZE ClientSize(HWND window) {
  RECT rect;
  GetClientRect(window, &rect);
  return {rect.right, rect.bottom};
}

struct Row {
  std::string text;
  bool checked;
  bool bold;
  bool operator==(const Row&) const = default;
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.text << (row.checked ? " ticked" : "") << (row.bold ? " bold" : "");
}

std::vector<Row> Rows(HWND list) {
  std::vector<Row> rows;
  const auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    const LRESULT data = SendMessageW(list, LB_GETITEMDATA, i, 0);
    rows.push_back({Utf8(text), (data & kRowChecked) != 0, (data & kRowFromScript) != 0});
  }
  return rows;
}

int Selected(HWND list) {
  return static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
}

// A click on a row's text, or on its check box.
void ClickRow(const SetupProcess& setup, HWND list, int row, bool checkBox) {
  const LPARAM at = MAKELPARAM(checkBox ? 6 : 60, row * 14 + 7);
  PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(list, WM_LBUTTONUP, 0, at);
  setup.Settle();
}

void Click(const SetupProcess& setup, HWND button) {
  PostMessageW(button, BM_CLICK, 0, 0);
  setup.Settle();
}

void Key(const SetupProcess& setup, HWND window, WPARAM key) {
  PostMessageW(window, WM_KEYDOWN, key, 0);
  PostMessageW(window, WM_KEYUP, key, 0);
  setup.Settle();
}

// ---- Measuring and screenshots -------------------------------------------------------------

struct Font {
  explicit Font(const wchar_t* face, bool bold = false)
      : dc(GetDC(nullptr)), font(CreateDesignFont(face, 8, bold)) {
    old = SelectObject(dc, font);
  }
  ~Font() {
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
  }
  SIZE Text(const std::string& text) const {
    const std::wstring wide = Wide(text);
    RECT rect{0, 0, 0, 0};
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &rect, DT_CALCRECT | DT_NOPREFIX);
    return {rect.right, rect.bottom};
  }
  HDC dc;
  HFONT font;
  HGDIOBJ old;
};

struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bgra;  // rows from the top
  COLORREF Pixel(int x, int y) const {
    const std::uint8_t* p = &bgra[(static_cast<std::size_t>(y) * width + x) * 4];
    return RGB(p[2], p[1], p[0]);
  }
};

// The window as the screen shows it.
Screenshot Capture(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  Screenshot shot;
  shot.width = rect.right - rect.left;
  shot.height = rect.bottom - rect.top;
  BITMAPINFO info{};
  info.bmiHeader = {
      sizeof(BITMAPINFOHEADER), shot.width, -shot.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, shot.width, shot.height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const auto* bytes = static_cast<const std::uint8_t*>(bits);
  shot.bgra.assign(bytes, bytes + static_cast<std::size_t>(shot.width) * shot.height * 4);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return shot;
}

template <typename T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p != nullptr) p->Release();
  }
};

// Saves the screenshot as a PNG file in the build folder's screenshots/.
void Save(const Screenshot& shot, const std::string& name) {
  const std::filesystem::path dir = testing::HostPath(WindowsPath(VALISE_SCREENSHOT_DIR));
  std::filesystem::create_directories(dir);
  const std::wstring path = (dir / testing::HostPath(name)).wstring();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Released<IWICImagingFactory> factory;
  Released<IWICStream> stream;
  Released<IWICBitmapEncoder> encoder;
  Released<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
  const bool saved =
      SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IWICImagingFactory, reinterpret_cast<void**>(&factory.p))) &&
      SUCCEEDED(factory.p->CreateStream(&stream.p)) &&
      SUCCEEDED(stream.p->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
      SUCCEEDED(factory.p->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder.p)) &&
      SUCCEEDED(encoder.p->Initialize(stream.p, WICBitmapEncoderNoCache)) &&
      SUCCEEDED(encoder.p->CreateNewFrame(&frame.p, nullptr)) &&
      SUCCEEDED(frame.p->Initialize(nullptr)) &&
      SUCCEEDED(frame.p->SetSize(static_cast<UINT>(shot.width), static_cast<UINT>(shot.height))) &&
      SUCCEEDED(frame.p->SetPixelFormat(&format)) &&
      SUCCEEDED(frame.p->WritePixels(
          static_cast<UINT>(shot.height), static_cast<UINT>(shot.width) * 4,
          static_cast<UINT>(shot.bgra.size()), const_cast<BYTE*>(shot.bgra.data()))) &&
      SUCCEEDED(frame.p->Commit()) && SUCCEEDED(encoder.p->Commit());
  EXPECT_TRUE(saved) << name;
}

// Pixels of the client area's band where the logo goes that differ from the window's colour.
int LogoPixels(HWND window, const Screenshot& shot) {
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  RECT rect;
  GetWindowRect(window, &rect);
  const int left = origin.x - rect.left + 136;
  const int top = origin.y - rect.top + 294;
  int count = 0;
  for (int y = top; y < top + 50 && y < shot.height; ++y) {
    for (int x = left; x < left + 120 && x < shot.width; ++x) {
      if (shot.Pixel(x, y) != GetSysColor(COLOR_BTNFACE)) ++count;
    }
  }
  return count;
}

// ---- The dialog ----------------------------------------------------------------------------

// Checks the confirmation dialog's texts and layout against the texts measured here.
void CheckDialog(HWND dialog, const Texts& texts) {
  HWND yes = GetDlgItem(dialog, kButtonYesId);
  HWND no = GetDlgItem(dialog, kButtonNoId);
  HWND label = GetDlgItem(dialog, kLabelMessageId);
  EXPECT_EQ(Text(dialog), texts.language == course::LANG_ENGLISH_US ? "Warning" : "Warnung");
  EXPECT_EQ(Text(label), texts.confirmCancel);
  EXPECT_EQ(Text(yes), texts.yes);
  EXPECT_EQ(Text(no), texts.no);
  EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(GetClassLongW(dialog, GCL_STYLE) & CS_NOCLOSE);

  const Font font(L"MS Sans Serif");
  const SIZE message = font.Text(texts.confirmCancel);
  const int buttonWidth =
      std::max(font.Text(texts.yes).cx, font.Text(texts.no).cx) + 26;  // the wider caption
  RECT outer;
  GetWindowRect(dialog, &outer);
  const SIZE client = ClientSize(dialog);
  const int frame = (outer.right - outer.left) - client.cx;
  const int width = std::max<int>(279, 56 + message.cx + 10);
  EXPECT_EQ(client.cx, width);
  EXPECT_EQ(client.cy, std::max<int>(92, 3 * 8 + message.cy + 23));
  EXPECT_EQ(Box(label), (std::vector<int>{56, 8, message.cx, message.cy}));
  const int yesLeft = (width + frame - (2 * buttonWidth + 6)) / 2;
  EXPECT_EQ(Box(yes), (std::vector<int>{yesLeft, 60, buttonWidth, 23}));
  EXPECT_EQ(Box(no), (std::vector<int>{yesLeft + buttonWidth + 6, 60, buttonWidth, 23}));
}

// ---- Scenarios -----------------------------------------------------------------------------

class SetupWindow : public ::testing::Test {
 protected:
  SetupWindow() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    base_ = std::string("Software\\ValiseTests\\window.") + info->name();
    platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, base_);
    std::filesystem::copy_file(testing::HostPath(WindowsPath(VALISE_SETUP_PROGRAM)),
                               dir_.host() / "SETUP.EXE");
  }
  ~SetupWindow() override { platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, base_); }

  std::unique_ptr<SetupProcess> Start(std::vector<std::string> args = {}) {
    args.push_back("/log=" + dir_.win("setup.log"));
    return std::make_unique<SetupProcess>(dir_.win("SETUP.EXE"), args);
  }

  // An installed product known only from its record, with one file.
  void InstallBeta() {
    dir_.Write("Beta/beta.txt", "beta");
    auto key = platform::RegKey::Create(platform::RegRoot::CurrentUser, base_ + "\\BET_1_1");
    key.WriteString("Title", "Beta");
    key.WriteString("InstallDir", dir_.win("Beta"));
    key.WriteString("FileGroup1", dir_.win("Beta"));
    key.WriteString("FileGroup1File1", "beta.txt");
    key.Close();
  }
  bool BetaInstalled() const {
    return platform::RegKey::Open(platform::RegRoot::CurrentUser, base_ + "\\BET_1_1") ||
           std::filesystem::exists(dir_.host() / "Beta/beta.txt");
  }

  TempDir dir_;
  std::string base_;
};

TEST_F(SetupWindow, LayoutTextsSelectionStatesAndCancel) {
  WriteBaggage(dir_, "PRODUCT.BAG", kEnglish);
  dir_.Write("SETUP.inf", "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + base_ +
                              "\r\nLanguage=2\r\n"
                              "[Application1]\r\nTitle=Omega\r\nBaggage=<SrcDir>\\PRODUCT.BAG\r\n"
                              "InstallDir=<ProgramFilesDir>\\Valise Demo\\Omega\r\n"
                              "AllowCustomInstallDir=1\r\n"
                              "[Application2]\r\nTitle=Alpha\r\nProductCode=ALP\r\n");
  auto setup = Start();
  HWND form = setup->FindWindow(kMainFormClass);
  ASSERT_NE(form, nullptr);
  const auto item = [&](int id) { return GetDlgItem(form, id); };
  HWND panel = item(kDirectoryPanelId);
  const auto inPanel = [&](int id) { return GetDlgItem(panel, id); };
  HWND list = item(kCheckListBox1Id);
  HWND continueButton = item(kContinueButtonId);
  HWND cancelButton = item(kCancelButtonId);
  HWND directoryEdit = inPanel(kDirectoryEditId);
  HWND directoryButton = inPanel(kDirectoryButtonId);

  // The window: caption, client area, no border icons; every control in its place.
  EXPECT_EQ(Text(form), "Setup");
  EXPECT_EQ(ClientSize(form).cx, 392);
  EXPECT_EQ(ClientSize(form).cy, 352);
  EXPECT_FALSE(GetWindowLongW(form, GWL_STYLE) & WS_SYSMENU);
  EXPECT_EQ(Box(item(kDescriptionLabelId)), (std::vector<int>{56, 9, 321, 47}));
  EXPECT_EQ(Box(item(kImage1Id)), (std::vector<int>{15, 8, 32, 32}));
  EXPECT_EQ(Box(list), (std::vector<int>{15, 64, 362, 102}));
  EXPECT_EQ(Box(panel), (std::vector<int>{13, 168, 369, 52}));
  const RECT label = BoxOf(inPanel(kDirectoryLabelId));
  EXPECT_EQ(std::vector<int>({label.left, label.top, label.bottom - label.top}),
            (std::vector<int>{5, 5, 14}));
  EXPECT_EQ(label.right - label.left, Font(L"Arial").Text("Installation folder:").cx);
  EXPECT_EQ(Box(directoryEdit), (std::vector<int>{2, 21, 332, 22}));
  EXPECT_EQ(Box(directoryButton), (std::vector<int>{339, 21, 23, 22}));
  EXPECT_EQ(Box(item(kProgressBarId)), (std::vector<int>{15, 234, 362, 17}));
  EXPECT_FALSE(IsWindowVisible(item(kProgressBarId)));
  EXPECT_EQ(Box(continueButton), (std::vector<int>{54, 262, 100, 27}));
  EXPECT_EQ(Box(cancelButton), (std::vector<int>{239, 262, 100, 27}));
  EXPECT_TRUE(GetWindowLongW(continueButton, GWL_STYLE) & BS_DEFPUSHBUTTON);
  EXPECT_EQ(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0), 14);
  // Tab order: Continue, Cancel, the list, then the panel's controls.
  EXPECT_EQ(GetNextDlgTabItem(form, continueButton, FALSE), cancelButton);
  EXPECT_EQ(GetNextDlgTabItem(form, cancelButton, FALSE), list);
  EXPECT_EQ(GetNextDlgTabItem(form, list, FALSE), directoryEdit);

  // The product's texts, in English for the screenshot.
  EXPECT_EQ(Text(continueButton), "Continue");
  EXPECT_EQ(Text(cancelButton), "Cancel");
  EXPECT_EQ(Text(inPanel(kDirectoryLabelId)), "Installation folder:");
  EXPECT_EQ(Text(item(kDescriptionLabelId)).substr(0, 15), "Check the produ");

  // Both script applications ticked and bold, Alpha above Omega; Omega (the first of the
  // script) is selected, its folder shown and changeable.
  EXPECT_EQ(Rows(list), (std::vector<Row>{{"Alpha", true, true}, {"Omega", true, true}}));
  EXPECT_EQ(Selected(list), 1);
  EXPECT_TRUE(IsWindowEnabled(continueButton));
  EXPECT_TRUE(IsWindowVisible(directoryEdit));
  EXPECT_TRUE(Text(directoryEdit).ends_with(":\\Program Files\\Valise Demo\\Omega"))
      << Text(directoryEdit);
  EXPECT_TRUE(GetWindowLongW(directoryEdit, GWL_STYLE) & ES_READONLY);
  EXPECT_TRUE(IsWindowEnabled(directoryButton));

  const Screenshot shot = Capture(form);
  Save(shot, "setup-window.png");
  EXPECT_GT(LogoPixels(form, shot), 1000);

  // Alpha has no folder: the directory controls hide.
  ClickRow(*setup, list, 0, false);
  EXPECT_EQ(Selected(list), 0);
  EXPECT_FALSE(IsWindowVisible(inPanel(kDirectoryLabelId)));
  EXPECT_FALSE(IsWindowVisible(directoryEdit));
  EXPECT_FALSE(IsWindowVisible(directoryButton));
  // Unticking both leaves nothing to do; ticking Omega again brings its browse button back.
  ClickRow(*setup, list, 0, true);
  EXPECT_TRUE(IsWindowEnabled(continueButton));
  ClickRow(*setup, list, 1, true);
  EXPECT_EQ(Rows(list), (std::vector<Row>{{"Alpha", false, true}, {"Omega", false, true}}));
  EXPECT_FALSE(IsWindowEnabled(continueButton));
  ClickRow(*setup, list, 1, false);
  EXPECT_TRUE(IsWindowVisible(directoryEdit));
  EXPECT_FALSE(IsWindowEnabled(directoryButton));
  ClickRow(*setup, list, 1, true);
  EXPECT_TRUE(IsWindowEnabled(directoryButton));
  EXPECT_TRUE(IsWindowEnabled(continueButton));

  // Cancel asks first; the dialog cannot be closed but by its buttons, and No keeps the window.
  Click(*setup, cancelButton);
  HWND dialog = setup->FindWindow(kCancelDialogClass);
  ASSERT_NE(dialog, nullptr);
  CheckDialog(dialog, kEnglish);
  EXPECT_FALSE(IsWindowEnabled(form));
  EXPECT_EQ(setup->FocusOnceSettled(GetDlgItem(dialog, kButtonYesId)),
            GetDlgItem(dialog, kButtonYesId));
  Save(Capture(dialog), "confirm-dialog.png");
  Key(*setup, GetDlgItem(dialog, kButtonYesId), VK_ESCAPE);
  PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  setup->Settle();
  EXPECT_TRUE(IsWindow(dialog));
  Key(*setup, GetDlgItem(dialog, kButtonNoId), VK_RETURN);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_TRUE(IsWindowEnabled(form));
  EXPECT_TRUE(setup->Running());

  // Cancel, then Enter on the focused Yes: exit code 1, nothing installed.
  Click(*setup, cancelButton);
  dialog = setup->FindWindow(kCancelDialogClass);
  ASSERT_NE(dialog, nullptr);
  Key(*setup, GetDlgItem(dialog, kButtonYesId), VK_RETURN);
  EXPECT_EQ(setup->Wait(), 1);
}

TEST_F(SetupWindow, ShowsHandlerErrorsAndStaysOpen) {
  dir_.Write(
      "SETUP.inf",
      "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + base_ +
          "\r\n[Application1]\r\nTitle=Kaputt\r\nProductCode=KAP\r\nInstallDir=<Nowhere>\\x\r\n"
          "[Application2]\r\nTitle=Heil\r\nProductCode=HEI\r\n");
  auto setup = Start();
  // The selected application's folder cannot be expanded: the box comes first, then the
  // window opens all the same.
  const auto closeErrorBox = [&] {
    HWND box = setup->FindWindow(L"#32770");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Text(box), "Setup");
    EXPECT_EQ(Text(GetDlgItem(box, 0xFFFF)), "Invalid directory reference '<Nowhere>\\x'");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    setup->Settle();
  };
  closeErrorBox();
  HWND form = setup->FindWindow(kMainFormClass);
  ASSERT_NE(form, nullptr);
  HWND list = GetDlgItem(form, kCheckListBox1Id);
  EXPECT_EQ(Rows(list), (std::vector<Row>{{"Heil", true, true}, {"Kaputt", true, true}}));
  EXPECT_EQ(Selected(list), 1);
  // The other row works; the broken one fails again, and the window stays open.
  ClickRow(*setup, list, 0, false);
  EXPECT_EQ(Selected(list), 0);
  ClickRow(*setup, list, 1, false);
  closeErrorBox();
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(form, kContinueButtonId)));
  // Closing the window from the keyboard (Alt+F4) is a Cancel and asks first.
  PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
  setup->Settle();
  HWND dialog = setup->FindWindow(kCancelDialogClass);
  ASSERT_NE(dialog, nullptr);
  Click(*setup, GetDlgItem(dialog, kButtonYesId));
  EXPECT_EQ(setup->Wait(), 1);
}

TEST_F(SetupWindow, WithoutLogoRemovesAnInstalledApplication) {
  const Texts longTexts{
      "Wenn Sie jetzt abbrechen, wird nichts installiert und nichts entfernt. Setup beenden?",
      "Ja, beenden", "Nein"};
  WriteBaggage(dir_, "LONG.BAG", longTexts);
  const std::string title =
      "Delta: ein Produkt mit einem so langen Titel, dass er nicht in die Liste passt";
  dir_.Write("SETUP.inf", "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + base_ +
                              "\r\nLanguage=1\r\nHideLogo=1\r\n"
                              "[Application1]\r\nTitle=" +
                              title +
                              "\r\nBaggage=<SrcDir>\\LONG.BAG\r\n"
                              "InstallDir=<SrcDir>\\Programme\\Delta\r\n");
  InstallBeta();

  for (const bool named : {false, true}) {
    SCOPED_TRACE(named ? "with /reg= and the completion box" : "with /nomsg");
    auto setup = named ? Start({"/reg=bet_1_1"}) : Start({"/nomsg"});
    HWND form = setup->FindWindow(kMainFormClass);
    ASSERT_NE(form, nullptr);
    HWND list = GetDlgItem(form, kCheckListBox1Id);
    HWND panel = GetDlgItem(form, kDirectoryPanelId);
    HWND continueButton = GetDlgItem(form, kContinueButtonId);

    // No logo: the window ends 15 pixels below the buttons.
    EXPECT_EQ(ClientSize(form).cy, 304);
    EXPECT_EQ(ClientSize(form).cx, 392);
    // The installed record is regular, the script's application bold; the long title gives
    // the list a horizontal extent.
    EXPECT_EQ(Rows(list), (std::vector<Row>{{"Beta", true, false}, {title, true, true}}));
    EXPECT_EQ(Selected(list), 1);
    EXPECT_EQ(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0),
              Font(L"Arial", true).Text(title).cx + 20);
    if (!named) {
      Save(Capture(form), "setup-window-nologo.png");
      // The installed application's folder is shown but cannot be changed.
      ClickRow(*setup, list, 0, false);
      EXPECT_EQ(Text(GetDlgItem(panel, kDirectoryEditId)), dir_.win("Beta"));
      EXPECT_FALSE(IsWindowEnabled(GetDlgItem(panel, kDirectoryButtonId)));

      // The long question widens the dialog; the buttons share the wider caption's width.
      Click(*setup, GetDlgItem(form, kCancelButtonId));
      HWND dialog = setup->FindWindow(kCancelDialogClass);
      ASSERT_NE(dialog, nullptr);
      CheckDialog(dialog, longTexts);
      Save(Capture(dialog), "confirm-dialog-long.png");
      Click(*setup, GetDlgItem(dialog, kButtonNoId));
      EXPECT_FALSE(IsWindow(dialog));
    }

    // Untick Delta (nothing to do), then Beta: Continue removes Beta.
    ClickRow(*setup, list, 1, true);
    EXPECT_FALSE(IsWindowEnabled(continueButton));
    ClickRow(*setup, list, 0, true);
    EXPECT_TRUE(IsWindowEnabled(continueButton));
    Click(*setup, continueButton);
    if (named) {
      // The completion box belongs to the window and stays on top.
      HWND box = setup->FindWindow(L"#32770");
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(GetWindow(box, GW_OWNER), form);
      EXPECT_EQ(GetForegroundWindow(), box);
      EXPECT_EQ(Text(box), "Information");
      EXPECT_EQ(Text(GetDlgItem(box, 0xFFFF)), "Die Installation ist abgeschlossen.");
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    // The run ends the program: 2 when "reg=" names the removed application.
    EXPECT_EQ(setup->Wait(), named ? 2 : 0) << testing::ReadHostFile(dir_.host() / "setup.log");
    EXPECT_FALSE(BetaInstalled());
    EXPECT_FALSE(std::filesystem::exists(dir_.host() / "Programme"));
    InstallBeta();
  }
}

// ---- The list of installed programs as Wine's own uninstaller shows it ---------------------

constexpr const char* kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Runs a command line and returns what it wrote to its standard output, once it has ended.
std::string OutputOf(std::wstring command) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  // Large enough for the whole output: the pipe is read after the end, since services the
  // program starts may inherit its end of the pipe and keep it open.
  if (!CreatePipe(&read, &write, &inherit, 1 << 20)) return "(no pipe)";
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write;
  startup.hStdError = write;
  PROCESS_INFORMATION info{};
  std::string output;
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &info)) {
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 30000), WAIT_OBJECT_0);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    DWORD available = 0;
    while (PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      std::string chunk(available, '\0');
      DWORD got = 0;
      if (!ReadFile(read, chunk.data(), available, &got, nullptr) || got == 0) break;
      output.append(chunk, 0, got);
    }
  } else {
    ADD_FAILURE() << "cannot start " << Utf8(command);
  }
  CloseHandle(write);
  CloseHandle(read);
  return output;
}

// The lines of a program's output.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// A text as a program that writes to a pipe gives it: in the console's output code page.
std::string ConsoleBytes(const std::string& utf8) {
  const std::wstring wide = Wide(utf8);
  // Without a console of its own a program writes in the OEM code page.
  const UINT codePage = GetConsoleOutputCP() != 0 ? GetConsoleOutputCP() : GetOEMCP();
  const int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size,
                      nullptr, nullptr);
  return bytes;
}

// The process of a visible top-level window of that class, whichever program started it; 0
// when none appears in time.
DWORD ProcessWithWindow(const wchar_t* windowClass) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < end) {
    HWND window = FindWindowW(windowClass, nullptr);
    DWORD processId = 0;
    if (window != nullptr && IsWindowVisible(window)) {
      GetWindowThreadProcessId(window, &processId);
      if (processId != 0) return processId;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

std::vector<std::string> SubKeys(const std::string& path) {
  const auto key = platform::RegKey::Open(platform::RegRoot::CurrentUser, path);
  std::vector<std::string> names = key ? key->SubKeyNames() : std::vector<std::string>{};
  std::sort(names.begin(), names.end());
  return names;
}

void Collect(const std::filesystem::path& root, const std::filesystem::path& dir,
             std::vector<std::string>& entries) {
  std::error_code error;
  for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end;
       it.increment(error)) {
    entries.push_back(testing::Utf8Path(std::filesystem::relative(it->path(), root)));
    std::error_code kind;
    if (it->is_directory(kind)) Collect(root, it->path(), entries);
  }
  if (error) entries.push_back("(unreadable) " + testing::Utf8Path(dir));
}

// Every file and folder below `root` as relative paths, sorted.
std::vector<std::string> Tree(const std::filesystem::path& root) {
  std::vector<std::string> entries;
  Collect(root, root, entries);
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::filesystem::path Environment(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value != nullptr ? std::filesystem::path(value) : std::filesystem::path();
}

// After a silent install of the demo product, Wine's uninstaller lists every application with
// its title; once the distribution folder is gone, its removal of each application opens the
// kept setup program's window, which speaks the product's texts and has that application
// unticked, and Continue removes it. Nothing of the product is left in the end.
TEST(WineUninstaller, ListsTheDemoAndRemovesItThroughTheKeptProgram) {
  struct Application {
    std::string key;
    std::string title;
    std::string version;
  };
  const std::vector<Application> demo = {
      {"VDEMO_1_1001",
       "Englisch f\xC3\xBC"
       "r Einsteiger (Demo)",
       "1.0"},
      {"VTOOLS_2_2001", "Valise Demo Tools", "2"},
      {"VGERMAN_1_1002", "German for Beginners (Demo, US English)", "1.0"},
      {"VGERMAN_1_1003", "German for Beginners (Demo, British English)", "1.0"},
  };
  constexpr auto user = platform::RegRoot::CurrentUser;
  const std::string records = "Software\\Vantorel";
  const std::filesystem::path kept =
      testing::HostPath(setup::CachedProgramFolder(user, "Software\\Vantorel"));
  // What an earlier run may have left goes first.
  if (std::filesystem::exists(kept / "setup.exe")) {
    std::vector<std::string> args = {"/silent", "/nomsg"};
    for (const Application& app : demo) args.push_back("/remove=" + app.key);
    SetupProcess(testing::Utf8Path(kept / "setup.exe"), args).Wait();
  }
  for (const Application& app : demo) {
    platform::DeleteRegKeyTree(user, records + "\\" + app.key);
    platform::DeleteRegKeyTree(user, std::string(kUninstall) + "\\" + app.key);
  }
  platform::DeleteRegKeyTree(user, records + "\\Valise Demo");
  std::filesystem::remove_all(kept);
  const std::filesystem::path programFiles = Environment(L"ProgramFiles");
  for (const char* folder : {"Valise Demo", "Valise Demo Tools", "German for Beginners (US)",
                             "German for Beginners (UK)"}) {
    std::filesystem::remove_all(programFiles / "Vantorel" / folder);
  }
  std::error_code notEmpty;  // the maker's folder goes with the last product in it
  std::filesystem::remove(programFiles / "Vantorel", notEmpty);
  std::filesystem::remove_all(testing::HostPath(GetSpecialFolder(platform::kFolderPrograms)) /
                              "Valise Demo");
  // The prefix before: the folders where the product puts files, the records and the list of
  // installed programs. (The user's profile holds links to the host's home folder.)
  const auto files = [&] {
    std::vector<std::vector<std::string>> trees;
    for (const int folder : {platform::kFolderDesktop, platform::kFolderPrograms,
                             platform::kFolderLocalAppData, platform::kFolderCommonAppData}) {
      trees.push_back(Tree(testing::HostPath(GetSpecialFolder(folder))));
    }
    trees.push_back(Tree(programFiles));
    return trees;
  };
  const auto keys = [&] { return std::vector{SubKeys(records), SubKeys(kUninstall)}; };
  const auto filesBefore = files();
  const auto keysBefore = keys();

  TempDir dir;
  testing::MakeDemoDist(dir, VALISE_SOURCE_DIR, WindowsPath(VALISE_SETUP_PROGRAM));
  const std::string log = dir.win("setup.log");
  const auto Log = [&] { return testing::ReadHostFile(dir.host() / "setup.log"); };
  {
    SetupProcess install(dir.win("dist\\SETUP.EXE"), {"/silent", "/log=" + log});
    ASSERT_EQ(install.Wait(120000), 0) << Log();
  }

  // The list: "KEY|||TITLE" for each application; the entries hold the versions.
  const std::vector<std::string> listed = Lines(OutputOf(L"uninstaller.exe --list"));
  for (const Application& app : demo) {
    SCOPED_TRACE(app.key);
    const auto entry = platform::RegKey::Open(user, std::string(kUninstall) + "\\" + app.key);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->Read("DisplayName")->text, app.title);
    EXPECT_EQ(entry->Read("DisplayVersion")->text, app.version);
    EXPECT_NE(std::find(listed.begin(), listed.end(), ConsoleBytes(app.key + "|||" + app.title)),
              listed.end())
        << ::testing::PrintToString(listed);
  }

  // Helpers that Wine started for the install (its menu builder) may still run in that folder
  // for a moment, which keeps it.
  const std::filesystem::path dist = dir.host() / "dist";
  std::error_code busy;
  for (int i = 0; i < 150 && (std::filesystem::remove_all(dist, busy), busy); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_FALSE(std::filesystem::exists(dist)) << busy.message();
  for (std::size_t n = 0; n < demo.size(); ++n) {
    const Application& app = demo[n];
    SCOPED_TRACE(app.key);
    // The uninstaller starts the entry's command and waits for it.
    SetupProcess uninstaller("uninstaller.exe", {"--remove", app.key});
    const DWORD processId = ProcessWithWindow(kMainFormClass);
    ASSERT_NE(processId, 0u) << Log();
    SetupProcess removal(processId);
    HWND form = removal.FindWindow(kMainFormClass);
    ASSERT_NE(form, nullptr);
    // The product's texts in the language of the install, never a marker.
    HWND continueButton = GetDlgItem(form, kContinueButtonId);
    const std::string caption = Text(continueButton);
    const std::string description = Text(GetDlgItem(form, kDescriptionLabelId));
    EXPECT_TRUE(caption == "Continue" || caption == "Weiter") << caption;
    EXPECT_TRUE(description.starts_with("Welcome!") || description.starts_with("Willkommen!"))
        << description;
    // The installed applications, the named one unticked.
    const std::vector<Row> rows = Rows(GetDlgItem(form, kCheckListBox1Id));
    EXPECT_EQ(rows.size(), demo.size() - n);
    for (const Row& row : rows) EXPECT_EQ(row.checked, row.text != app.title) << row.text;
    if (n == 0) Save(Capture(form), "kept-program-window.png");

    Click(removal, continueButton);
    HWND box = removal.FindWindow(L"#32770");
    ASSERT_NE(box, nullptr);
    const std::string completed = Text(GetDlgItem(box, 0xFFFF));
    EXPECT_TRUE(completed == "Setup has completed." ||
                completed == "Die Installation ist abgeschlossen.")
        << completed;
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(removal.Wait(), 0) << Log();
    EXPECT_EQ(uninstaller.Wait(), 0);
    EXPECT_FALSE(platform::RegKey::Open(user, records + "\\" + app.key));
    EXPECT_FALSE(platform::RegKey::Open(user, std::string(kUninstall) + "\\" + app.key));
  }

  // No trace: no file or folder, record, entry or kept program.
  const std::string rest = OutputOf(L"uninstaller.exe --list");
  for (const Application& app : demo) EXPECT_EQ(rest.find(app.key), std::string::npos) << rest;
  EXPECT_FALSE(std::filesystem::exists(kept));
  EXPECT_EQ(keys(), keysBefore);
  EXPECT_EQ(files(), filesBefore);
  // The kept program cannot delete itself while it runs: moved to the temporary folder, it is
  // deleted at the system's next start (Wine's next session).
  const auto pending = platform::RegKey::Open(
      platform::RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\Session Manager");
  std::wstring renames;
  if (pending) {
    if (const auto value = pending->Read("PendingFileRenameOperations")) {
      for (std::size_t i = 0; i + 1 < value->bytes.size(); i += 2) {
        renames += static_cast<wchar_t>(value->bytes[i] | value->bytes[i + 1] << 8);
      }
    }
  }
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::temp_directory_path())) {
    const std::wstring name = entry.path().filename().wstring();
    if (name.starts_with(L"valise-setup-")) {
      EXPECT_NE(renames.find(name), std::wstring::npos) << testing::Utf8Path(entry.path());
    }
  }
}

}  // namespace
}  // namespace valise
