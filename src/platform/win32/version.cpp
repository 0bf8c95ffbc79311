// Version resources through the version-information functions.
#include <vector>

#include "platform/version.h"
#include "platform/win32/winapi.h"

namespace valise::platform {

std::optional<FileVersion> GetFileVersion(std::string_view path) {
  const std::wstring file = win32::FilePath(path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return std::nullopt;
  void* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", &fixed, &length) || fixed == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return std::nullopt;
  }
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  if (info->dwSignature != VS_FFI_SIGNATURE) return std::nullopt;
  return FileVersion{info->dwFileVersionMS, info->dwFileVersionLS};
}

}  // namespace valise::platform
