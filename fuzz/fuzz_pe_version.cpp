// PE version resources: any bytes give a version, nothing, or an Error, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/errors.h"
#include "platform/pe_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  try {
    valise::platform::ReadPeFileVersion(
        std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const valise::Error&) {
  }
  return 0;
}
