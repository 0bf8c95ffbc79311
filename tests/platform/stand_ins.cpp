// Weak stand-ins for platform functions that other parts of the backend provide, so that these
// tests link while those parts are being written; the real definitions win when they exist.
#ifndef _WIN32
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/errors.h"
#include "platform/host_paths.h"
#include "platform/posix/prefix.h"

namespace valise::platform {
namespace {
thread_local std::uint32_t lastError = 0;
}
__attribute__((weak)) std::uint32_t LastError() {
  return lastError;
}
__attribute__((weak)) void SetLastError(std::uint32_t code) {
  lastError = code;
}
__attribute__((weak)) std::string SystemErrorMessage(std::uint32_t code) {
  return "System error " + std::to_string(code) + ".";
}
__attribute__((weak)) std::string ToWindowsPath(std::string_view hostPath) {
  return "Z:" + std::string(hostPath);
}
}  // namespace valise::platform

namespace valise::platform::posix {
__attribute__((weak)) std::filesystem::path PrefixDir() {
  const char* prefix = std::getenv("WINEPREFIX");
  std::filesystem::path path = prefix != nullptr && *prefix != '\0'
                                   ? std::filesystem::path(prefix)
                                   : std::filesystem::path(std::getenv("HOME")) / ".wine";
  std::filesystem::create_directories(path);
  return path;
}
}  // namespace valise::platform::posix
#endif
