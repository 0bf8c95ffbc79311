#include "platform/image.h"

#include "platform/image_format.h"

namespace valise::platform {

std::optional<Bitmap32> DecodeImage(std::span<const std::uint8_t> bytes) {
  return DecodeImageFile(bytes);
}

}  // namespace valise::platform
