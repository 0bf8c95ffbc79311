// Registry commands of the probe: what the Windows registry API reports for a key or value.
#include <windows.h>

#include <cstdio>
#include <string>

#include "probe.h"

namespace {

HKEY RootKey(const std::wstring& name) {
  if (name == L"HKLM") return HKEY_LOCAL_MACHINE;
  if (name == L"HKCR") return HKEY_CLASSES_ROOT;
  return HKEY_CURRENT_USER;
}

// reg-read ROOT PATH NAME: prints the type number, a line break and the data (strings as
// UTF-8, DWORDs in decimal, anything else as hex bytes). Exit code 1 when it is missing.
int RegRead(const std::vector<std::wstring>& args) {
  if (args.size() != 3) return 2;
  HKEY key;
  if (RegOpenKeyExW(RootKey(args[0]), args[1].c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return 1;
  }
  DWORD type = 0;
  DWORD size = 0;
  LONG result = RegQueryValueExW(key, args[2].c_str(), nullptr, &type, nullptr, &size);
  std::string data(size, '\0');
  if (result == ERROR_SUCCESS) {
    result = RegQueryValueExW(key, args[2].c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(data.data()), &size);
  }
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return 1;
  data.resize(size);
  std::string out = std::to_string(type) + "\n";
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    out += ProbeUtf8(text);
  } else if (type == REG_DWORD && data.size() == 4) {
    DWORD number;
    memcpy(&number, data.data(), 4);
    out += std::to_string(number);
  } else {
    char hex[4];
    for (unsigned char c : data) {
      std::snprintf(hex, sizeof hex, "%02x", c);
      out += hex;
    }
  }
  ProbePrint(out + "\n");
  return 0;
}

// reg-values ROOT PATH: prints the names of the values, one a line, in enumeration order.
int RegValues(const std::vector<std::wstring>& args) {
  if (args.size() != 2) return 2;
  HKEY key;
  if (RegOpenKeyExW(RootKey(args[0]), args[1].c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return 1;
  }
  std::string out;
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD length = 16384;
    if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    out += ProbeUtf8(std::wstring(name, length)) + "\n";
  }
  RegCloseKey(key);
  ProbePrint(out);
  return 0;
}

ProbeCommand regRead(L"reg-read", RegRead);
ProbeCommand regValues(L"reg-values", RegValues);

}  // namespace
