// The PNG and BMP readers and the zlib decompressor behind the posix backend's DecodeImage.
// They work over bytes only and live beside the interface, so that the fuzz targets and the
// tests of both backends reach them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/image.h"

namespace valise::platform {

// The largest image the readers decode, in pixels (a 8192 x 8192 image).
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t{1} << 26;

// Decompresses a zlib stream (deflate, no preset dictionary, Adler-32 checked) whose output must
// be exactly `size` bytes. Nothing for bad or truncated data or for any other output size.
std::optional<std::vector<std::uint8_t>> ZlibDecompress(std::span<const std::uint8_t> data,
                                                        std::size_t size);

// The readers of DecodeImage; each gives nothing for a file it cannot decode.
std::optional<Bitmap32> DecodePng(std::span<const std::uint8_t> bytes);
std::optional<Bitmap32> DecodeBmp(std::span<const std::uint8_t> bytes);
// Picks the reader by the file's signature.
std::optional<Bitmap32> DecodeImageFile(std::span<const std::uint8_t> bytes);

}  // namespace valise::platform
