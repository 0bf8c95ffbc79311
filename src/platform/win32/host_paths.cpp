// On Windows the host's paths are the Windows paths themselves: both conversions only make the
// path absolute.
#include "platform/host_paths.h"

#include "platform/errors.h"
#include "platform/win32/winapi.h"

namespace valise::platform {
namespace {

std::string Absolute(std::string_view path) {
  const std::wstring full = win32::FullPath(win32::Wide(path));
  if (full.empty()) {
    if (path.empty()) SetLastError(kErrorPathNotFound);
    ThrowLastOSError();
  }
  return win32::Utf8(full);
}

}  // namespace

std::string ToWindowsPath(std::string_view hostPath) {
  return Absolute(hostPath);
}

std::string ToHostPath(std::string_view windowsPath) {
  return Absolute(windowsPath);
}

}  // namespace valise::platform
