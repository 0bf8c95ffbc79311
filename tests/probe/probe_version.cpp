// Probe command for file versions through the Windows version API:
//   version PATH
//     prints "MS.LS" (dwFileVersionMS and dwFileVersionLS in decimal), or "none" when the file
//     has no version resource or no fixed file information
#include <windows.h>

#include <string>
#include <vector>

#include "probe.h"

namespace {

int Version(const std::vector<std::wstring>& args) {
  if (args.size() != 1) return 2;
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(args[0].c_str(), &handle);
  if (size == 0) {
    ProbePrint("none\n");
    return 0;
  }
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(args[0].c_str(), 0, size, data.data())) {
    ProbePrint("none\n");
    return 0;
  }
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
      info == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
    ProbePrint("none\n");
    return 0;
  }
  ProbePrint(std::to_string(info->dwFileVersionMS) + "." + std::to_string(info->dwFileVersionLS) +
             "\n");
  return 0;
}

ProbeCommand versionCommand(L"version", Version);

}  // namespace
