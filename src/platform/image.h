// Decoding the image files the setup window shows (its logo) into 32-bit pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/bytes.h"

namespace valise::platform {

// An image of 32-bit pixels: rows from the top, each pixel four bytes in the order blue, green,
// red, alpha, colours not premultiplied by alpha. Images without an alpha channel are opaque.
struct Bitmap32 {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // width * height * 4 bytes

  // The pixel at (x, y) as 0xAARRGGBB.
  std::uint32_t Pixel(int x, int y) const {
    return LoadU32(&pixels[(static_cast<std::size_t>(y) * width + x) * 4]);
  }
};

// The largest image decoded, in pixels (a 8192 x 8192 image).
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t{1} << 26;

// Decodes an image file (PNG, BMP and whatever else the system's imaging component takes) on
// Windows. A file that does not decode, or is larger than kMaxImagePixels, gives nothing. The
// posix backend has no decoder (the terminal draws no logo) and always gives nothing.
std::optional<Bitmap32> DecodeImage(std::span<const std::uint8_t> bytes);

}  // namespace valise::platform
