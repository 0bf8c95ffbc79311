// Feeds arbitrary bytes to the INI reader and asks it the questions the setup asks.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/posix/profile_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const valise::platform::posix::Profile profile = valise::platform::posix::ParseProfile(bytes);
  for (const auto& name : valise::platform::posix::ProfileSections(profile)) {
    for (const auto& key : valise::platform::posix::ProfileKeys(profile, name)) {
      (void)valise::platform::posix::ProfileString(&profile, true, name, key, "\"default\"");
    }
  }
  (void)valise::platform::posix::ProfileString(&profile, true, "Globals", "Title", "");
  return 0;
}
