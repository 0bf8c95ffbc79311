// Probe command that dumps INI files as the private-profile functions see them:
//   profile-dump FILE...
//     for each file, a line "F <file>", then every section that GetPrivateProfileSectionNames
//     lists as "S <name>", each key that the key list of that section holds as "K <name>", and
//     for each key the value that GetPrivateProfileString returns for it ("V <value>", or "D"
//     when it returns the default), then the value for the section and key names in ASCII
//     capitals ("U <value>" or "D"). Names and values come as UTF-8 with "\\" for a backslash
//     and "\xNN" for control characters, so that every record is one line.
#include <windows.h>

#include <string>
#include <vector>

#include "probe.h"

namespace {

// A default that no file holds as a value: it tells a missing value from an empty one.
constexpr wchar_t kDefault[] = L"\x01";

std::string Escape(const std::wstring& text) {
  std::string out;
  for (char c : ProbeUtf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (byte < 0x20 || byte == 0x7F) {
      static const char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::wstring AsciiUpper(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return text;
}

// A null-separated list that a profile function writes, with ever larger buffers: they report
// a cut list by returning the buffer size less two.
template <typename Get>
std::vector<std::wstring> List(Get get) {
  std::wstring buffer(4096, L'\0');
  DWORD length = 0;
  for (;;) {
    length = get(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length + 2 < buffer.size()) break;
    buffer.assign(buffer.size() * 4, L'\0');
  }
  std::vector<std::wstring> names;
  std::size_t start = 0;
  while (start < length) {
    const std::size_t end = buffer.find(L'\0', start);
    names.push_back(buffer.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

std::string Value(const wchar_t* section, const wchar_t* key, const wchar_t* file,
                  const char* tag) {
  wchar_t buffer[2048] = {};
  const DWORD length = GetPrivateProfileStringW(section, key, kDefault, buffer, 2048, file);
  const std::wstring value(buffer, length);
  if (value == kDefault) return "D\n";
  return std::string(tag) + " " + Escape(value) + "\n";
}

int Dump(const std::vector<std::wstring>& args) {
  if (args.empty()) return 2;
  std::string out;
  for (const std::wstring& file : args) {
    out += "F " + Escape(file) + "\n";
    const auto sections = List([&](wchar_t* buffer, DWORD size) {
      return GetPrivateProfileSectionNamesW(buffer, size, file.c_str());
    });
    for (const std::wstring& section : sections) {
      out += "S " + Escape(section) + "\n";
      const auto keys = List([&](wchar_t* buffer, DWORD size) {
        return GetPrivateProfileStringW(section.c_str(), nullptr, L"", buffer, size, file.c_str());
      });
      for (const std::wstring& key : keys) {
        out += "K " + Escape(key) + "\n";
        out += Value(section.c_str(), key.c_str(), file.c_str(), "V");
        out += Value(AsciiUpper(section).c_str(), AsciiUpper(key).c_str(), file.c_str(), "U");
      }
    }
  }
  ProbePrint(out);
  return 0;
}

ProbeCommand profileDumpCommand(L"profile-dump", Dump);

}  // namespace
