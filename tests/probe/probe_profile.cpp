// Private-profile commands of the probe: what GetPrivateProfileStringW reads from INI files.
#include <windows.h>

#include <string>
#include <vector>

#include "probe.h"

namespace {

// The strings of a double-null-terminated list, joined by "|".
std::string JoinList(const wchar_t* list, DWORD length) {
  std::string out;
  const wchar_t* end = list + length;
  bool first = true;
  for (const wchar_t* p = list; p < end && *p != L'\0'; p += wcslen(p) + 1) {
    if (!first) out += "|";
    out += ProbeUtf8(p);
    first = false;
  }
  return out;
}

// profile FILE SECTION KEY DEFAULT [FILE SECTION KEY DEFAULT ...]: prints "V:" and the value
// read into a buffer of 2048 characters, one line per query.
int Profile(const std::vector<std::wstring>& args) {
  if (args.empty() || args.size() % 4 != 0) return 2;
  std::vector<wchar_t> buffer(2048);
  for (std::size_t i = 0; i < args.size(); i += 4) {
    buffer[0] = L'\0';
    const DWORD length =
        GetPrivateProfileStringW(args[i + 1].c_str(), args[i + 2].c_str(), args[i + 3].c_str(),
                                 buffer.data(), static_cast<DWORD>(buffer.size()), args[i].c_str());
    ProbePrint("V:" + ProbeUtf8(std::wstring(buffer.data(), length)) + "\n");
  }
  return 0;
}

// profile-keys FILE SECTION [FILE SECTION ...]: prints "K:" and the key names, "|" between them.
int ProfileKeys(const std::vector<std::wstring>& args) {
  if (args.empty() || args.size() % 2 != 0) return 2;
  std::vector<wchar_t> buffer(1 << 20);
  for (std::size_t i = 0; i < args.size(); i += 2) {
    buffer[0] = buffer[1] = L'\0';
    const DWORD length =
        GetPrivateProfileStringW(args[i + 1].c_str(), nullptr, L"", buffer.data(),
                                 static_cast<DWORD>(buffer.size()), args[i].c_str());
    ProbePrint("K:" + JoinList(buffer.data(), length) + "\n");
  }
  return 0;
}

// profile-sections FILE [FILE ...]: prints "S:" and the section names, "|" between them.
int ProfileSections(const std::vector<std::wstring>& args) {
  std::vector<wchar_t> buffer(1 << 20);
  for (const auto& file : args) {
    buffer[0] = buffer[1] = L'\0';
    const DWORD length = GetPrivateProfileSectionNamesW(
        buffer.data(), static_cast<DWORD>(buffer.size()), file.c_str());
    ProbePrint("S:" + JoinList(buffer.data(), length) + "\n");
  }
  return 0;
}

ProbeCommand profile(L"profile", Profile);
ProbeCommand profileKeys(L"profile-keys", ProfileKeys);
ProbeCommand profileSections(L"profile-sections", ProfileSections);

}  // namespace
