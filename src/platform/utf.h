// UTF-8 and UTF-16, the two forms text takes between this system and the formats it reads and
// writes. A malformed UTF-8 sequence counts as its first byte alone, which stands for U+FFFD;
// a lone UTF-16 surrogate becomes U+FFFD too.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace valise::platform {

// Decodes the code point at `pos` and moves past it. A byte that starts no valid sequence
// gives nothing and is passed over alone.
std::optional<char32_t> DecodeUtf8(std::string_view text, std::size_t& pos);

void AppendUtf8(std::string& out, char32_t code);
// Appends a code point as UTF-16 units to a string of 16-bit units (a std::u16string, or a
// std::wstring on Windows).
template <typename Units>
void AppendUtf16Units(Units& out, char32_t code) {
  using Unit = typename Units::value_type;
  if (code >= 0x10000) {
    code -= 0x10000;
    out += static_cast<Unit>(0xD800 | (code >> 10));
    out += static_cast<Unit>(0xDC00 | (code & 0x3FF));
  } else {
    out += static_cast<Unit>(code);
  }
}
inline void AppendUtf16(std::u16string& out, char32_t code) {
  AppendUtf16Units(out, code);
}

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace valise::platform
