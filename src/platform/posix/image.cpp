#include "platform/image.h"

namespace valise::platform {

// There is no image decoder here: the terminal front end draws no logo.
std::optional<Bitmap32> DecodeImage(std::span<const std::uint8_t>) {
  return std::nullopt;
}

}  // namespace valise::platform
