// Code-page conversion and case rules over arbitrary bytes: stored names and texts pass through
// them. The first byte chooses the code page; the rest is both the stored bytes and the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 4096) return 0;
  static constexpr unsigned kCodePages[] = {1250, 1251, 1252, 1253, 1254, 1257, 932, 0};
  const unsigned codePage = kCodePages[data[0] % 8];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string text = valise::platform::AnsiToUtf8(bytes, codePage);
  const std::string back = valise::platform::Utf8ToAnsi(text, codePage);
  // These code pages give every byte a character, so every byte comes back.
  const bool complete =
      codePage == 0 || codePage == 1250 || codePage == 1251 || codePage == 1252 || codePage == 1254;
  if (complete && back != bytes) __builtin_trap();
  valise::platform::Utf8ToAnsi(bytes, codePage);
  const std::string upper = valise::platform::UpperCase(bytes);
  if (valise::platform::CompareTextIgnoreCase(upper, bytes) != 0 && upper == bytes) {
    __builtin_trap();
  }
  valise::platform::CompareTextIgnoreCase(text, bytes);
  return 0;
}
