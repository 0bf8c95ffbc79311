// The terminal as one screen of character cells, driven through the wide-character curses
// library; the only file of the terminal front end that sees curses itself.
#pragma once

#include <signal.h>

#include <string>
#include <string_view>

namespace valise::ui::terminal {

// Cell attributes, combined with |.
enum TAttr : unsigned {
  kNormal = 0,
  kBold = 1,
  kReverse = 2,
  kDim = 4,
  kUnderline = 8,
};

enum class TKeyCode {
  None,  // no key came in time
  Char,  // a character to type: TKey::ch
  Up,
  Down,
  Left,
  Right,
  Home,
  End,
  PageUp,
  PageDown,
  Tab,
  BackTab,
  Enter,
  Escape,
  Backspace,
  Delete,
  Resize,  // the terminal changed its size; the screen has taken the new size already
  Other,
};

struct TKey {
  TKeyCode code = TKeyCode::None;
  wchar_t ch = 0;
};

class TScreen {
 public:
  // Takes over the terminal on standard input and output: no echo, keys one by one, the
  // cursor hidden. Throws valise::Error when they are no terminal or the terminal type is not
  // known. Text is shown as UTF-8 when the locale names no character set of its own.
  TScreen();
  // Gives the terminal back as it was.
  ~TScreen();
  TScreen(const TScreen&) = delete;
  TScreen& operator=(const TScreen&) = delete;

  int Lines() const;
  int Columns() const;

  // Waits up to `milliseconds` for a key (0: only looks).
  TKey ReadKey(int milliseconds);

  // Starts a new picture: every cell blank. `repaint` makes the next Show redraw the whole
  // terminal instead of only what changed (after a resize).
  void Erase(bool repaint);
  // Writes `text` from (row, column) on, clipped at the right edge of the screen.
  void Put(int row, int column, std::wstring_view text, unsigned attr = kNormal);
  // A frame of lines around the rectangle (row, column, height, width), outer edges included.
  void Frame(int row, int column, int height, int width, unsigned attr = kNormal);
  // Blanks the rectangle.
  void Fill(int row, int column, int height, int width, unsigned attr = kNormal);
  // Where the cursor stands when the picture is shown; hidden when no position is set.
  void SetCursor(int row, int column);
  // Brings the terminal up to date with the picture.
  void Show();

 private:
  void* screen_ = nullptr;  // the curses SCREEN
  struct sigaction savedInterrupt_ {};
  std::string savedLocale_;
  int cursorRow_ = -1;
  int cursorColumn_ = -1;
};

}  // namespace valise::ui::terminal
