// Shell link files: any bytes give a link or an Error, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/errors.h"
#include "platform/shell_link_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  try {
    const auto link = valise::platform::DecodeShellLink(
        std::string_view(reinterpret_cast<const char*>(data), size));
    // What was read must encode again.
    valise::platform::EncodeShellLink(link);
  } catch (const valise::Error&) {
  }
  return 0;
}
