#include "util/integers.h"

#include <limits>
#include <string>

#include "platform/errors.h"

namespace valise {

bool TryStrToInt(std::string_view text, std::int32_t& result) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  int base = 10;
  if (pos < text.size() && text[pos] == '$') {
    base = 16;
    ++pos;
  } else if (pos + 1 < text.size() && text[pos] == '0' &&
             (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    base = 16;
    pos += 2;
  }
  if (pos == text.size()) return false;
  std::int64_t value = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    value = value * base + digit;
    if (value > std::int64_t{std::numeric_limits<std::uint32_t>::max()}) return false;
  }
  if (negative) value = -value;
  if (base == 10 && (value > std::numeric_limits<std::int32_t>::max() ||
                     value < std::numeric_limits<std::int32_t>::min())) {
    return false;
  }
  result = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  return true;
}

std::int32_t StrToInt(std::string_view text) {
  std::int32_t value = 0;
  if (!TryStrToInt(text, value)) {
    throw Error("'" + std::string(text) + "' is not a valid integer value");
  }
  return value;
}

}  // namespace valise
