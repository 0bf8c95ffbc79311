// Text as the terminal shows it: UTF-8 decoded into wide characters, measured in screen columns
// (a CJK character takes two, a combining accent none), cut to a width and wrapped into lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace valise::ui::terminal {

// UTF-8 (decoded by platform/utf.h) into wide characters; a byte that does not belong to a
// valid sequence becomes U+FFFD.
// Control characters other than line feed become blanks, carriage returns are dropped.
std::wstring Utf8ToWide(std::string_view text);
// Wide characters back into UTF-8; a value that is no character becomes U+FFFD.
std::string WideToUtf8(std::wstring_view text);

// The columns one character takes on the screen (0 for combining characters).
int CharColumns(wchar_t ch);
int Columns(std::wstring_view text);

// The part of `text` that lies in the columns [first, first + width): a wide character cut by
// either edge is replaced by blanks, so that the result is exactly as wide as what it covers.
std::wstring ColumnSlice(std::wstring_view text, int first, int width);

// `text` cut to `width` columns, ending in "…" when something was cut off.
std::wstring Ellipsize(std::wstring_view text, int width);

// `text` cut to its last `width` columns, beginning with "…" when something was cut off (for
// paths, whose end says most).
std::wstring EllipsizeFront(std::wstring_view text, int width);

// `text` broken into lines of at most `width` columns: at blanks where possible, inside a word
// that is wider than a line, and at every line feed.
std::vector<std::wstring> WrapText(std::wstring_view text, int width);

}  // namespace valise::ui::terminal
