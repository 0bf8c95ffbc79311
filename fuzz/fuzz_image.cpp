// Image files for the posix backend's readers: any bytes decode or give nothing, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/image_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace valise::platform;
  if (size > 1 << 20) return 0;
  const std::span<const std::uint8_t> bytes(data, size);
  if (const auto bitmap = DecodeImageFile(bytes)) {
    if (bitmap->pixels.size() != static_cast<std::size_t>(bitmap->width) * bitmap->height * 4) {
      std::abort();
    }
  }
  // The decompressor alone, asked for as many bytes as the input's first two give.
  if (size >= 2) ZlibDecompress(bytes.subspan(2), std::size_t{data[0]} << 8 | data[1]);
  return 0;
}
