// Feeds arbitrary bytes to the baggage container reader: prefix, header and directory, then
// sorts the directory and reads every entry's bytes within the data's bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "baggage/bag_format.h"
#include "platform/errors.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace valise::bagformat;
  if (size > (1u << 20)) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  SpanSource source(bytes);
  const Probe probe = ProbePrefix(source);
  if (!probe.ok || probe.External() || !probe.HeaderValid()) return 0;
  try {
    auto entries = ReadDirectory(source, probe);
    SortDirectory(entries);
    char buffer[64];
    for (const valise::TBagEntry& entry : entries) {
      if (std::uint64_t{entry.Offset} + entry.Size > source.Size()) continue;
      source.ReadAt(entry.Offset, buffer, entry.Size < sizeof buffer ? entry.Size : sizeof buffer);
      (void)valise::platform::CompareTextIgnoreCase(entry.Name, entries.front().Name);
    }
  } catch (const valise::Error&) {
  }
  return 0;
}
