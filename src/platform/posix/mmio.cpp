#include "platform/mmio.h"

namespace valise::platform {

// There is no multimedia file I/O to hook into here; nothing else depends on it.
bool InstallMmioProc(std::string_view, MmioResolver) {
  return true;
}
void RemoveMmioProc(std::string_view) {}
bool MmioAvailable() {
  return false;
}
std::optional<std::string> MmioReadFile(std::string_view, std::size_t) {
  return std::nullopt;
}

}  // namespace valise::platform
