// INI files through the private-profile functions. They take file names of at most MAX_PATH
// characters; a file whose path is longer is read through its short name or, where the volume
// has none, through a temporary copy.
#include "platform/profile.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "platform/win32/winapi.h"

namespace valise::platform {
namespace {

// The file name handed to the profile functions, and the temporary copy behind it if any.
class ProfileFile {
 public:
  explicit ProfileFile(std::string_view file) : name_(win32::Wide(file)) {
    const std::wstring full = win32::FullPath(name_);
    // A bare name is the profile functions' own business: they look for it in the Windows
    // directory.
    if (full.size() < MAX_PATH || name_.find_first_of(L"\\/:") == std::wstring::npos) return;
    const std::wstring longForm = win32::LongForm(full);
    std::wstring shortName = win32::GrowingBuffer([&](wchar_t* buffer, DWORD size) {
      return GetShortPathNameW(longForm.c_str(), buffer, size);
    });
    shortName = win32::PlainPath(shortName);
    if (!shortName.empty() && shortName.size() < MAX_PATH) {
      name_ = shortName;
      return;
    }
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t copy[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, L"ini", 0, copy) == 0) {
      return;
    }
    if (CopyFileW(longForm.c_str(), copy, FALSE)) {
      name_ = copy;
      temporary_ = true;
    } else {
      DeleteFileW(copy);
    }
  }
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;
  ~ProfileFile() {
    if (temporary_) DeleteFileW(name_.c_str());
  }

  const wchar_t* name() const { return name_.c_str(); }

 private:
  std::wstring name_;
  bool temporary_ = false;
};

// Splits a list of null-terminated strings that ends in an empty one.
std::vector<std::wstring> SplitList(const std::wstring& list) {
  std::vector<std::wstring> strings;
  std::size_t start = 0;
  while (start < list.size() && list[start] != L'\0') {
    std::size_t end = list.find(L'\0', start);
    if (end == std::wstring::npos) end = list.size();
    strings.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return strings;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Each name once, the first spelling of it kept: the profile functions compare names without
// regard to case.
std::vector<std::wstring> Unique(const std::vector<std::wstring>& names) {
  std::vector<std::wstring> unique;
  for (const std::wstring& name : names) {
    if (std::none_of(unique.begin(), unique.end(),
                     [&](const std::wstring& other) { return SameName(other, name); })) {
      unique.push_back(name);
    }
  }
  return unique;
}

std::wstring Trimmed(std::wstring_view text) {
  const std::size_t first = text.find_first_not_of(L" \t");
  if (first == std::wstring_view::npos) return {};
  return std::wstring(text.substr(first, text.find_last_not_of(L" \t") - first + 1));
}

// A key name as the profile functions match it: without regard to case.
std::wstring UpperCased(const std::wstring& name) {
  std::wstring upper = name;
  if (!upper.empty()) {
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name.data(), static_cast<int>(name.size()),
                 upper.data(), static_cast<int>(upper.size()));
  }
  return upper;
}

// Calls a list function of the profile API with ever larger buffers: they report a cut list by
// returning the buffer size less two.
template <typename Get>
std::wstring ReadList(Get get) {
  std::wstring buffer(32768, L'\0');
  for (;;) {
    const DWORD length = get(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length + 2 < buffer.size()) {
      buffer.resize(length + 1);
      return buffer;
    }
    buffer.assign(buffer.size() * 4, L'\0');
  }
}

std::vector<std::wstring> KeysOf(const ProfileFile& file, const std::wstring& section) {
  return Unique(SplitList(ReadList([&](wchar_t* buffer, DWORD size) {
    return GetPrivateProfileStringW(section.c_str(), nullptr, L"", buffer, size, file.name());
  })));
}

std::vector<std::wstring> SectionsOf(const ProfileFile& file) {
  return Unique(SplitList(ReadList([&](wchar_t* buffer, DWORD size) {
    return GetPrivateProfileSectionNamesW(buffer, size, file.name());
  })));
}

}  // namespace

std::string ReadProfileString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view defaultValue) {
  const ProfileFile profile(file);
  wchar_t buffer[kProfileValueMax + 1] = {};
  const DWORD length = GetPrivateProfileStringW(
      win32::Wide(section).c_str(), win32::Wide(key).c_str(), win32::Wide(defaultValue).c_str(),
      buffer, kProfileValueMax + 1, profile.name());
  return win32::Utf8(std::wstring_view(buffer, length));
}

std::vector<std::string> ReadProfileKeys(std::string_view file, std::string_view section) {
  const ProfileFile profile(file);
  std::vector<std::string> keys;
  for (const std::wstring& key : KeysOf(profile, win32::Wide(section))) {
    keys.push_back(win32::Utf8(key));
  }
  return keys;
}

// The system reads the file for each key; nothing here is read often enough to matter.
std::vector<std::pair<std::string, std::string>> ReadProfileSection(std::string_view file,
                                                                    std::string_view section) {
  // One call for the whole section: reading it key by key made the profile functions check the
  // file and search the section again for every key, which grows with the square of its size.
  const ProfileFile profile(file);
  const std::wstring name = win32::Wide(section);
  const std::wstring list = ReadList([&](wchar_t* buffer, DWORD size) {
    return GetPrivateProfileSectionW(name.c_str(), buffer, size, profile.name());
  });
  std::vector<std::pair<std::string, std::string>> entries;
  std::unordered_set<std::wstring> seen;
  for (const std::wstring& line : SplitList(list)) {
    // The same keys as the key list: a line without a value is none, and a key without a name
    // ends the list.
    const std::size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) continue;
    const std::wstring key = Trimmed(line.substr(0, equals));
    if (key.empty()) break;
    if (!seen.insert(UpperCased(key)).second) continue;
    std::wstring value = Trimmed(line.substr(equals + 1));
    // The value as a single read gives it: without one pair of enclosing quotes, and cut to
    // the length a single read takes.
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (value.size() > kProfileValueMax) value.resize(kProfileValueMax);
    entries.emplace_back(win32::Utf8(key), win32::Utf8(value));
  }
  return entries;
}

std::vector<std::string> ReadProfileSections(std::string_view file) {
  const ProfileFile profile(file);
  // The API lists empty sections too; a section counts only when it holds a key.
  std::vector<std::string> sections;
  for (const std::wstring& section : SectionsOf(profile)) {
    if (!KeysOf(profile, section).empty()) sections.push_back(win32::Utf8(section));
  }
  return sections;
}

}  // namespace valise::platform
