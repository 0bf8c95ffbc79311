// The prefix: the folder that holds the virtual Windows of the posix backend, laid out as Wine
// lays out its own prefixes so that either can work in the other's. A missing prefix is made
// with the least the system needs; two processes may do that at the same time, so every step
// is one that can be repeated and the registry files appear whole or not at all.
#include "platform/posix/prefix.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/posix/fd.h"
#include "platform/posix/fs_internal.h"
#include "platform/posix/prefix_layout.h"
#include "platform/posix/wine_registry_file.h"
#include "platform/utf.h"

namespace valise::platform::posix {

namespace fs = std::filesystem;

std::string PrefixUserName() {
  if (const passwd* entry = ::getpwuid(::getuid());
      entry != nullptr && entry->pw_name != nullptr && entry->pw_name[0] != '\0') {
    return entry->pw_name;
  }
  if (const char* user = std::getenv("USER"); user != nullptr && user[0] != '\0') return user;
  return "user";
}

namespace {

// The folders below drive_c that a new prefix gets; "%u" stands for the user's folder.
const char* const kFolders[] = {
    "windows",
    "windows/system32",
    "windows/syswow64",
    "windows/Fonts",
    "windows/temp",
    "windows/inf",
    "windows/help",
    "Program Files",
    "Program Files/Common Files",
    "Program Files (x86)",
    "Program Files (x86)/Common Files",
    "ProgramData",
    "ProgramData/Microsoft/Windows/Start Menu/Programs/Startup",
    "ProgramData/Microsoft/Windows/Templates",
    "users/Public",
    "users/Public/Desktop",
    "users/Public/Documents",
    "users/Public/Music",
    "users/Public/Pictures",
    "users/Public/Videos",
    "users/%u",
    "users/%u/Desktop",
    "users/%u/Documents",
    "users/%u/Downloads",
    "users/%u/Favorites",
    "users/%u/Music",
    "users/%u/Pictures",
    "users/%u/Videos",
    "users/%u/Templates",
    "users/%u/AppData/Local",
    "users/%u/AppData/Local/Temp",
    "users/%u/AppData/LocalLow",
    "users/%u/AppData/Roaming",
    "users/%u/AppData/Roaming/Microsoft/Windows/Recent",
    "users/%u/AppData/Roaming/Microsoft/Windows/SendTo",
    "users/%u/AppData/Roaming/Microsoft/Windows/Templates",
    "users/%u/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup",
};

// A new registry file holding the keys with their string values.
std::string RegFile(const char* root, const std::vector<RegFileKey>& keys) {
  constexpr std::uint32_t kString = 1;  // REG_SZ
  WineRegistryFile file = WineRegistryFile::Empty(root);
  for (const auto& key : keys) {
    WineRegistryFile::Path path;
    std::size_t start = 0;
    for (std::size_t end; (end = key.path.find('\\', start)) != std::string::npos;
         start = end + 1) {
      path.push_back(Utf8ToUtf16(key.path.substr(start, end - start)));
    }
    path.push_back(Utf8ToUtf16(key.path.substr(start)));
    file.CreateKey(path);
    for (const auto& [name, value] : key.values) {
      file.SetValue(path, Utf8ToUtf16(name), WineRegData::String(kString, value));
    }
  }
  return file.Serialize();
}

// Writes a file under its final name only if no file of that name exists yet, whole or not at
// all: the bytes go to a private temporary name that is then linked into place.
void WriteFileOnce(const fs::path& path, const std::string& bytes) {
  if (::access(path.c_str(), F_OK) == 0) return;
  std::string temporary = path.string() + ".new-" + std::to_string(::getpid());
  Fd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fd) return;
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  ok = ::close(fd.release()) == 0 && ok;
  if (ok) (void)::link(temporary.c_str(), path.c_str());
  ::unlink(temporary.c_str());
}

void FillPrefix(const fs::path& prefix) {
  const std::string user = PrefixUserName();
  std::error_code ignored;
  const fs::path driveC = prefix / "drive_c";
  for (const char* folder : kFolders) {
    std::string relative = folder;
    if (const auto at = relative.find("%u"); at != std::string::npos) relative.replace(at, 2, user);
    fs::create_directories(driveC / relative, ignored);
  }
  const fs::path devices = prefix / "dosdevices";
  fs::create_directories(devices, ignored);
  (void)::symlink("../drive_c", (devices / "c:").c_str());
  (void)::symlink("/", (devices / "z:").c_str());
  WriteFileOnce(prefix / "user.reg", RegFile("\\User\\S-1-5-21-0-0-0-1000", UserRegistry(user)));
  WriteFileOnce(prefix / "system.reg", RegFile("\\Machine", MachineRegistry()));
}

bool PrefixComplete(const fs::path& prefix) {
  return ::access((prefix / "system.reg").c_str(), F_OK) == 0 &&
         ::access((prefix / "user.reg").c_str(), F_OK) == 0 &&
         ::access((prefix / "dosdevices").c_str(), F_OK) == 0 &&
         ::access((prefix / "drive_c").c_str(), F_OK) == 0;
}

void MakePrefix(const fs::path& prefix) {
  std::error_code ignored;
  fs::create_directories(prefix.parent_path(), ignored);
  if (::access(prefix.c_str(), F_OK) != 0) {
    // Build a new prefix beside its place and move it there in one step, so that nobody sees
    // half a prefix; whoever comes second throws its copy away.
    const fs::path building =
        prefix.parent_path() /
        ("." + prefix.filename().string() + ".new-" + std::to_string(::getpid()) + "-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(building, ignored);
    FillPrefix(building);
    if (::rename(building.c_str(), prefix.c_str()) != 0) fs::remove_all(building, ignored);
  }
  // An existing but incomplete prefix (an empty folder, say) is completed where it stands.
  if (!PrefixComplete(prefix)) FillPrefix(prefix);
}

}  // namespace

std::vector<RegFileKey> MachineRegistry() {
  return {{"Software\\Microsoft\\Windows\\CurrentVersion",
           {{"CommonFilesDir", "C:\\Program Files\\Common Files"},
            {"CommonFilesDir (x86)", "C:\\Program Files (x86)\\Common Files"},
            {"CommonW6432Dir", "C:\\Program Files\\Common Files"},
            {"ProgramFilesDir", "C:\\Program Files"},
            {"ProgramFilesDir (x86)", "C:\\Program Files (x86)"},
            {"ProgramW6432Dir", "C:\\Program Files"}}},
          {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
           {{"Common AppData", "C:\\ProgramData"}}}};
}

std::vector<RegFileKey> UserRegistry(const std::string& user) {
  const std::string roaming = "C:\\users\\" + user + "\\AppData\\Roaming";
  const std::string startMenu = roaming + "\\Microsoft\\Windows\\Start Menu";
  return {{"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
           {{"AppData", roaming},
            {"Desktop", "C:\\users\\" + user + "\\Desktop"},
            {"Fonts", "C:\\windows\\Fonts"},
            {"Local AppData", "C:\\users\\" + user + "\\AppData\\Local"},
            {"Personal", "C:\\users\\" + user + "\\Documents"},
            {"Programs", startMenu + "\\Programs"},
            {"SendTo", roaming + "\\Microsoft\\Windows\\SendTo"},
            {"Start Menu", startMenu},
            {"Startup", startMenu + "\\Programs\\Startup"}}}};
}

namespace {
std::atomic<bool> makesMissingPrefix{true};
}  // namespace

bool MakesMissingPrefix() {
  return makesMissingPrefix;
}

}  // namespace valise::platform::posix

namespace valise::platform {

void LeaveMissingPrefixAlone() {
  posix::makesMissingPrefix = false;
}

}  // namespace valise::platform

namespace valise::platform::posix {

fs::path PrefixDir() {
  // Every path resolves through the prefix, so the one made ready last is remembered for an
  // absolute WINEPREFIX (a relative one, or HOME, is worked out each time).
  // Never destroyed: a background thread may still resolve paths while the program exits.
  static std::mutex& mutex = *new std::mutex;
  static std::set<std::string>& ready = *new std::set<std::string>;
  static std::string& lastSetting = *new std::string;
  static fs::path& lastPrefix = *new fs::path;
  const char* set = std::getenv("WINEPREFIX");
  const std::string setting = set != nullptr ? set : "";
  if (setting.starts_with('/')) {
    std::lock_guard lock(mutex);
    if (setting == lastSetting) return lastPrefix;
  }
  fs::path prefix;
  if (!setting.empty()) {
    prefix = set;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
      const passwd* entry = ::getpwuid(::getuid());
      home = entry != nullptr ? entry->pw_dir : "/";
    }
    prefix = fs::path(home) / ".wine";
  }
  std::error_code ignored;
  if (prefix.is_relative()) prefix = fs::absolute(prefix, ignored);
  prefix = prefix.lexically_normal();
  if (prefix.has_filename() == false && prefix.has_parent_path()) prefix = prefix.parent_path();

  std::lock_guard lock(mutex);
  if (ready.count(prefix.string()) == 0) {
    if (!PrefixComplete(prefix) && makesMissingPrefix) MakePrefix(prefix);
    if (!PrefixComplete(prefix)) return prefix;
    ready.insert(prefix.string());
  }
  if (setting.starts_with('/')) {
    lastSetting = setting;
    lastPrefix = prefix;
  }
  return prefix;
}

}  // namespace valise::platform::posix
