#include "ui/terminal/wide_text.h"

#include <algorithm>
#include <cwchar>

#include "platform/utf.h"

namespace valise::ui::terminal {

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring result;
  result.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t code = platform::DecodeUtf8(text, pos).value_or(U'\uFFFD');
    if (code == '\r') continue;
    if ((code < 0x20 && code != '\n') || code == 0x7F) code = ' ';
    result += static_cast<wchar_t>(code);
  }
  return result;
}

std::string WideToUtf8(std::wstring_view text) {
  std::string result;
  result.reserve(text.size());
  for (wchar_t ch : text) {
    // What a key gave that is no character (a lone surrogate, a value beyond Unicode) must not
    // reach a path as bytes that are no UTF-8.
    const auto code = static_cast<char32_t>(ch);
    const bool character = code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    platform::AppendUtf8(result, character ? code : U'\uFFFD');
  }
  return result;
}

int CharColumns(wchar_t ch) {
  // A character the locale does not know still takes a cell; the screen shows a substitute.
  const int columns = wcwidth(ch);
  return columns < 0 ? 1 : columns;
}

int Columns(std::wstring_view text) {
  int columns = 0;
  for (wchar_t ch : text) columns += CharColumns(ch);
  return columns;
}

std::wstring ColumnSlice(std::wstring_view text, int first, int width) {
  std::wstring result;
  int column = 0;
  const int last = first + width;
  for (wchar_t ch : text) {
    const int columns = CharColumns(ch);
    const int end = column + columns;
    if (column >= first && end <= last) {
      result += ch;
    } else if (end > first && column < last) {
      // Cut by an edge: blanks for the part inside.
      for (int c = std::max(column, first); c < std::min(end, last); ++c) result += L' ';
    }
    column = end;
    if (column >= last) break;
  }
  return result;
}

std::wstring Ellipsize(std::wstring_view text, int width) {
  if (width <= 0) return {};
  if (Columns(text) <= width) return std::wstring(text);
  std::wstring result = ColumnSlice(text, 0, width - 1);
  while (!result.empty() && result.back() == L' ') result.pop_back();
  return result + L'\u2026';
}

std::wstring EllipsizeFront(std::wstring_view text, int width) {
  if (width <= 0) return {};
  const int columns = Columns(text);
  if (columns <= width) return std::wstring(text);
  std::wstring rest = ColumnSlice(text, columns - width + 1, width - 1);
  while (!rest.empty() && rest.front() == L' ') rest.erase(0, 1);
  return L'\u2026' + rest;
}

std::vector<std::wstring> WrapText(std::wstring_view text, int width) {
  std::vector<std::wstring> lines;
  if (width <= 0) return lines;
  std::wstring line;
  int lineColumns = 0;
  std::wstring word;
  int wordColumns = 0;
  const auto flushWord = [&] {
    if (word.empty()) return;
    const int gap = line.empty() ? 0 : 1;
    if (lineColumns + gap + wordColumns > width && !line.empty()) {
      lines.push_back(line);
      line.clear();
      lineColumns = 0;
    } else if (gap != 0) {
      line += L' ';
      lineColumns += 1;
    }
    // A word wider than a whole line is broken where the line ends.
    for (wchar_t ch : word) {
      const int columns = CharColumns(ch);
      if (lineColumns + columns > width && !line.empty()) {
        lines.push_back(line);
        line.clear();
        lineColumns = 0;
      }
      line += ch;
      lineColumns += columns;
    }
    word.clear();
    wordColumns = 0;
  };
  for (wchar_t ch : text) {
    if (ch == L'\n') {
      flushWord();
      lines.push_back(line);
      line.clear();
      lineColumns = 0;
    } else if (ch == L' ') {
      flushWord();
    } else {
      word += ch;
      wordColumns += CharColumns(ch);
    }
  }
  flushWord();
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

}  // namespace valise::ui::terminal
