// Windows paths on Linux. A drive letter names a folder through the prefix's dosdevices/
// symlinks; names are matched without regard to case as Windows matches them. Matching by case
// is what makes Wine slow in big folders (it reads the folder again for every new name), so
// here the exact spelling is tried first and a folder's names are remembered between calls:
// the memory is checked against the folder's modification time and kept current by our own
// creates and deletes, so filling a folder with many files reads it once.
#include "platform/host_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/case_fold.h"
#include "platform/errors.h"
#include "platform/posix/fd.h"
#include "platform/posix/fs_internal.h"
#include "platform/posix/prefix.h"
#include "platform/utf.h"

namespace valise::platform {
namespace posix {

namespace {

// Names fold to upper case, through the system's one case table.
char32_t FoldCodePoint(char32_t c) {
  return FoldToUpper(c);
}

// ---------------------------------------------------------------------------------------------
// Drives

struct Drives {
  std::string devices;
  timespec stamp{};
  std::array<std::string, 26> roots;      // as the links say, made absolute
  std::array<std::string, 26> canonical;  // with symlinks resolved
};

std::string StripTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string LexicalNormal(const std::string& path) {
  return StripTrailingSlash(std::filesystem::path(path).lexically_normal().string());
}

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

// Never destroyed: a background thread may still resolve paths while the program exits.
std::mutex& drivesMutex = *new std::mutex;
std::shared_ptr<const Drives>& cachedDrives = *new std::shared_ptr<const Drives>;
std::chrono::steady_clock::time_point drivesChecked;

// The drive letters of the current prefix, read again when dosdevices/ changes.
std::shared_ptr<const Drives> CurrentDrives() {
  const std::string devices = (PrefixDir() / "dosdevices").string();
  struct stat info {};
  if (::stat(devices.c_str(), &info) != 0) {
    // A prefix left missing on purpose: the host's files are seen through Z: all the same, as
    // a new prefix would map them.
    auto drives = std::make_shared<Drives>();
    if (!MakesMissingPrefix()) drives->roots['Z' - 'A'] = drives->canonical['Z' - 'A'] = "/";
    return drives;
  }
  std::lock_guard lock(drivesMutex);
  drivesChecked = std::chrono::steady_clock::now();
  std::shared_ptr<const Drives>& cached = cachedDrives;
  if (cached && cached->devices == devices && cached->stamp.tv_sec == info.st_mtim.tv_sec &&
      cached->stamp.tv_nsec == info.st_mtim.tv_nsec) {
    return cached;
  }
  auto made = std::make_shared<Drives>();
  Drives& drives = *made;
  drives.devices = devices;
  drives.stamp = info.st_mtim;
  if (const DirHandle dir(::opendir(devices.c_str())); dir) {
    while (const dirent* entry = ::readdir(dir.get())) {
      const std::string name = entry->d_name;
      if (name.size() != 2 || name[1] != ':') continue;
      const char letter = static_cast<char>(FoldCodePoint(static_cast<unsigned char>(name[0])));
      if (letter < 'A' || letter > 'Z') continue;
      char target[PATH_MAX];
      const ssize_t length = ::readlink((devices + "/" + name).c_str(), target, sizeof target - 1);
      if (length <= 0) continue;
      std::string link(target, static_cast<std::size_t>(length));
      if (link[0] != '/') link = devices + "/" + link;
      drives.roots[letter - 'A'] = LexicalNormal(link);
      drives.canonical[letter - 'A'] = Canonical(drives.roots[letter - 'A']);
    }
  }
  cached = made;
  return cached;
}

// The folder a drive letter names. Every path resolved goes through here, so the drive table
// checked in the last 100 ms is taken as it is when it has the letter: a run that writes
// thousands of files does not look at dosdevices/ for each. A letter it lacks is looked for
// again at once.
std::string DriveRoot(char letter) {
  constexpr auto kRecheck = std::chrono::milliseconds(100);
  const std::size_t index = static_cast<std::size_t>(letter - 'A');
  {
    std::lock_guard lock(drivesMutex);
    if (cachedDrives && !cachedDrives->roots[index].empty() &&
        std::chrono::steady_clock::now() - drivesChecked < kRecheck &&
        cachedDrives->devices == (PrefixDir() / "dosdevices").string()) {
      return cachedDrives->roots[index];
    }
  }
  return CurrentDrives()->roots[index];
}

// The length of `root` when it is `path` or one of its parent folders, else 0.
std::size_t RootMatch(const std::string& path, const std::string& root) {
  if (root.empty()) return 0;
  if (root == "/") return 1;
  if (path.compare(0, root.size(), root) != 0) return 0;
  if (path.size() != root.size() && path[root.size()] != '/') return 0;
  return root.size();
}

struct DriveMatch {
  int letter = -1;
  std::size_t length = 0;
};

DriveMatch BestDrive(const Drives& drives, const std::string& path) {
  DriveMatch best;
  for (int i = 0; i < 26; ++i) {
    for (const std::string* root : {&drives.roots[i], &drives.canonical[i]}) {
      const std::size_t length = RootMatch(path, *root);
      if (length > best.length) best = {i, length};
    }
  }
  return best;
}

std::string CurrentHostDirectory() {
  std::string buffer(PATH_MAX, '\0');
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return "/";
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return buffer;
}

// ---------------------------------------------------------------------------------------------
// Folder name cache
//
// A folder's remembered names are valid while its modification time (with device and inode) is
// unchanged. Our own creates and deletes update the names as they go, and the folder's next
// time is taken as ours when it is no later than the clock read right after our last change.
// A change by another process after that gets a later time and is seen, except within the same
// clock tick (a few milliseconds), where the file system's times are coarse.

struct FolderNames {
  dev_t device = 0;
  ino_t inode = 0;
  timespec stamp{};
  std::unordered_map<std::string, std::string> byFold;
  // Set by our own creates and deletes, which the names already show: a look at the folder
  // takes its new time as ours when it is no later than `changedBy`, the clock read after our
  // last change. This saves a status call after every file written.
  bool changedByUs = false;
  timespec changedBy{};
};

bool NotLater(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec <= b.tv_nsec);
}

// Whether the remembered names still hold for the folder whose status is `info`.
bool StillCurrent(FolderNames& names, const struct stat& info) {
  if (names.device != info.st_dev || names.inode != info.st_ino) return false;
  if (names.stamp.tv_sec == info.st_mtim.tv_sec && names.stamp.tv_nsec == info.st_mtim.tv_nsec) {
    return true;
  }
  if (!names.changedByUs || !NotLater(names.stamp, info.st_mtim) ||
      !NotLater(info.st_mtim, names.changedBy)) {
    return false;
  }
  // Our changes may go on while this look is made (another thread makes files in the folder):
  // the folder stays ours until a time later than our last change is seen.
  names.stamp = info.st_mtim;
  return true;
}

// Never destroyed: a background thread may still resolve paths while the program exits.
std::mutex& folderMutex = *new std::mutex;
std::unordered_map<std::string, FolderNames>& folders =
    *new std::unordered_map<std::string, FolderNames>;
constexpr std::size_t kMaxCachedFolders = 1024;

// The name on disk that `name` stands for in `folder`, matched without regard to case.
// `known` is the folder's status when the caller has it already.
std::optional<std::string> LookupInFolder(const std::string& folder, const std::string& name,
                                          const struct stat* known = nullptr) {
  struct stat info {};
  if (known != nullptr && S_ISDIR(known->st_mode)) {
    info = *known;
  } else if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return std::nullopt;
  }
  std::lock_guard lock(folderMutex);
  auto found = folders.find(folder);
  if (found == folders.end() || !StillCurrent(found->second, info)) {
    const DirHandle dir(::opendir(folder.c_str()));
    if (!dir) return std::nullopt;
    if (folders.size() >= kMaxCachedFolders) folders.clear();
    FolderNames& names = folders[folder];
    names = FolderNames{info.st_dev, info.st_ino, info.st_mtim, {}};
    while (const dirent* entry = ::readdir(dir.get())) {
      const std::string entryName = entry->d_name;
      if (entryName == "." || entryName == "..") continue;
      names.byFold.emplace(FoldCase(entryName), entryName);
    }
    found = folders.find(folder);
  }
  const auto hit = found->second.byFold.find(FoldCase(name));
  if (hit == found->second.byFold.end()) return std::nullopt;
  return hit->second;
}

// Notes our own change to a folder's names; the caller holds folderMutex.
void NoteChangeLocked(const std::string& hostPath, bool added) {
  const std::size_t slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return;
  const std::string folder = slash == 0 ? std::string("/") : hostPath.substr(0, slash);
  const std::string name = hostPath.substr(slash + 1);
  const auto found = folders.find(folder);
  if (found == folders.end()) return;
  FolderNames& names = found->second;
  const std::string key = FoldCase(name);
  if (added) {
    names.byFold.emplace(key, name);
  } else if (const auto hit = names.byFold.find(key);
             hit != names.byFold.end() && hit->second == name) {
    names.byFold.erase(hit);
  }
  names.changedByUs = true;
  ::clock_gettime(CLOCK_REALTIME, &names.changedBy);
}

void NoteChange(const std::string& hostPath, bool added) {
  std::lock_guard lock(folderMutex);
  NoteChangeLocked(hostPath, added);
}

struct Resolved {
  std::string path;
  bool exists = false;
  bool hasInfo = false;  // `info` holds the path's own status (lstat)
  struct stat info {};
};

// Resolves the first `count` components below `root`: the exact spelling when it exists,
// otherwise the parent resolved first and the name looked up in it.
Resolved ResolveComponents(const std::string& root, const std::vector<std::string>& components,
                           std::size_t count) {
  if (count == 0) return {root, true};
  std::string exact = root == "/" ? std::string() : root;
  for (std::size_t i = 0; i < count; ++i) exact += "/" + components[i];
  Resolved result;
  if (::lstat(exact.c_str(), &result.info) == 0) {
    result.path = std::move(exact);
    result.exists = true;
    result.hasInfo = true;
    return result;
  }
  Resolved parent = ResolveComponents(root, components, count - 1);
  const std::string& name = components[count - 1];
  const std::string base = parent.path == "/" ? std::string() : parent.path;
  result.path = base + "/" + name;
  if (parent.exists) {
    if (auto actual = LookupInFolder(parent.path, name, parent.hasInfo ? &parent.info : nullptr)) {
      result.path = base + "/" + *actual;
      result.exists = true;
    }
  }
  return result;
}

}  // namespace

std::string FoldCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
      ++i;
      continue;
    }
    // Two- and three-byte sequences cover every letter that folds; anything else is copied.
    if (c >= 0xc2 && c < 0xe0 && i + 1 < utf8.size() &&
        (static_cast<unsigned char>(utf8[i + 1]) & 0xc0) == 0x80) {
      const char32_t code =
          (char32_t{c} & 0x1f) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3f);
      AppendUtf8(out, FoldCodePoint(code));
      i += 2;
      continue;
    }
    out += static_cast<char>(c);
    ++i;
  }
  return out;
}

bool EqualIgnoreCase(std::string_view a, std::string_view b) {
  return FoldCase(a) == FoldCase(b);
}

std::string FullWindowsPath(std::string_view input) {
  std::string path(input);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (path.empty()) return path;
  if (path.rfind("\\\\", 0) == 0) return path;  // device and network paths stay as they are

  std::string absolute;
  const bool hasDrive = path.size() >= 2 && path[1] == ':' &&
                        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (hasDrive) {
    const char drive = static_cast<char>(FoldCodePoint(static_cast<unsigned char>(path[0])));
    const std::string tail = path.substr(2);
    if (!tail.empty() && tail[0] == '\\') {
      absolute = std::string(1, drive) + ":" + tail;
    } else {
      const std::string current = ToWindowsPath(CurrentHostDirectory());
      if (!current.empty() && current[0] == drive) {
        absolute = current + "\\" + tail;  // "X:" alone gives the directory with a backslash
      } else {
        absolute = std::string(1, drive) + ":\\" + tail;
      }
    }
  } else if (path[0] == '\\') {
    const std::string current = ToWindowsPath(CurrentHostDirectory());
    absolute = current.substr(0, 2) + path;
  } else {
    absolute = ToWindowsPath(CurrentHostDirectory()) + "\\" + path;
  }
  if (absolute.rfind("\\\\", 0) == 0) return absolute;

  // Collapse the part after "X:".
  const bool trailing = absolute.size() > 3 && absolute.back() == '\\';
  std::vector<std::string> components;
  std::size_t start = 2;
  while (start <= absolute.size()) {
    std::size_t end = absolute.find('\\', start);
    if (end == std::string::npos) end = absolute.size();
    std::string component = absolute.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      if (!components.empty()) components.pop_back();
      continue;
    }
    components.push_back(std::move(component));
  }
  // A folder name loses one trailing dot, the last name all its trailing dots and spaces, as
  // Windows has it.
  for (std::size_t i = 0; i < components.size(); ++i) {
    std::string& component = components[i];
    const bool last = i + 1 == components.size() && !trailing;
    if (last) {
      while (!component.empty() && (component.back() == '.' || component.back() == ' ')) {
        component.pop_back();
      }
    } else if (component.size() > 1 && component.back() == '.') {
      component.pop_back();
    }
  }
  std::string result = absolute.substr(0, 2) + "\\";
  for (std::size_t i = 0; i < components.size(); ++i) {
    if (i > 0) result += '\\';
    result += components[i];
  }
  if (trailing && !components.empty()) result += '\\';
  return result;
}

namespace {

// A Windows path split into the host folder its drive names and the components below it.
struct SplitPath {
  std::string root;
  std::vector<std::string> components;
};

std::optional<SplitPath> SplitWindowsPath(std::string_view windowsPath) {
  const std::string full = FullWindowsPath(windowsPath);
  SplitPath split;
  std::string rest;
  static constexpr std::string_view kUnix = "\\\\?\\unix\\";
  if (full.size() >= kUnix.size() && EqualIgnoreCase(full.substr(0, kUnix.size()), kUnix)) {
    split.root.assign(1, '/');
    rest = full.substr(kUnix.size());
  } else if (full.size() >= 3 && full[1] == ':' && full[2] == '\\' && full[0] >= 'A' &&
             full[0] <= 'Z') {
    split.root = DriveRoot(full[0]);
    rest = full.substr(3);
  }
  if (split.root.empty()) {
    SetLastError(kErrorPathNotFound);
    return std::nullopt;
  }
  std::size_t start = 0;
  while (start < rest.size()) {
    std::size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    if (end > start) split.components.push_back(rest.substr(start, end - start));
    start = end + 1;
  }
  return split;
}

// The folder new entries were last made in, held open: entries are made relative to it, and
// while it is held its status comes from the open folder, without a walk along its path for
// every new file. Its path is looked at again every 100 ms, and our own removal or move of it
// or of a folder above lets it go, so that a folder renamed or replaced meanwhile is noticed.
// Guarded by folderMutex.
struct HeldFolder {
  std::string path;
  std::shared_ptr<const Fd> fd;
  dev_t device = 0;
  ino_t inode = 0;
  std::chrono::steady_clock::time_point checked;
};
HeldFolder& heldFolder = *new HeldFolder;
constexpr auto kHeldFolderRecheck = std::chrono::milliseconds(100);

// The held folder when it is `folder` and was looked at by its path lately.
std::shared_ptr<const Fd> HeldFolderIfRecent(const std::string& folder) {
  std::lock_guard lock(folderMutex);
  if (!heldFolder.fd || heldFolder.path != folder ||
      std::chrono::steady_clock::now() - heldFolder.checked >= kHeldFolderRecheck) {
    return nullptr;
  }
  return heldFolder.fd;
}

// Holds `folder`, whose path was just found to have the status `info`; null when it cannot be
// opened or is no longer that folder.
std::shared_ptr<const Fd> HoldFolder(const std::string& folder, const struct stat& info) {
  {
    std::lock_guard lock(folderMutex);
    if (heldFolder.fd && heldFolder.path == folder && heldFolder.device == info.st_dev &&
        heldFolder.inode == info.st_ino) {
      heldFolder.checked = std::chrono::steady_clock::now();
      return heldFolder.fd;
    }
  }
  auto fd = std::make_shared<const Fd>(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  struct stat opened {};
  if (!*fd || ::fstat(fd->get(), &opened) != 0 || opened.st_dev != info.st_dev ||
      opened.st_ino != info.st_ino) {
    return nullptr;
  }
  std::lock_guard lock(folderMutex);
  heldFolder = HeldFolder{folder, fd, info.st_dev, info.st_ino, std::chrono::steady_clock::now()};
  return fd;
}

// Lets the held folder go when `hostPath` is it or a folder above it.
void ReleaseHeldFolderLocked(const std::string& hostPath) {
  if (!heldFolder.fd || heldFolder.path.compare(0, hostPath.size(), hostPath) != 0) return;
  if (heldFolder.path.size() == hostPath.size() || heldFolder.path[hostPath.size()] == '/') {
    heldFolder = HeldFolder{};
  }
}

// Answers from memory alone whether `name` is in `folder`: true when the folder's names are
// remembered and still current, with `actual` set to the spelling on disk (or nothing), and
// `held`, when asked for, set to the folder held open (or null).
bool LookupRemembered(const std::string& folder, const std::string& name,
                      std::optional<std::string>& actual, std::shared_ptr<const Fd>* held) {
  {
    std::lock_guard lock(folderMutex);
    if (folders.find(folder) == folders.end()) return false;
  }
  struct stat info {};
  std::shared_ptr<const Fd> open = held != nullptr ? HeldFolderIfRecent(folder) : nullptr;
  // A folder removed since it was opened has no links left.
  if (open && (::fstat(open->get(), &info) != 0 || info.st_nlink == 0)) open.reset();
  if (!open) {
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    if (held != nullptr) open = HoldFolder(folder, info);
  }
  std::lock_guard lock(folderMutex);
  const auto found = folders.find(folder);
  if (found == folders.end() || !StillCurrent(found->second, info)) return false;
  const auto hit = found->second.byFold.find(FoldCase(name));
  actual = hit == found->second.byFold.end() ? std::nullopt : std::optional(hit->second);
  if (held != nullptr) *held = std::move(open);
  return true;
}

}  // namespace

std::optional<std::string> HostPathOf(std::string_view windowsPath) {
  std::optional<SplitPath> split = SplitWindowsPath(windowsPath);
  if (!split) return std::nullopt;
  return ResolveComponents(split->root, split->components, split->components.size()).path;
}

std::optional<HostEntry> ResolveHostPath(std::string_view windowsPath) {
  std::optional<SplitPath> split = SplitWindowsPath(windowsPath);
  if (!split) return std::nullopt;
  Resolved resolved = ResolveComponents(split->root, split->components, split->components.size());
  return HostEntry{std::move(resolved.path), resolved.hasInfo, resolved.info};
}

std::optional<std::string> NameInFolder(const std::string& hostFolder, const std::string& name) {
  return LookupInFolder(hostFolder, name);
}

std::optional<std::string> HostPathForNewEntry(std::string_view windowsPath, bool* exists,
                                               std::shared_ptr<const Fd>* folderHeld) {
  if (folderHeld != nullptr) folderHeld->reset();
  std::optional<SplitPath> split = SplitWindowsPath(windowsPath);
  if (!split) return std::nullopt;
  const std::vector<std::string>& components = split->components;
  if (!components.empty()) {
    // One look at the folder instead of two (the name, then the folder) for every new file.
    std::string folder = split->root == "/" ? std::string() : split->root;
    for (std::size_t i = 0; i + 1 < components.size(); ++i) folder += "/" + components[i];
    if (folder.empty()) folder = "/";
    std::optional<std::string> actual;
    if (LookupRemembered(folder, components.back(), actual, folderHeld)) {
      if (exists != nullptr) *exists = actual.has_value();
      return (folder == "/" ? std::string() : folder) + "/" + actual.value_or(components.back());
    }
  }
  Resolved resolved = ResolveComponents(split->root, components, components.size());
  if (exists != nullptr) *exists = resolved.exists;
  return std::move(resolved.path);
}

void NoteEntryAdded(const std::string& hostPath) {
  NoteChange(hostPath, true);
}
void NoteFolderMade(const std::string& hostPath) {
  struct stat info {};
  const bool known = ::lstat(hostPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  std::lock_guard lock(folderMutex);
  NoteChangeLocked(hostPath, true);
  if (!known) return;
  if (folders.size() >= kMaxCachedFolders) folders.clear();
  FolderNames& names = folders[hostPath];
  names = FolderNames{info.st_dev, info.st_ino, info.st_mtim, {}};
}
bool AddEntry(const std::string& hostPath, const std::function<bool()>& make) {
  std::lock_guard lock(folderMutex);
  if (!make()) return false;
  NoteChangeLocked(hostPath, true);
  return true;
}
void NoteEntryRemoved(const std::string& hostPath) {
  std::lock_guard lock(folderMutex);
  NoteChangeLocked(hostPath, false);
  ReleaseHeldFolderLocked(hostPath);
}

}  // namespace posix

std::string ToWindowsPath(std::string_view hostPath) {
  std::string path(hostPath);
  if (path.empty() || path[0] != '/') path = posix::CurrentHostDirectory() + "/" + path;
  path = posix::LexicalNormal(path);
  const std::shared_ptr<const posix::Drives> current = posix::CurrentDrives();
  const posix::Drives& drives = *current;
  posix::DriveMatch best = posix::BestDrive(drives, path);
  if (best.letter < 0 || best.length <= 1) {
    // Seen only through the root drive (or none): the folder may still lie in a mapped drive
    // once symlinks on the way are resolved.
    const std::string canonical = posix::Canonical(path);
    if (canonical != path) {
      const posix::DriveMatch other = posix::BestDrive(drives, canonical);
      if (other.length > best.length) {
        best = other;
        path = canonical;
      }
    }
  }
  std::string rest = best.letter < 0 ? path : path.substr(best.length);
  while (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  for (char& c : rest) {
    if (c == '/') c = '\\';
  }
  if (best.letter < 0) return "\\\\?\\unix\\" + rest;
  return std::string(1, static_cast<char>('A' + best.letter)) + ":\\" + rest;
}

std::string ToHostPath(std::string_view windowsPath) {
  std::optional<std::string> host = posix::HostPathOf(windowsPath);
  if (!host) throw OSError(kErrorPathNotFound, SystemErrorMessage(kErrorPathNotFound));
  return *host;
}

}  // namespace valise::platform
