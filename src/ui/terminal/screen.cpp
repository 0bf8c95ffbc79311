#include "ui/terminal/screen.h"

#include <curses.h>
#include <langinfo.h>
#include <signal.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/errors.h"
#include "ui/terminal/wide_text.h"

namespace valise::ui::terminal {

namespace {

attr_t CursesAttr(unsigned attr) {
  attr_t result = A_NORMAL;
  if ((attr & kBold) != 0) result |= A_BOLD;
  if ((attr & kReverse) != 0) result |= A_REVERSE;
  if ((attr & kDim) != 0) result |= A_DIM;
  if ((attr & kUnderline) != 0) result |= A_UNDERLINE;
  return result;
}

// Set by Ctrl+C; the next key read is Escape.
volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
  interrupted = 1;
}

}  // namespace

TScreen::TScreen() {
  if (isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0) {
    throw Error(
        "An interactive run needs a terminal, and standard input and output are none: start "
        "the setup program in a terminal, or with /silent");
  }
  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0') {
    throw Error("The terminal type is not set: set TERM, or start the setup program with /silent");
  }
  // The wide-character functions speak the locale's character set. Without one (the "C"
  // locale is plain ASCII) the texts could not be shown, so UTF-8 stands in.
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  savedLocale_ = current != nullptr ? current : "C";
  std::setlocale(LC_CTYPE, "");
  if (std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
  }
  // Ctrl+C is the Cancel button, with its question, rather than an end without one. Set before
  // the library starts, which then leaves the signal alone.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &savedInterrupt_);
  interrupted = 0;
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (screen == nullptr) {
    sigaction(SIGINT, &savedInterrupt_, nullptr);
    std::setlocale(LC_CTYPE, savedLocale_.c_str());
    throw Error(std::string("The terminal type '") + term +
                "' is not known: set TERM, or start the setup program with /silent");
  }
  screen_ = screen;
  set_escdelay(25);
  cbreak();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  // Terminals that ignore the switch to application keys send the arrows in their normal form.
  define_key("\033[A", KEY_UP);
  define_key("\033[B", KEY_DOWN);
  define_key("\033[C", KEY_RIGHT);
  define_key("\033[D", KEY_LEFT);
  define_key("\033[H", KEY_HOME);
  define_key("\033[F", KEY_END);
  curs_set(0);
}

TScreen::~TScreen() {
  endwin();
  delscreen(static_cast<SCREEN*>(screen_));
  sigaction(SIGINT, &savedInterrupt_, nullptr);
  std::setlocale(LC_CTYPE, savedLocale_.c_str());
}

int TScreen::Lines() const {
  return LINES;
}

int TScreen::Columns() const {
  return COLS;
}

TKey TScreen::ReadKey(int milliseconds) {
  timeout(milliseconds);
  wint_t ch = 0;
  const int result = interrupted != 0 ? ERR : get_wch(&ch);
  if (interrupted != 0) {
    interrupted = 0;
    return {TKeyCode::Escape};
  }
  if (result == ERR) return {};
  if (result == KEY_CODE_YES) {
    switch (ch) {
      case KEY_UP:
        return {TKeyCode::Up};
      case KEY_DOWN:
        return {TKeyCode::Down};
      case KEY_LEFT:
        return {TKeyCode::Left};
      case KEY_RIGHT:
        return {TKeyCode::Right};
      case KEY_HOME:
        return {TKeyCode::Home};
      case KEY_END:
        return {TKeyCode::End};
      case KEY_PPAGE:
        return {TKeyCode::PageUp};
      case KEY_NPAGE:
        return {TKeyCode::PageDown};
      case KEY_BTAB:
        return {TKeyCode::BackTab};
      case KEY_ENTER:
        return {TKeyCode::Enter};
      case KEY_BACKSPACE:
        return {TKeyCode::Backspace};
      case KEY_DC:
        return {TKeyCode::Delete};
      case KEY_RESIZE:
        return {TKeyCode::Resize};
      default:
        return {TKeyCode::Other};
    }
  }
  switch (ch) {
    case L'\t':
      return {TKeyCode::Tab};
    case L'\r':
    case L'\n':
      return {TKeyCode::Enter};
    case 27:
      return {TKeyCode::Escape};
    case 8:
    case 127:
      return {TKeyCode::Backspace};
    default:
      break;
  }
  if (ch < 0x20) return {TKeyCode::Other};
  return {TKeyCode::Char, static_cast<wchar_t>(ch)};
}

void TScreen::Erase(bool repaint) {
  if (repaint) {
    clear();
  } else {
    erase();
  }
  cursorRow_ = -1;
  cursorColumn_ = -1;
}

void TScreen::Put(int row, int column, std::wstring_view text, unsigned attr) {
  if (row < 0 || row >= LINES || column < 0 || column >= COLS) return;
  const std::wstring visible = ColumnSlice(text, 0, COLS - column);
  attr_set(CursesAttr(attr), 0, nullptr);
  mvaddnwstr(row, column, visible.c_str(), static_cast<int>(visible.size()));
  attr_set(A_NORMAL, 0, nullptr);
}

void TScreen::Frame(int row, int column, int height, int width, unsigned attr) {
  if (height < 2 || width < 2) return;
  attr_set(CursesAttr(attr), 0, nullptr);
  const int bottom = row + height - 1;
  const int right = column + width - 1;
  mvhline_set(row, column + 1, WACS_HLINE, width - 2);
  mvhline_set(bottom, column + 1, WACS_HLINE, width - 2);
  mvvline_set(row + 1, column, WACS_VLINE, height - 2);
  mvvline_set(row + 1, right, WACS_VLINE, height - 2);
  mvadd_wch(row, column, WACS_ULCORNER);
  mvadd_wch(row, right, WACS_URCORNER);
  mvadd_wch(bottom, column, WACS_LLCORNER);
  mvadd_wch(bottom, right, WACS_LRCORNER);
  attr_set(A_NORMAL, 0, nullptr);
}

void TScreen::Fill(int row, int column, int height, int width, unsigned attr) {
  if (width <= 0) return;
  const std::wstring blanks(static_cast<std::size_t>(width), L' ');
  for (int r = row; r < row + height; ++r) Put(r, column, blanks, attr);
}

void TScreen::SetCursor(int row, int column) {
  cursorRow_ = row;
  cursorColumn_ = column;
}

void TScreen::Show() {
  if (cursorRow_ >= 0 && cursorRow_ < LINES && cursorColumn_ >= 0 && cursorColumn_ < COLS) {
    move(cursorRow_, cursorColumn_);
    curs_set(1);
  } else {
    curs_set(0);
  }
  refresh();
}

}  // namespace valise::ui::terminal
