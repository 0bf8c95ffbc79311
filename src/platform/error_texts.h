// The English texts Windows gives the system error codes that this system deals with, shared
// by both backends so that they report failures in the same words.
#pragma once

#include <cstdint>

namespace valise::platform::detail {

// The text of a code, or null for a code without one here.
const char* WindowsErrorText(std::uint32_t code);

}  // namespace valise::platform::detail
