// On Windows the host's paths are the Windows paths themselves: both conversions make the path
// absolute, and the host path takes the spelling on disk of the components that exist.
#include "platform/host_paths.h"

#include "platform/errors.h"
#include "platform/win32/winapi.h"

namespace valise::platform {
namespace {

std::wstring Absolute(std::string_view path) {
  const std::wstring full = win32::FullPath(win32::Wide(path));
  if (full.empty()) {
    if (path.empty()) SetLastError(kErrorPathNotFound);
    ThrowLastOSError();
  }
  return full;
}

// The length of a full path's root with its backslash: "C:\" or "\\server\share\".
std::size_t RootLength(const std::wstring& full) {
  if (!full.starts_with(L"\\\\")) return full.size() >= 3 && full[2] == L'\\' ? 3 : 2;
  const std::size_t server = full.find(L'\\', 2);
  if (server == std::wstring::npos) return full.size();
  const std::size_t share = full.find(L'\\', server + 1);
  return share == std::wstring::npos ? full.size() : share + 1;
}

// Each existing component as the directory lists it; the rest as given.
std::wstring SpellingOnDisk(const std::wstring& full) {
  std::size_t position = std::min(RootLength(full), full.size());
  std::wstring result = full.substr(0, position);
  bool resolving = true;
  while (position < full.size()) {
    std::size_t end = full.find(L'\\', position);
    if (end == std::wstring::npos) end = full.size();
    std::wstring name = full.substr(position, end - position);
    if (resolving && !name.empty() && name.find_first_of(L"*?") == std::wstring::npos) {
      WIN32_FIND_DATAW data;
      const win32::FindHandle find(FindFirstFileW(win32::FilePath(result + name).c_str(), &data));
      if (find.valid()) {
        name = data.cFileName;
      } else {
        resolving = false;
      }
    }
    result += name;
    if (end < full.size()) result += L'\\';
    position = end + 1;
  }
  return result;
}

}  // namespace

void LeaveMissingPrefixAlone() {}

std::string ToWindowsPath(std::string_view hostPath) {
  return win32::Utf8(Absolute(hostPath));
}

std::string ToHostPath(std::string_view windowsPath) {
  return win32::Utf8(SpellingOnDisk(Absolute(windowsPath)));
}

}  // namespace valise::platform
