#include "ui/terminal/line_editor.h"

#include "ui/terminal/wide_text.h"

namespace valise::ui::terminal {

void TLineEditor::SetText(std::string_view utf8) {
  text_ = Utf8ToWide(utf8);
  cursor_ = text_.size();
  scroll_ = 0;
}

std::string TLineEditor::Text() const {
  return WideToUtf8(text_);
}

bool TLineEditor::HandleKey(const TKey& key) {
  switch (key.code) {
    case TKeyCode::Char:
      text_.insert(cursor_, 1, key.ch);
      ++cursor_;
      return true;
    case TKeyCode::Left:
      if (cursor_ > 0) --cursor_;
      return false;
    case TKeyCode::Right:
      if (cursor_ < text_.size()) ++cursor_;
      return false;
    case TKeyCode::Home:
      cursor_ = 0;
      return false;
    case TKeyCode::End:
      cursor_ = text_.size();
      return false;
    case TKeyCode::Backspace:
      if (cursor_ == 0) return false;
      text_.erase(--cursor_, 1);
      return true;
    case TKeyCode::Delete:
      if (cursor_ >= text_.size()) return false;
      text_.erase(cursor_, 1);
      return true;
    default:
      return false;
  }
}

void TLineEditor::Draw(TScreen& screen, int row, int column, int width, unsigned attr) {
  if (width <= 1) return;
  const int cursorColumn = Columns(std::wstring_view(text_).substr(0, cursor_));
  // The last column stays free for the cursor behind the text.
  if (cursorColumn < scroll_) scroll_ = cursorColumn;
  if (cursorColumn >= scroll_ + width) scroll_ = cursorColumn - width + 1;
  std::wstring shown = ColumnSlice(text_, scroll_, width);
  shown.append(static_cast<std::size_t>(width - Columns(shown)), L' ');
  screen.Put(row, column, shown, attr);
  screen.SetCursor(row, column + cursorColumn - scroll_);
}

}  // namespace valise::ui::terminal
