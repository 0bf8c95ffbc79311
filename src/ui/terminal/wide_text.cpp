#include "ui/terminal/wide_text.h"

#include <algorithm>
#include <cwchar>

namespace valise::ui::terminal {

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring result;
  result.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      length = 1;
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1F;
      minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0F;
      minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07;
      minimum = 0x10000;
    }
    bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not characters.
    valid = valid && code >= minimum && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!valid) {
      result += L'\uFFFD';
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(length);
    if (code == '\r') continue;
    if (code < 0x20 && code != '\n') code = ' ';
    if (code == 0x7F) code = ' ';
    result += static_cast<wchar_t>(code);
  }
  return result;
}

std::string WideToUtf8(std::wstring_view text) {
  std::string result;
  result.reserve(text.size());
  for (wchar_t ch : text) {
    const auto code = static_cast<char32_t>(ch);
    if (code < 0x80) {
      result += static_cast<char>(code);
    } else if (code < 0x800) {
      result += static_cast<char>(0xC0 | (code >> 6));
      result += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      result += static_cast<char>(0xE0 | (code >> 12));
      result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      result += static_cast<char>(0xF0 | (code >> 18));
      result += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (code & 0x3F));
    }
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
