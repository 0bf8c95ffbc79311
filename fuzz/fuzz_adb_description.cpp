// The text description of a table: malformed text must fail with valise::Error, and a
// description that parses must build and describe again without failing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "adb/description.h"
#include "platform/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 16) return 0;
  try {
    const valise::adb::TableBuilder builder =
        valise::adb::ParseDescription(std::string_view(reinterpret_cast<const char*>(data), size));
    builder.TableBytes();
  } catch (const valise::Error&) {
  }
  return 0;
}
