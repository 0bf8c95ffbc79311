// Decoding the image files the setup window shows (its logo): PNG and BMP into 32-bit pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace valise::platform {

// An image of 32-bit pixels: rows from the top, each pixel four bytes in the order blue, green,
// red, alpha, colours not premultiplied by alpha. Images without an alpha channel are opaque.
struct Bitmap32 {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // width * height * 4 bytes

  // The pixel at (x, y) as 0xAARRGGBB.
  std::uint32_t Pixel(int x, int y) const {
    const std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 4];
    return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[1]) << 8 | p[0];
  }
};

// Decodes a PNG file (non-interlaced, 8 bits per sample: grey, grey with alpha, RGB, RGBA or a
// palette, with its transparency) or a BMP file (24 or 32 bits per pixel, uncompressed or with
// bit fields). Anything else, and any file that does not decode, gives nothing; never a crash.
// On Windows the system's imaging component decodes (and may take more formats).
std::optional<Bitmap32> DecodeImage(std::span<const std::uint8_t> bytes);

}  // namespace valise::platform
