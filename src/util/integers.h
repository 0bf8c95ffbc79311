// Integers written as text, as scripts, tables and registry entries give them: optional leading
// blanks and a sign, then decimal digits, or "$" or "0x" and hexadecimal digits; the whole text
// must be used and fit 32 bits (a hexadecimal text may give all 32 bits, so "0xFFFFFFFF" is -1).
#pragma once

#include <cstdint>
#include <string_view>

namespace valise {

// False, leaving `value` alone, when the text is no such integer.
bool TryStrToInt(std::string_view text, std::int32_t& value);
// Throws Error "'TEXT' is not a valid integer value" when the text is no such integer.
std::int32_t StrToInt(std::string_view text);

}  // namespace valise
