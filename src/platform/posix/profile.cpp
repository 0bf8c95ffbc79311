// INI files read as the Windows private-profile functions read them (Wine's reading of them, to
// be exact, which is what the system meets on Linux): lines split at line feeds, names and
// values trimmed of white space, one pair of quotes taken off a value, the first of several
// sections or keys of one name winning. A parsed file is kept, keyed by its path, size and
// modification time, so that a script asked for many keys is read once.
#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "platform/bytes.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/posix/fd.h"
#include "platform/posix/fs_internal.h"
#include "platform/posix/prefix_layout.h"
#include "platform/posix/profile_parser.h"
#include "platform/text.h"
#include "platform/utf.h"

namespace valise::platform {
namespace posix {

namespace {

// The buffer a value is read into, in UTF-16 units with its terminating null.
constexpr std::size_t kValueBuffer = kProfileValueMax + 1;

bool IsProfileSpace(char16_t c) {
  return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == 0x20;
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const std::uint16_t little = LoadU16(&bytes[i]);
    out += static_cast<char16_t>(bigEndian ? (little >> 8 | little << 8) : little);
  }
  return out;
}

std::u16string DecodeFile(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xef\xbb\xbf")
    return Utf8ToUtf16(bytes.substr(3));
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xff\xfe")
    return DecodeUtf16(bytes.substr(2), false);
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xfe\xff")
    return DecodeUtf16(bytes.substr(2), true);
  return Utf8ToUtf16(AnsiToUtf8(bytes));
}

// A name or value ends at its first null character, as the C strings that hold it do.
std::u16string UpToNull(std::u16string_view text) {
  return std::u16string(text.substr(0, text.find(u'\0')));
}

std::u16string Trim(std::u16string_view text) {
  std::size_t start = 0;
  std::size_t end = text.size();
  while (start < end && IsProfileSpace(text[start])) ++start;
  while (end > start && IsProfileSpace(text[end - 1])) --end;
  return std::u16string(text.substr(start, end - start));
}

// Names are compared with ASCII letters folded only, as Wine compares them.
std::u16string Fold(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 0x20);
  }
  return out;
}

// Copies a value into a buffer of the reader's size, taking off one pair of quotes: the
// behaviour of GetPrivateProfileString, including that the closing quote of a value that just
// fills the buffer costs its last character.
std::u16string CopyEntry(std::u16string_view value, bool stripQuotes) {
  bool quoted = false;
  if (stripQuotes && value.size() > 1 && (value[0] == u'\'' || value[0] == u'"') &&
      value.back() == value[0]) {
    quoted = true;
    value.remove_prefix(1);
  }
  std::u16string out(value.substr(0, kValueBuffer - 1));
  if (quoted && kValueBuffer >= value.size() && !out.empty()) out.pop_back();
  return out;
}

const ProfileSection* FindSection(const Profile& profile, std::u16string_view name) {
  const auto found = profile.firstSection.find(Fold(name));
  return found == profile.firstSection.end() ? nullptr : &profile.sections[found->second];
}

}  // namespace

Profile ParseProfile(std::string_view bytes) {
  const std::u16string text = DecodeFile(bytes);
  Profile profile;
  profile.sections.emplace_back();
  profile.firstSection.emplace(std::u16string(), 0);
  ProfileSection* section = &profile.sections.back();
  const ProfileEntry* previous = nullptr;
  std::size_t next = 0;
  while (next < text.size()) {
    std::size_t start = next;
    std::size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();
    next = end;
    while (next < text.size() && (text[next] == u'\r' || text[next] == u'\n')) ++next;
    while (start < end && IsProfileSpace(text[start])) ++start;
    while (end > start && IsProfileSpace(text[end - 1])) --end;
    if (start >= end) continue;
    const std::u16string_view line(text.data() + start, end - start);

    if (line[0] == u'[') {
      const std::size_t close = line.rfind(u']');
      if (close != std::u16string_view::npos) {
        std::u16string name = Trim(UpToNull(line.substr(1, close - 1)));
        profile.firstSection.emplace(Fold(name), profile.sections.size());
        section = &profile.sections.emplace_back();
        section->folded = Fold(name);
        section->name = std::move(name);
        previous = nullptr;
        continue;
      }
    }

    std::size_t nameLength = line.size();
    std::optional<std::u16string> value;
    if (const std::size_t equals = line.find(u'='); equals != std::u16string_view::npos) {
      nameLength = equals;
      while (nameLength > 0 && IsProfileSpace(line[nameLength - 1])) --nameLength;
      std::size_t valueStart = equals + 1;
      while (valueStart < line.size() && IsProfileSpace(line[valueStart])) ++valueStart;
      value = UpToNull(line.substr(valueStart));
    }
    // A nameless line right after another nameless one is dropped, as Windows drops it.
    if (nameLength == 0 && previous != nullptr && previous->name.empty()) continue;
    std::u16string name = UpToNull(line.substr(0, nameLength));
    std::u16string folded = Fold(name);
    section->firstEntry.emplace(folded, section->entries.size());
    section->entries.push_back({std::move(name), std::move(value), std::move(folded)});
    previous = &section->entries.back();
  }
  return profile;
}

std::string ProfileString(const Profile* profile, bool folderExists, std::string_view section,
                          std::string_view key, std::string_view defaultValue) {
  std::u16string fallback = Utf8ToUtf16(defaultValue);
  // Trailing spaces of the default go, though never its first character.
  while (fallback.size() > 1 && fallback.back() == u' ') fallback.pop_back();
  if (profile == nullptr && !folderExists) return Utf16ToUtf8(CopyEntry(fallback, false));
  if (profile != nullptr) {
    const std::u16string sectionName = Trim(Utf8ToUtf16(section));
    if (const ProfileSection* found = FindSection(*profile, sectionName)) {
      const auto entry = found->firstEntry.find(Fold(Trim(Utf8ToUtf16(key))));
      if (entry != found->firstEntry.end()) {
        const std::optional<std::u16string>& value = found->entries[entry->second].value;
        if (value) return Utf16ToUtf8(CopyEntry(*value, true));
      }
    }
  }
  return Utf16ToUtf8(CopyEntry(fallback, true));
}

std::vector<std::string> ProfileKeys(const Profile& profile, std::string_view section) {
  std::vector<std::string> keys;
  const std::u16string name = Utf8ToUtf16(section);
  if (name.empty()) return keys;
  const ProfileSection* found = FindSection(profile, name);
  if (found == nullptr) return keys;
  std::unordered_set<std::u16string> seen;
  for (const auto& entry : found->entries) {
    // A nameless key ends the list (Windows hands the list out as strings ended by an empty
    // one); comments and lines without "=" are not keys.
    if (entry.name.empty() && entry.value) break;
    if (entry.name.empty() || entry.name[0] == u';' || !entry.value) continue;
    if (!seen.insert(entry.folded).second) continue;
    keys.push_back(Utf16ToUtf8(entry.name));
  }
  return keys;
}

std::vector<std::string> ProfileSections(const Profile& profile) {
  std::vector<std::string> names;
  std::unordered_set<std::u16string> seen;
  for (const auto& section : profile.sections) {
    if (section.name.empty() || !seen.insert(section.folded).second) continue;
    // Only the first section of a name is ever read, and it counts when it holds a key.
    const std::string name = Utf16ToUtf8(section.name);
    if (!ProfileKeys(profile, name).empty()) names.push_back(name);
  }
  return names;
}

namespace {

struct OpenedProfile {
  std::shared_ptr<const Profile> profile;  // null when the file does not exist
  bool folderExists = false;
};

struct CachedProfile {
  off_t size = 0;
  timespec modified{};
  std::shared_ptr<const Profile> profile;
};

// The file the private-profile functions read for a name: a bare name lives in the Windows
// directory, anything else is taken against the current directory.
std::string ProfileWindowsPath(std::string_view file) {
  const bool hasFolder = file.find_first_of("\\/") != std::string_view::npos;
  const bool driveRelative = file.size() >= 2 && file[1] == ':';
  if (!hasFolder && !driveRelative)
    return std::string(kWindowsDirectory) + "\\" + std::string(file);
  return FullWindowsPath(file);
}

std::string ReadHostBytes(const std::string& host) {
  const posix::Fd fd(::open(host.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return {};
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

OpenedProfile OpenProfile(std::string_view file) {
  static std::mutex mutex;
  static std::map<std::string, CachedProfile> cache;
  constexpr std::size_t kMaxCached = 16;

  OpenedProfile opened;
  const std::optional<std::string> host = HostPathOf(ProfileWindowsPath(file));
  if (!host) return opened;
  struct stat info {};
  if (::stat(host->c_str(), &info) != 0) {
    opened.folderExists = errno == ENOENT && MissingPathError(*host) == kErrorFileNotFound;
    return opened;
  }
  if (S_ISDIR(info.st_mode)) return opened;
  opened.folderExists = true;

  std::lock_guard lock(mutex);
  auto found = cache.find(*host);
  if (found != cache.end() && found->second.size == info.st_size &&
      found->second.modified.tv_sec == info.st_mtim.tv_sec &&
      found->second.modified.tv_nsec == info.st_mtim.tv_nsec) {
    opened.profile = found->second.profile;
    return opened;
  }
  if (cache.size() >= kMaxCached) cache.clear();
  auto profile = std::make_shared<const Profile>(ParseProfile(ReadHostBytes(*host)));
  cache[*host] = CachedProfile{info.st_size, info.st_mtim, profile};
  opened.profile = std::move(profile);
  return opened;
}

}  // namespace
}  // namespace posix

std::string ReadProfileString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view defaultValue) {
  const posix::OpenedProfile opened = posix::OpenProfile(file);
  return posix::ProfileString(opened.profile.get(), opened.folderExists, section, key,
                              defaultValue);
}

std::vector<std::string> ReadProfileKeys(std::string_view file, std::string_view section) {
  const posix::OpenedProfile opened = posix::OpenProfile(file);
  if (!opened.profile) return {};
  return posix::ProfileKeys(*opened.profile, section);
}

std::vector<std::pair<std::string, std::string>> ReadProfileSection(std::string_view file,
                                                                    std::string_view section) {
  const posix::OpenedProfile opened = posix::OpenProfile(file);
  std::vector<std::pair<std::string, std::string>> entries;
  if (!opened.profile) return entries;
  for (std::string& key : posix::ProfileKeys(*opened.profile, section)) {
    std::string value =
        posix::ProfileString(opened.profile.get(), opened.folderExists, section, key, "");
    entries.emplace_back(std::move(key), std::move(value));
  }
  return entries;
}

std::vector<std::string> ReadProfileSections(std::string_view file) {
  const posix::OpenedProfile opened = posix::OpenProfile(file);
  if (!opened.profile) return {};
  return posix::ProfileSections(*opened.profile);
}

}  // namespace valise::platform
