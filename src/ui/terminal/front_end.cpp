// The interactive run in a terminal. It shows what the setup window shows, as text: the
// description, the checked list of applications (bold: offered by the script), the selected
// application's folder with its "..." button, the progress bar, Continue and Cancel, and boxes
// for the confirmation question and for messages. The window's rules come from
// TSetupWindowModel, as they do for the window on Windows; only the drawing and the keys are
// this file's own.
#include <algorithm>
#include <exception>
#include <optional>
#include <vector>

#include "platform/messages.h"
#include "setup/error_place.h"
#include "ui/front_end.h"
#include "ui/setup_window_model.h"
#include "ui/terminal/line_editor.h"
#include "ui/terminal/screen.h"
#include "ui/terminal/wide_text.h"
#include "util/file_utils.h"

namespace valise::ui {

namespace {

using namespace terminal;

// The controls that take the keyboard, in the order Tab visits them.
enum class TFocus { Continue, Cancel, List, DirectoryEdit, DirectoryButton };
constexpr TFocus kTabOrder[] = {TFocus::Continue, TFocus::Cancel, TFocus::List,
                                TFocus::DirectoryEdit, TFocus::DirectoryButton};

constexpr const wchar_t* kHelp =
    L"Tab: next   \u2191\u2193: choose   Space: tick   \u2190\u2192: scroll   "
    L"Enter: press   Esc: cancel";

// Rows and columns below which the window does not fit.
constexpr int kMinLines = 14;
constexpr int kMinColumns = 30;
// Rows of the window besides the description and the rows of the list.
constexpr int kFixedRows = 12;

// A box over the window: a message with its buttons, or the folder's line editor.
struct TBox {
  std::wstring caption;
  std::wstring text;
  std::vector<std::wstring> buttons;
  int focus = 0;
  // The answer that Escape gives; -1: Escape does nothing.
  int escape = -1;
  TLineEditor* editor = nullptr;
  std::wstring suffix;  // the editor's text with it is the choice so far
};

// Where the window's parts go on a screen of the current size.
struct TLayout {
  bool tooSmall = false;
  int left = 2;
  int width = 0;
  std::vector<std::wstring> description;
  int descriptionRow = 2;
  int listRow = 0;   // the frame's top; the rows follow inside
  int listRows = 0;  // rows shown
  int directoryRow = 0;
  int progressRow = 0;
  int buttonRow = 0;
};

// While the front end runs, message boxes of the whole program (the engine's and any other)
// appear in the terminal. An unattended run that has its own way with boxes keeps it.
class TBoxHandlerScope {
 public:
  explicit TBoxHandlerScope(platform::MessageBoxHandler handler) {
    previous_ = platform::SetMessageBoxHandler(std::move(handler));
    if (previous_) {
      platform::SetMessageBoxHandler(previous_);
      kept_ = true;
    }
  }
  ~TBoxHandlerScope() {
    if (!kept_) platform::SetMessageBoxHandler(std::move(previous_));
  }
  TBoxHandlerScope(const TBoxHandlerScope&) = delete;
  TBoxHandlerScope& operator=(const TBoxHandlerScope&) = delete;

 private:
  platform::MessageBoxHandler previous_;
  bool kept_ = false;
};

class TTerminalFrontEnd : public TFrontEnd {
 public:
  void Run(setup::TSetupDataModule& setupData) override;

  void ProcessMessages() override;
  void WaitPumping(std::uint32_t milliseconds) override;
  void SetProgressVisible(bool visible) override {
    progressVisible_ = visible;
    dirty_ = true;
  }
  void SetProgressMax(int maximum) override {
    progressMax_ = maximum;
    dirty_ = true;
  }
  void SetProgressPosition(int position) override {
    progress_ = position;
    dirty_ = true;
  }
  int ProgressPosition() const override { return progress_; }

 private:
  platform::MessageResult ShowMessage(std::string_view text, std::string_view caption,
                                      platform::MessageButtons buttons);
  void ReportError(const std::exception& error);

  TKey NextKey(int milliseconds);
  void HandleKeySafely(const TKey& key);
  void HandleKey(const TKey& key);
  void HandleListKey(const TKey& key);
  int RunBox(TBox& box);

  void PressContinue();
  void PressCancel();
  void PressBrowse();

  bool Focusable(TFocus focus) const;
  void SetFocus(TFocus focus);
  void MoveFocus(int step);

  TLayout Layout() const;
  void Draw();
  void DrawWindow(const TLayout& layout);
  void DrawList(const TLayout& layout);
  void DrawDirectory(const TLayout& layout);
  void DrawButtons(const TLayout& layout);
  void DrawBox(const TBox& box);
  int TitleColumns(const TLayout& layout) const { return layout.width - 8; }

  setup::TSetupDataModule* setupData_ = nullptr;
  TSetupWindowModel* model_ = nullptr;
  TScreen* screen_ = nullptr;
  std::vector<TBox*> boxes_;
  TFocus focus_ = TFocus::List;
  TLineEditor directoryEditor_;
  int listTop_ = 0;     // the first row shown
  int listScroll_ = 0;  // the first column of the titles shown
  bool progressVisible_ = false;
  int progressMax_ = 100;
  int progress_ = 0;
  bool dirty_ = true;
  bool repaint_ = false;
  bool closed_ = false;
};

void TTerminalFrontEnd::Run(setup::TSetupDataModule& setupData) {
  TScreen screen;
  TSetupWindowModel model(setupData);
  TBoxHandlerScope boxes(
      [this](std::string_view text, std::string_view caption, platform::MessageIcon,
             platform::MessageButtons buttons) { return ShowMessage(text, caption, buttons); });
  setupData_ = &setupData;
  model_ = &model;
  screen_ = &screen;
  struct TDetach {
    TTerminalFrontEnd& frontEnd;
    ~TDetach() {
      frontEnd.screen_ = nullptr;
      frontEnd.model_ = nullptr;
      frontEnd.setupData_ = nullptr;
    }
  } detach{*this};

  // An invalid directory of the first selected row is shown, and the window opens all the same.
  try {
    model.SetUp();
  } catch (const std::exception& error) {
    ReportError(error);
  }
  SetFocus(TFocus::List);
  closed_ = false;
  dirty_ = true;
  while (!closed_) {
    if (dirty_) Draw();
    const TKey key = NextKey(100);
    if (key.code == TKeyCode::None) {
      // Work handed to the main thread (the baggage's directory reader) runs meanwhile.
      TSetupUI::ProcessMessages();
      continue;
    }
    HandleKeySafely(key);
  }
}

void TTerminalFrontEnd::ProcessMessages() {
  TSetupUI::ProcessMessages();
  if (screen_ == nullptr) return;
  // Keys typed during a run reach the window as they would any time; the model ignores list
  // input while the run goes, and the buttons are disabled.
  if (boxes_.empty()) {
    for (TKey key = NextKey(0); key.code != TKeyCode::None; key = NextKey(0)) {
      HandleKeySafely(key);
    }
  }
  if (dirty_) Draw();
}

void TTerminalFrontEnd::WaitPumping(std::uint32_t milliseconds) {
  if (screen_ == nullptr) {
    TSetupUI::WaitPumping(milliseconds);
    return;
  }
  const std::uint64_t end = platform::TickCount() + milliseconds;
  for (;;) {
    ProcessMessages();
    const std::uint64_t now = platform::TickCount();
    if (now >= end) return;
    // Waiting for a key is waiting for the time to pass; a key that comes is handled at once.
    const TKey key = NextKey(static_cast<int>(std::min<std::uint64_t>(end - now, 50)));
    if (key.code != TKeyCode::None && boxes_.empty()) HandleKeySafely(key);
  }
}

platform::MessageResult TTerminalFrontEnd::ShowMessage(std::string_view text,
                                                       std::string_view caption,
                                                       platform::MessageButtons buttons) {
  using platform::MessageResult;
  if (screen_ == nullptr || !platform::IsMainThread()) {
    // Only the main thread draws; another thread's box is logged and answered as a user who
    // wants the run to go on would.
    DebugLog("Message '" + std::string(caption) + "': " + std::string(text));
    return buttons == platform::MessageButtons::Ok ? MessageResult::Ok : MessageResult::Yes;
  }
  TBox box;
  box.caption = Utf8ToWide(caption);
  box.text = Utf8ToWide(text);
  std::vector<MessageResult> results;
  switch (buttons) {
    case platform::MessageButtons::Ok:
      box.buttons = {L"OK"};
      results = {MessageResult::Ok};
      box.escape = 0;
      break;
    case platform::MessageButtons::YesNo:
      box.buttons = {L"Yes", L"No"};
      results = {MessageResult::Yes, MessageResult::No};
      break;
    case platform::MessageButtons::YesNoCancel:
      box.buttons = {L"Yes", L"No", L"Cancel"};
      results = {MessageResult::Yes, MessageResult::No, MessageResult::Cancel};
      box.escape = 2;
      break;
  }
  return results[static_cast<std::size_t>(RunBox(box))];
}

void TTerminalFrontEnd::ReportError(const std::exception& error) {
  setup::ReportFailure(error, [this](std::string_view text) { ShowError(text); });
}

TKey TTerminalFrontEnd::NextKey(int milliseconds) {
  const TKey key = screen_->ReadKey(milliseconds);
  if (key.code == TKeyCode::Resize) repaint_ = true;
  if (key.code != TKeyCode::None) dirty_ = true;
  return key;
}

void TTerminalFrontEnd::HandleKeySafely(const TKey& key) {
  // An error of a control's action is shown in a box, and the window stays.
  try {
    HandleKey(key);
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

void TTerminalFrontEnd::HandleKey(const TKey& key) {
  if (!Focusable(focus_)) MoveFocus(1);
  switch (key.code) {
    case TKeyCode::Tab:
      MoveFocus(1);
      return;
    case TKeyCode::BackTab:
      MoveFocus(-1);
      return;
    case TKeyCode::Escape:
      PressCancel();
      return;
    default:
      break;
  }
  const bool press = key.code == TKeyCode::Enter || (key.code == TKeyCode::Char && key.ch == L' ');
  switch (focus_) {
    case TFocus::Continue:
      if (press) PressContinue();
      return;
    case TFocus::Cancel:
      if (press) PressCancel();
      return;
    case TFocus::DirectoryButton:
      if (press) PressBrowse();
      return;
    case TFocus::DirectoryEdit:
      // Enter presses the default button, Continue.
      if (key.code == TKeyCode::Enter) {
        PressContinue();
      } else if (directoryEditor_.HandleKey(key)) {
        model_->DirectoryEditChange(directoryEditor_.Text());
      }
      return;
    case TFocus::List:
      HandleListKey(key);
      return;
  }
}

void TTerminalFrontEnd::HandleListKey(const TKey& key) {
  const int count = static_cast<int>(model_->Rows().size());
  const int selected = model_->Selected();
  const int page = std::max(1, Layout().listRows - 1);
  if (count == 0) return;
  switch (key.code) {
    case TKeyCode::Up:
      model_->Select(std::max(0, selected - 1));
      return;
    case TKeyCode::Down:
      model_->Select(std::min(count - 1, selected + 1));
      return;
    case TKeyCode::Home:
      model_->Select(0);
      return;
    case TKeyCode::End:
      model_->Select(count - 1);
      return;
    case TKeyCode::PageUp:
      model_->Select(std::max(0, selected - page));
      return;
    case TKeyCode::PageDown:
      model_->Select(std::min(count - 1, std::max(0, selected) + page));
      return;
    case TKeyCode::Left:
      listScroll_ = std::max(0, listScroll_ - 4);
      return;
    case TKeyCode::Right:
      listScroll_ += 4;  // Draw keeps it within the widest title
      return;
    case TKeyCode::Enter:
      PressContinue();
      return;
    case TKeyCode::Char:
      if (key.ch == L' ' && selected >= 0) {
        model_->SetChecked(selected, !model_->Rows()[static_cast<std::size_t>(selected)].Checked);
      }
      return;
    default:
      return;
  }
}

int TTerminalFrontEnd::RunBox(TBox& box) {
  boxes_.push_back(&box);
  struct TPop {
    std::vector<TBox*>& boxes;
    bool& dirty;
    ~TPop() {
      boxes.pop_back();
      dirty = true;
    }
  } pop{boxes_, dirty_};
  dirty_ = true;
  const int count = static_cast<int>(box.buttons.size());
  for (;;) {
    if (dirty_) Draw();
    const TKey key = NextKey(100);
    switch (key.code) {
      case TKeyCode::None:
        TSetupUI::ProcessMessages();
        continue;
      case TKeyCode::Tab:
        if (count > 0) box.focus = (box.focus + 1) % count;
        continue;
      case TKeyCode::BackTab:
        if (count > 0) box.focus = (box.focus + count - 1) % count;
        continue;
      case TKeyCode::Enter:
        // A folder has to be named before it can be chosen.
        if (box.editor != nullptr && box.editor->Text().empty()) continue;
        return box.focus;
      case TKeyCode::Escape:
        if (box.escape >= 0) return box.escape;
        continue;
      default:
        break;
    }
    if (box.editor != nullptr) {
      box.editor->HandleKey(key);
    } else if (key.code == TKeyCode::Char && key.ch == L' ') {
      return box.focus;
    } else if (key.code == TKeyCode::Right && count > 0) {
      box.focus = (box.focus + 1) % count;
    } else if (key.code == TKeyCode::Left && count > 0) {
      box.focus = (box.focus + count - 1) % count;
    }
  }
}

void TTerminalFrontEnd::PressContinue() {
  if (!model_->ContinueEnabled || model_->Running) return;
  dirty_ = true;
  // The model disables the controls for the run and enables them again however it ends; an
  // error passes on to be shown, and the window stays for another try.
  model_->Continue();
  closed_ = true;
}

void TTerminalFrontEnd::PressCancel() {
  if (!model_->CancelEnabled) return;
  TBox box;
  box.caption = Utf8ToWide(setupData_->Texts.MsgCaptionWarning);
  box.text = Utf8ToWide(setupData_->Texts.SConfirmCancel);
  box.buttons = {Utf8ToWide(setupData_->Texts.SYesButtonCaption),
                 Utf8ToWide(setupData_->Texts.SNoButtonCaption)};
  // The question cannot be escaped: only Yes and No answer it.
  box.escape = -1;
  if (RunBox(box) == 0) {
    setupData_->ExitCode = setup::kExitCancelled;
    closed_ = true;
  }
}

void TTerminalFrontEnd::PressBrowse() {
  if (!model_->DirectoryButtonEnabled || model_->Running) return;
  // In place of the shell's folder browser, the parent folder is typed; the application's own
  // folder name is kept, as the browser keeps it.
  const TSetupWindowModel::TBrowse browse = model_->BeginBrowse();
  std::optional<std::string> chosen;
  try {
    TLineEditor editor;
    std::string parent = browse.Parent;
    if (parent.size() > 1 && parent.back() == '\\' && parent[parent.size() - 2] != ':') {
      parent.pop_back();
    }
    editor.SetText(parent);
    TBox box;
    box.caption = Utf8ToWide(setupData_->Texts.LabelDirectory);
    box.editor = &editor;
    box.escape = 1;
    box.suffix = Utf8ToWide(browse.Name);
    if (RunBox(box) == 0) chosen = editor.Text();
  } catch (...) {
    model_->EndBrowse(browse, std::nullopt);
    throw;
  }
  model_->EndBrowse(browse, chosen);
}

bool TTerminalFrontEnd::Focusable(TFocus focus) const {
  const bool directory = model_->Selected() >= 0 && model_->DirectoryVisible;
  switch (focus) {
    case TFocus::Continue:
      return model_->ContinueEnabled && !model_->Running;
    case TFocus::Cancel:
      return model_->CancelEnabled;
    case TFocus::List:
      return true;
    case TFocus::DirectoryEdit:
      return directory && !model_->DirectoryEditReadOnly;
    case TFocus::DirectoryButton:
      return directory && model_->DirectoryButtonEnabled;
  }
  return false;
}

void TTerminalFrontEnd::SetFocus(TFocus focus) {
  if (focus == TFocus::DirectoryEdit && focus_ != TFocus::DirectoryEdit) {
    directoryEditor_.SetText(model_->DirectoryText);
  }
  focus_ = focus;
  dirty_ = true;
}

void TTerminalFrontEnd::MoveFocus(int step) {
  constexpr int count = static_cast<int>(std::size(kTabOrder));
  int at = static_cast<int>(std::find(std::begin(kTabOrder), std::end(kTabOrder), focus_) -
                            std::begin(kTabOrder));
  // The list can always take the focus, so the search ends.
  do {
    at = (at + step + count) % count;
  } while (!Focusable(kTabOrder[at]));
  SetFocus(kTabOrder[at]);
}

TLayout TTerminalFrontEnd::Layout() const {
  TLayout layout;
  const int lines = screen_->Lines();
  const int columns = screen_->Columns();
  layout.width = columns - 2 * layout.left;
  if (lines < kMinLines || columns < kMinColumns) {
    layout.tooSmall = true;
    return layout;
  }
  // The description takes up to three lines, the list the rest it needs; a small screen
  // shortens both.
  const int room = lines - kFixedRows;
  std::vector<std::wstring> description =
      WrapText(Utf8ToWide(setupData_->Texts.MsgInstall), layout.width);
  const int rowCount = static_cast<int>(model_->Rows().size());
  const int descriptionLines =
      std::max(1, std::min({3, static_cast<int>(description.size()), room - 3}));
  if (static_cast<int>(description.size()) > descriptionLines) {
    const auto last = static_cast<std::size_t>(descriptionLines - 1);
    description[last] = Ellipsize(description[last] + L" " + description[last + 1], layout.width);
    description.resize(last + 1);
  }
  layout.description = std::move(description);
  layout.listRows = std::min(room - descriptionLines, std::max(3, rowCount));
  layout.listRow = layout.descriptionRow + descriptionLines + 1;
  layout.directoryRow = layout.listRow + layout.listRows + 2;
  layout.progressRow = layout.directoryRow + 3;
  layout.buttonRow = layout.progressRow + 2;
  return layout;
}

void TTerminalFrontEnd::Draw() {
  if (!Focusable(focus_)) MoveFocus(1);
  screen_->Erase(repaint_);
  repaint_ = false;
  const TLayout layout = Layout();
  if (layout.tooSmall) {
    screen_->Put(0, 0,
                 Ellipsize(L"The terminal is too small for the setup window.", screen_->Columns()));
  } else {
    DrawWindow(layout);
  }
  for (const TBox* box : boxes_) DrawBox(*box);
  screen_->Show();
  dirty_ = false;
}

void TTerminalFrontEnd::DrawWindow(const TLayout& layout) {
  const int columns = screen_->Columns();
  // The caption, as the window's title bar shows it: the application title.
  screen_->Fill(0, 0, 1, columns, kReverse);
  const std::wstring caption = Ellipsize(L"Setup", columns);
  screen_->Put(0, (columns - Columns(caption)) / 2, caption, kReverse | kBold);
  for (std::size_t i = 0; i < layout.description.size(); ++i) {
    screen_->Put(layout.descriptionRow + static_cast<int>(i), layout.left, layout.description[i]);
  }
  DrawList(layout);
  DrawDirectory(layout);
  if (progressVisible_) {
    const int barWidth = layout.width - 7;
    const int maximum = std::max(progressMax_, 0);
    const int position = std::clamp(progress_, 0, maximum);
    const int filled = maximum > 0 ? position * barWidth / maximum : 0;
    const int percent = maximum > 0 ? position * 100 / maximum : 0;
    std::wstring bar = L"[" + std::wstring(static_cast<std::size_t>(filled), L'#') +
                       std::wstring(static_cast<std::size_t>(barWidth - filled), L' ') + L"]";
    std::wstring number = std::to_wstring(percent) + L"%";
    bar += std::wstring(5 - number.size(), L' ') + number;
    screen_->Put(layout.progressRow, layout.left, bar);
  }
  DrawButtons(layout);
  screen_->Put(screen_->Lines() - 1, 0, Ellipsize(kHelp, columns), kDim);
}

void TTerminalFrontEnd::DrawList(const TLayout& layout) {
  const auto& rows = model_->Rows();
  const int count = static_cast<int>(rows.size());
  const int selected = model_->Selected();
  const bool focused = focus_ == TFocus::List;
  screen_->Frame(layout.listRow, layout.left, layout.listRows + 2, layout.width,
                 focused ? kBold : kNormal);
  // Keep the selected row in view, and no empty rows below the last while rows are hidden.
  if (selected >= 0 && selected < listTop_) listTop_ = selected;
  if (selected >= listTop_ + layout.listRows) listTop_ = selected - layout.listRows + 1;
  listTop_ = std::clamp(listTop_, 0, std::max(0, count - layout.listRows));
  // Titles wider than the list scroll sideways, as far as the widest one needs.
  const int titleColumns = TitleColumns(layout);
  int widest = 0;
  for (const TListRow& row : rows) widest = std::max(widest, Columns(Utf8ToWide(row.App->Title)));
  listScroll_ = std::clamp(listScroll_, 0, std::max(0, widest - titleColumns));

  for (int i = 0; i < layout.listRows && listTop_ + i < count; ++i) {
    const int index = listTop_ + i;
    const TListRow& row = rows[static_cast<std::size_t>(index)];
    std::wstring text = row.Checked ? L" [x] " : L" [ ] ";
    std::wstring title = ColumnSlice(Utf8ToWide(row.App->Title), listScroll_, titleColumns);
    title.append(static_cast<std::size_t>(titleColumns - Columns(title)), L' ');
    text += title + L' ';
    unsigned attr = row.FromScript() ? kBold : kNormal;
    if (index == selected) attr |= focused ? kReverse : kUnderline;
    screen_->Put(layout.listRow + 1 + i, layout.left + 1, text, attr);
  }
  const int right = layout.left + layout.width - 1;
  if (listTop_ > 0) screen_->Put(layout.listRow, right - 1, L"\u2191");
  if (listTop_ + layout.listRows < count) {
    screen_->Put(layout.listRow + layout.listRows + 1, right - 1, L"\u2193");
  }
  if (listScroll_ > 0)
    screen_->Put(layout.listRow + layout.listRows + 1, layout.left + 1, L"\u2190");
  if (listScroll_ < widest - titleColumns) {
    screen_->Put(layout.listRow + layout.listRows + 1, right - 3, L"\u2192");
  }
}

void TTerminalFrontEnd::DrawDirectory(const TLayout& layout) {
  if (model_->Selected() < 0 || !model_->DirectoryVisible) return;
  screen_->Put(layout.directoryRow, layout.left, Utf8ToWide(setupData_->Texts.LabelDirectory));
  const int row = layout.directoryRow + 1;
  const int fieldWidth = layout.width - 6;
  if (focus_ == TFocus::DirectoryEdit) {
    directoryEditor_.Draw(*screen_, row, layout.left, fieldWidth, kReverse);
  } else {
    std::wstring text = EllipsizeFront(Utf8ToWide(model_->DirectoryText), fieldWidth);
    text.append(static_cast<std::size_t>(fieldWidth - Columns(text)), L' ');
    screen_->Put(row, layout.left, text, model_->DirectoryEditReadOnly ? kNormal : kUnderline);
  }
  unsigned attr = kNormal;
  if (!model_->DirectoryButtonEnabled) attr = kDim;
  if (focus_ == TFocus::DirectoryButton) attr = kReverse | kBold;
  screen_->Put(row, layout.left + layout.width - 5, L"[...]", attr);
}

void TTerminalFrontEnd::DrawButtons(const TLayout& layout) {
  const int columns = screen_->Columns();
  struct TButton {
    TFocus focus;
    const std::string& caption;
    bool enabled;
    int center;
  };
  // Where the window has them: Continue in the left quarter, Cancel in the right one.
  const TButton buttons[] = {
      {TFocus::Continue, setupData_->Texts.ButtonContinue,
       model_->ContinueEnabled && !model_->Running, columns * 104 / 392},
      {TFocus::Cancel, setupData_->Texts.ButtonCancel, model_->CancelEnabled, columns * 289 / 392},
  };
  for (const TButton& button : buttons) {
    const std::wstring label =
        L"[ " + Ellipsize(Utf8ToWide(button.caption), columns / 2 - 6) + L" ]";
    unsigned attr = button.enabled ? kNormal : kDim;
    if (focus_ == button.focus) attr = kReverse | kBold;
    screen_->Put(layout.buttonRow, std::max(0, button.center - Columns(label) / 2), label, attr);
  }
}

void TTerminalFrontEnd::DrawBox(const TBox& box) {
  const int lines = screen_->Lines();
  const int columns = screen_->Columns();
  screen_->SetCursor(-1, -1);
  const int widest = std::max(1, std::min(columns - 6, 64));
  std::vector<std::wstring> text;
  int inner = 0;
  // The buttons are as wide as the widest caption, side by side with two blanks between them.
  int buttonColumns = 0;
  for (const std::wstring& button : box.buttons) {
    buttonColumns = std::max(buttonColumns, Columns(button));
  }
  const int buttonCount = static_cast<int>(box.buttons.size());
  if (box.editor != nullptr) {
    inner = widest;
  } else {
    text = WrapText(box.text, widest);
    for (const std::wstring& line : text) inner = std::max(inner, Columns(line));
    inner = std::max({inner, buttonCount * (buttonColumns + 6) - 2, Columns(box.caption) + 2});
    inner = std::min(inner, columns - 4);
    buttonColumns =
        std::min(buttonColumns, std::max(1, (inner + 2) / std::max(1, buttonCount) - 6));
    // Whatever does not fit on the screen is cut, its last line marked.
    const int room = std::max(1, lines - 5);
    if (static_cast<int>(text.size()) > room) {
      const auto last = static_cast<std::size_t>(room - 1);
      text[last] = Ellipsize(text[last] + L" " + text[last + 1], inner);
      text.resize(last + 1);
    }
  }
  const int height = box.editor != nullptr ? 7 : static_cast<int>(text.size()) + 5;
  const int width = inner + 4;
  const int top = std::max(0, (lines - height) / 2);
  const int left = std::max(0, (columns - width) / 2);
  screen_->Fill(top, left, height, width);
  screen_->Frame(top, left, height, width, kBold);
  if (!box.caption.empty()) {
    screen_->Put(top, left + 2, L" " + Ellipsize(box.caption, width - 6) + L" ", kBold);
  }
  if (box.editor != nullptr) {
    std::wstring path = Utf8ToWide(box.editor->Text());
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    screen_->Put(top + 3, left + 2, EllipsizeFront(path + box.suffix, inner), kDim);
    screen_->Put(top + 5, left + 2, Ellipsize(L"Enter: choose   Esc: cancel", inner), kDim);
    box.editor->Draw(*screen_, top + 2, left + 2, inner, kReverse);
    return;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    screen_->Put(top + 2 + static_cast<int>(i), left + 2, text[i]);
  }
  const int total = buttonCount * (buttonColumns + 6) - 2;
  int column = left + std::max(2, (width - total) / 2);
  for (int i = 0; i < buttonCount; ++i) {
    const std::wstring caption = Ellipsize(box.buttons[static_cast<std::size_t>(i)], buttonColumns);
    const int space = buttonColumns - Columns(caption);
    const std::wstring label =
        L"[ " + std::wstring(static_cast<std::size_t>(space / 2), L' ') + caption +
        std::wstring(static_cast<std::size_t>(space - space / 2), L' ') + L" ]";
    screen_->Put(top + height - 2, column, label, i == box.focus ? kReverse | kBold : kNormal);
    column += buttonColumns + 6;
  }
}

}  // namespace

std::unique_ptr<TFrontEnd> CreateFrontEnd() {
  return std::make_unique<TTerminalFrontEnd>();
}

}  // namespace valise::ui
