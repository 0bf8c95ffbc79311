// Feeds arbitrary bytes to the reader of Wine's registry files. What it accepts must come out
// of the writer unchanged, and must still read back after changes to its keys and values.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/posix/wine_registry_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using valise::platform::posix::WineRegData;
  using valise::platform::posix::WineRegistryFile;
  if (size > (1u << 20)) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::optional<WineRegistryFile> parsed;
  try {
    parsed.emplace(WineRegistryFile::Parse(bytes, "fuzz.reg"));
  } catch (const valise::Error&) {
    return 0;
  }
  WineRegistryFile& file = *parsed;
  const std::string first = file.Serialize();
  try {
    if (WineRegistryFile::Parse(first, "again.reg").Serialize() != first) std::abort();
    // Change every key a little: a value set from the input, one deleted, a subkey added, and
    // the last subkey deleted; the result must read back.
    std::vector<WineRegistryFile::Path> queue{{}};
    for (std::size_t i = 0; i < queue.size() && i < 64; ++i) {
      const auto path = queue[i];
      for (auto& name : file.SubKeyNames(path)) {
        auto child = path;
        child.push_back(std::move(name));
        queue.push_back(std::move(child));
      }
      const auto values = file.ValueNames(path);
      file.SetValue(path, u"Fuzz\x141",
                    WineRegData{static_cast<std::uint32_t>(size % 9),
                                {data, data + std::min<std::size_t>(size, 40)}});
      if (!values.empty()) file.DeleteValue(path, values.front());
      file.CreateKey([&] {
        auto child = path;
        child.push_back(u"New");
        return child;
      }());
    }
    if (queue.size() > 1) file.DeleteKey(queue.back());
    const std::string changed = file.Serialize();
    (void)WineRegistryFile::Parse(changed, "changed.reg");
  } catch (const valise::Error&) {
    std::abort();
  }
  return 0;
}
