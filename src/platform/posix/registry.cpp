// The registry of the posix backend: the registry files of the Wine prefix. user.reg holds
// HKEY_CURRENT_USER, system.reg HKEY_LOCAL_MACHINE, and HKEY_CLASSES_ROOT is
// HKEY_LOCAL_MACHINE\Software\Classes.
//
// Reading takes a parsed file from a cache that is keyed by the file's identity and time, so
// that opening many keys reads a file once. A key opened for writing collects its changes and
// stores them when it is closed: under an exclusive lock on a file beside the hive, it reads the
// hive again (another process may have changed it since), applies its changes, writes a
// temporary file, flushes it to disk and renames it over the hive. A crash thus leaves either
// the old or the new file, and two processes writing at once lose nothing.
//
// While a wineserver runs for the prefix, it holds the registry in memory and writes it back
// over any change made to the files; writing is refused then.
#include "platform/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "platform/bytes.h"
#include "platform/debug.h"
#include "platform/errors.h"
#include "platform/posix/fd.h"
#include "platform/posix/fs_internal.h"
#include "platform/posix/prefix.h"
#include "platform/posix/wine_registry_file.h"
#include "platform/utf.h"

namespace valise::platform {

namespace {

namespace fs = std::filesystem;
using posix::WineRegData;
using posix::WineRegistryFile;
using Path = WineRegistryFile::Path;

using posix::Fd;

// "Cannot <operation> <file>: <text>" for an errno value, translated by the backend's one table.
[[noreturn]] void ThrowErrno(int err, std::string_view operation, const fs::path& file) {
  ThrowOSError(posix::ErrorFromErrno(err), operation, file.string());
}

// Which file holds a root, and where the root's keys start in it.
struct Hive {
  fs::path prefix;
  fs::path file;
  Path base;
};

Hive Locate(RegRoot root) {
  Hive hive;
  hive.prefix = posix::PrefixDir();
  hive.file = hive.prefix / (root == RegRoot::CurrentUser ? "user.reg" : "system.reg");
  if (root == RegRoot::ClassesRoot) hive.base = {u"Software", u"Classes"};
  return hive;
}

// A key path: names separated by backslashes; empty names (leading, trailing or doubled
// backslashes) are left out.
Path KeyPath(const Hive& hive, std::string_view path) {
  Path result = hive.base;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) result.push_back(Utf8ToUtf16(path.substr(start, end - start)));
    start = end + 1;
  }
  return result;
}

// --- The wineserver of a prefix ---------------------------------------------------------------

// True when the lock file exists and a process holds a lock on it.
bool LockHeld(const fs::path& lockFile) {
  Fd fd(::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct flock query {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  query.l_start = 0;
  query.l_len = 0;
  if (::fcntl(fd.get(), F_GETLK, &query) != 0) return false;
  return query.l_type != F_UNLCK;
}

// A running wineserver keeps a lock on the file "lock" in its server folder, named
// "server-<device>-<inode>" after the prefix folder. The server folder lies in
// /tmp/.wine-<uid>, or, in some Wine builds, in a folder of the temporary directory whose name
// the prefix's file "wineserver" holds.
bool WineserverRunning(const fs::path& prefix) {
  struct stat info {};
  if (::stat(prefix.c_str(), &info) != 0) return false;
  char server[64];
  std::snprintf(server, sizeof server, "server-%llx-%llx",
                static_cast<unsigned long long>(info.st_dev),
                static_cast<unsigned long long>(info.st_ino));
  std::vector<fs::path> folders;
  folders.push_back(fs::path("/tmp") / (".wine-" + std::to_string(::getuid())));
  if (Fd fd(::open((prefix / "wineserver").c_str(), O_RDONLY | O_CLOEXEC)); fd.get() >= 0) {
    char name[256];
    const ssize_t n = ::read(fd.get(), name, sizeof name - 1);
    if (n > 0) {
      std::string folder(name, static_cast<std::size_t>(n));
      while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\0')) {
        folder.pop_back();
      }
      if (!folder.empty() && folder.find('/') == std::string::npos) {
        const char* tmp = std::getenv("TMPDIR");
        if (tmp != nullptr && *tmp != '\0') folders.push_back(fs::path(tmp) / folder);
        folders.push_back(fs::path("/tmp") / folder);
      }
    }
  }
  for (const auto& folder : folders) {
    if (LockHeld(folder / server / "lock")) return true;
  }
  return false;
}

void RefuseWhileWineserverRuns(const fs::path& prefix) {
  if (WineserverRunning(prefix)) {
    throw OSError(kErrorSharingViolation,
                  "The registry of the Wine prefix " + prefix.string() +
                      " is in use by a running wineserver; close the Wine programs of that "
                      "prefix first");
  }
}

// --- Reading with a cache ---------------------------------------------------------------------

struct Stamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::int64_t modified = 0;  // nanoseconds
  off_t size = 0;
  bool operator==(const Stamp&) const = default;
};

Stamp StampOf(const struct stat& info) {
  Stamp stamp;
  stamp.exists = true;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.modified =
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  stamp.size = info.st_size;
  return stamp;
}

struct Cached {
  Stamp stamp;
  std::shared_ptr<const WineRegistryFile> file;
};

std::mutex& CacheMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::string, Cached>& Cache() {
  static std::map<std::string, Cached> cache;
  return cache;
}

std::string RootName(const fs::path& file) {
  return file.filename() == "user.reg" ? "REGISTRY\\User\\S-1-5-21-0-0-0-1000"
                                       : "REGISTRY\\Machine";
}

// The hive as stored now. A missing file reads as an empty one. A hive the cache holds is
// recognised by one status call, since a scan of the records opens thousands of keys.
std::shared_ptr<const WineRegistryFile> LoadHive(const fs::path& file, Stamp* stampOut = nullptr) {
  const std::string key = file.string();
  if (struct stat known{}; ::stat(file.c_str(), &known) == 0) {
    const Stamp stamp = StampOf(known);
    std::lock_guard lock(CacheMutex());
    const auto found = Cache().find(key);
    if (found != Cache().end() && found->second.stamp == stamp) {
      if (stampOut != nullptr) *stampOut = stamp;
      return found->second.file;
    }
  }
  Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno != ENOENT) ThrowErrno(errno, "open", file);
    if (stampOut != nullptr) *stampOut = Stamp{};
    return std::make_shared<const WineRegistryFile>(WineRegistryFile::Empty(RootName(file)));
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) ThrowErrno(errno, "read", file);
  const Stamp stamp = StampOf(info);
  if (stampOut != nullptr) *stampOut = stamp;
  {
    std::lock_guard lock(CacheMutex());
    const auto found = Cache().find(key);
    if (found != Cache().end() && found->second.stamp == stamp) return found->second.file;
  }
  std::string bytes;
  bytes.resize(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (true) {
    if (done == bytes.size()) bytes.resize(bytes.size() + 65536);
    const ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno, "read", file);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  auto parsed =
      std::make_shared<const WineRegistryFile>(WineRegistryFile::Parse(bytes, file.string()));
  std::lock_guard lock(CacheMutex());
  Cache()[key] = Cached{stamp, parsed};
  return parsed;
}

// --- Writing ----------------------------------------------------------------------------------

void WriteAll(int fd, std::string_view bytes, const fs::path& file) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno, "write", file);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Removes the temporaries of earlier saves of the hive that never finished ("user.reg.XXXXXX",
// as mkstemp names them, left by a writer killed between making and renaming it). The rule: a
// writer makes, renames or removes its temporary only while it holds the hive's lock, so a
// temporary that is there while we hold the lock (and no wineserver runs, which we checked) is
// nobody's. Called under the lock; failures are of no consequence.
void RemoveStaleTemporaries(const Hive& hive) {
  const std::string prefix = hive.file.filename().string() + ".";
  const posix::DirHandle dir(::opendir(hive.prefix.c_str()));
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) continue;
    const std::string_view suffix = name.substr(prefix.size());
    if (!std::all_of(suffix.begin(), suffix.end(), [](char c) {
          return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        })) {
      continue;
    }
    struct stat info {};
    if (::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(info.st_mode)) {
      ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
    }
  }
}

// Applies `change` to the hive as stored now and stores the result, all under the hive's lock.
// `change` returns false when it changed nothing; the file is left alone then.
template <typename Change>
bool Commit(const Hive& hive, Change&& change) {
  std::error_code ignored;
  fs::create_directories(hive.prefix, ignored);
  const fs::path lockPath = hive.prefix / ("." + hive.file.filename().string() + ".lock");
  Fd lockFd(::open(lockPath.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644));
  if (lockFd.get() < 0) ThrowErrno(errno, "create", lockPath);
  while (::flock(lockFd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) ThrowErrno(errno, "lock", lockPath);
  }
  RefuseWhileWineserverRuns(hive.prefix);
  RemoveStaleTemporaries(hive);

  Stamp before;
  WineRegistryFile file = *LoadHive(hive.file, &before);
  if (!change(file)) return false;
  const std::string bytes = file.Serialize();

  std::string temp = hive.file.string() + ".XXXXXX";
  Fd out(::mkstemp(temp.data()));
  if (out.get() < 0) ThrowErrno(errno, "create a temporary file beside", hive.file);
  try {
    struct stat info {};
    const mode_t mode = ::stat(hive.file.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
    ::fchmod(out.get(), mode);
    WriteAll(out.get(), bytes, hive.file);
    if (::fsync(out.get()) != 0) ThrowErrno(errno, "write", hive.file);
    if (::fstat(out.get(), &info) != 0) ThrowErrno(errno, "write", hive.file);
    const Stamp after = StampOf(info);
    if (::close(out.release()) != 0) ThrowErrno(errno, "write", hive.file);
    if (::rename(temp.c_str(), hive.file.c_str()) != 0) ThrowErrno(errno, "replace", hive.file);
    Fd dir(::open(hive.prefix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    std::lock_guard lock(CacheMutex());
    Cache()[hive.file.string()] =
        Cached{after, std::make_shared<const WineRegistryFile>(std::move(file))};
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  return true;
}

RegValue ToRegValue(const WineRegData& stored) {
  RegValue value;
  value.type = static_cast<RegType>(stored.type);
  const auto& data = stored.data;
  switch (stored.type) {
    case static_cast<std::uint32_t>(RegType::String):
    case static_cast<std::uint32_t>(RegType::ExpandString): {
      std::u16string units;
      for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const auto c = static_cast<char16_t>(LoadU16(&data[i]));
        if (c == 0) break;
        units += c;
      }
      value.text = Utf16ToUtf8(units);
      break;
    }
    case static_cast<std::uint32_t>(RegType::DWord): {
      // Shorter data is the number's low bytes.
      std::uint8_t bytes[4] = {};
      std::copy_n(data.begin(), std::min<std::size_t>(4, data.size()), bytes);
      value.number = LoadU32(bytes);
      break;
    }
    default:
      value.bytes = data;
      break;
  }
  return value;
}

}  // namespace

namespace {

// Changes handed to the open store batch, in the order they were made.
struct HeldStore {
  Hive hive;
  Path path;
  std::vector<WineRegistryFile::ValueChange> log;
};
using HeldStores = std::vector<HeldStore>;

// The open store batch's changes; null when none is open. One batch, on the main thread.
HeldStores*& OpenBatch() {
  static HeldStores* open = nullptr;
  return open;
}

// Stores the held changes, one store per registry file; what could not be stored stays held.
void StoreHeld(HeldStores& held) {
  while (!held.empty()) {
    const fs::path file = held.front().hive.file;
    Commit(held.front().hive, [&](WineRegistryFile& registry) {
      bool changed = false;
      for (const HeldStore& store : held) {
        if (store.hive.file == file)
          changed = registry.ChangeValues(store.path, store.log) || changed;
      }
      return changed;
    });
    std::erase_if(held, [&](const HeldStore& store) { return store.hive.file == file; });
  }
}

}  // namespace

struct RegistryStoreBatch::Held {
  HeldStores stores;
};

class RegKeyImpl {
 public:
  // A value as the session sees it, by its folded name (so in the registry's order).
  struct Value {
    std::u16string name;
    WineRegData data;
  };

  Hive hive;
  Path path;
  bool writable = false;
  bool create = false;  // the key did not exist when it was opened
  std::shared_ptr<const WineRegistryFile> snapshot;
  // The key's values as this session sees them, read from the snapshot on first use.
  mutable std::optional<std::map<std::u16string, Value>> values;
  // The changes to store: the last one for each folded name.
  std::map<std::u16string, WineRegistryFile::ValueChange> changes;

  void RequireWritable() const {
    if (!writable) throw OSError(kErrorAccessDenied, SystemErrorMessage(kErrorAccessDenied));
  }

  void LoadValues() const {
    if (values) return;
    values.emplace();
    for (auto& [name, data] : snapshot->Values(path)) {
      std::u16string folded = WineRegistryFile::FoldName(name);
      values->emplace(std::move(folded), Value{std::move(name), std::move(data)});
    }
  }

  void Set(std::string_view name, WineRegData data) {
    RequireWritable();
    LoadValues();
    std::u16string key = Utf8ToUtf16(name);
    std::u16string folded = WineRegistryFile::FoldName(key);
    // An existing value keeps the case of its name; writing what it holds changes nothing.
    auto [at, added] = values->try_emplace(folded, Value{key, data});
    if (!added) {
      if (at->second.data == data && !changes.contains(folded)) return;
      at->second.data = data;
    }
    changes[std::move(folded)] = WineRegistryFile::ValueChange{at->second.name, std::move(data)};
  }

  bool Delete(std::string_view name) {
    RequireWritable();
    LoadValues();
    std::u16string folded = WineRegistryFile::FoldName(Utf8ToUtf16(name));
    const auto found = values->find(folded);
    if (found == values->end()) return false;
    changes[folded] = WineRegistryFile::ValueChange{found->second.name, std::nullopt};
    values->erase(found);
    return true;
  }

  std::optional<WineRegData> Get(std::string_view name) const {
    LoadValues();
    const auto found = values->find(WineRegistryFile::FoldName(Utf8ToUtf16(name)));
    if (found == values->end()) return std::nullopt;
    return found->second.data;
  }

  // Stores the pending changes. They stay pending when storing them fails (the OSError names
  // the registry file), so that a later Flush or Close may still store them.
  // With `now` false and a store batch open, they are handed to the batch instead, which stores
  // them with its next store.
  void StoreChanges(bool now = true) {
    if (!writable || (!create && changes.empty())) return;
    std::vector<WineRegistryFile::ValueChange> log;
    log.reserve(changes.size());
    for (const auto& [folded, change] : changes) log.push_back(change);
    if (HeldStores* held = OpenBatch()) {
      held->push_back(HeldStore{hive, path, std::move(log)});
      changes.clear();
      create = false;
      if (now) StoreHeld(*held);
      return;
    }
    Commit(hive, [&](WineRegistryFile& file) { return file.ChangeValues(path, log); });
    changes.clear();
    create = false;
  }

  // The key as a debug line names it: its path and the file that holds it.
  std::string Name() const {
    std::string name;
    for (const auto& part : path) name += (name.empty() ? "" : "\\") + Utf16ToUtf8(part);
    return name + " in " + hive.file.string();
  }
};

namespace {

// Closes a key that goes without Close(): its pending changes are stored, and as a destructor
// cannot throw, a failure to store them is written to the debug log with the key's name.
void CloseWithoutThrowing(std::unique_ptr<RegKeyImpl> impl) noexcept {
  if (!impl) return;
  try {
    impl->StoreChanges(false);
  } catch (const std::exception& error) {
    try {
      DebugOutput("The changes to the registry key " + impl->Name() +
                  " were not stored: " + error.what());
    } catch (const std::bad_alloc&) {
    }
  }
}

}  // namespace

RegKey::RegKey(std::unique_ptr<RegKeyImpl> impl) : impl_(std::move(impl)) {}
RegKey::RegKey(RegKey&&) noexcept = default;
RegKey& RegKey::operator=(RegKey&& other) noexcept {
  if (this != &other) {
    CloseWithoutThrowing(std::move(impl_));
    impl_ = std::move(other.impl_);
  }
  return *this;
}

RegKey::~RegKey() {
  CloseWithoutThrowing(std::move(impl_));
}

std::optional<RegKey> RegKey::Open(RegRoot root, std::string_view path) {
  auto impl = std::make_unique<RegKeyImpl>();
  impl->hive = Locate(root);
  impl->path = KeyPath(impl->hive, path);
  impl->snapshot = LoadHive(impl->hive.file);
  if (!impl->snapshot->KeyExists(impl->path)) {
    SetLastError(kErrorFileNotFound);
    return std::nullopt;
  }
  return RegKey(std::move(impl));
}

RegKey RegKey::Create(RegRoot root, std::string_view path) {
  auto impl = std::make_unique<RegKeyImpl>();
  impl->hive = Locate(root);
  impl->path = KeyPath(impl->hive, path);
  RefuseWhileWineserverRuns(impl->hive.prefix);
  impl->snapshot = LoadHive(impl->hive.file);
  impl->writable = true;
  impl->create = !impl->snapshot->KeyExists(impl->path);
  return RegKey(std::move(impl));
}

bool RegKey::HasValue(std::string_view name) const {
  return impl_ && impl_->Get(name).has_value();
}

std::optional<RegValue> RegKey::Read(std::string_view name) const {
  if (!impl_) return std::nullopt;
  const auto stored = impl_->Get(name);
  if (!stored) {
    SetLastError(kErrorFileNotFound);
    return std::nullopt;
  }
  return ToRegValue(*stored);
}

std::vector<std::string> RegKey::SubKeyNames() const {
  std::vector<std::string> names;
  if (!impl_) return names;
  for (const auto& name : impl_->snapshot->SubKeyNames(impl_->path)) {
    names.push_back(Utf16ToUtf8(name));
  }
  return names;
}

std::vector<std::string> RegKey::ValueNames() const {
  std::vector<std::string> names;
  if (!impl_) return names;
  impl_->LoadValues();
  for (const auto& [folded, value] : *impl_->values) names.push_back(Utf16ToUtf8(value.name));
  return names;
}

std::vector<std::pair<std::string, RegValue>> RegKey::Values() const {
  std::vector<std::pair<std::string, RegValue>> values;
  if (!impl_) return values;
  impl_->LoadValues();
  values.reserve(impl_->values->size());
  for (const auto& [folded, value] : *impl_->values) {
    values.emplace_back(Utf16ToUtf8(value.name), ToRegValue(value.data));
  }
  return values;
}

void RegKey::WriteString(std::string_view name, std::string_view value) {
  if (!impl_) throw OSError(kErrorInvalidParameter, SystemErrorMessage(kErrorInvalidParameter));
  impl_->Set(name, WineRegData::String(static_cast<std::uint32_t>(RegType::String), value));
}

void RegKey::WriteExpandString(std::string_view name, std::string_view value) {
  if (!impl_) throw OSError(kErrorInvalidParameter, SystemErrorMessage(kErrorInvalidParameter));
  impl_->Set(name, WineRegData::String(static_cast<std::uint32_t>(RegType::ExpandString), value));
}

void RegKey::WriteDWord(std::string_view name, std::uint32_t value) {
  if (!impl_) throw OSError(kErrorInvalidParameter, SystemErrorMessage(kErrorInvalidParameter));
  WineRegData data;
  data.type = static_cast<std::uint32_t>(RegType::DWord);
  data.data.resize(4);
  StoreU32(data.data.data(), value);
  impl_->Set(name, std::move(data));
}

void RegKey::WriteBinary(std::string_view name, const std::vector<std::uint8_t>& value) {
  if (!impl_) throw OSError(kErrorInvalidParameter, SystemErrorMessage(kErrorInvalidParameter));
  impl_->Set(name, WineRegData{static_cast<std::uint32_t>(RegType::Binary), value});
}

bool RegKey::DeleteValue(std::string_view name) {
  if (!impl_) throw OSError(kErrorInvalidParameter, SystemErrorMessage(kErrorInvalidParameter));
  if (impl_->Delete(name)) return true;
  SetLastError(kErrorFileNotFound);
  return false;
}

void RegKey::Flush() {
  if (impl_) impl_->StoreChanges();
}

void RegKey::Close() {
  if (!impl_) return;
  std::unique_ptr<RegKeyImpl> impl = std::move(impl_);
  try {
    impl->StoreChanges(false);
  } catch (...) {
    impl_ = std::move(impl);  // still open, its changes still pending
    throw;
  }
}

bool DeleteRegKeyTree(RegRoot root, std::string_view path) {
  try {
    const Hive hive = Locate(root);
    const Path key = KeyPath(hive, path);
    if (key.size() <= hive.base.size()) {
      SetLastError(kErrorAccessDenied);
      return false;
    }
    if (!LoadHive(hive.file)->KeyExists(key)) {
      SetLastError(kErrorFileNotFound);
      return false;
    }
    bool deleted = false;
    Commit(hive, [&](WineRegistryFile& file) {
      deleted = file.DeleteKey(key);
      return deleted;
    });
    if (!deleted) SetLastError(kErrorFileNotFound);
    return deleted;
  } catch (const OSError& error) {
    SetLastError(error.code());
    return false;
  } catch (const Error&) {
    SetLastError(kErrorInvalidData);
    return false;
  }
}

RegistryStoreBatch::RegistryStoreBatch() {
  if (OpenBatch() != nullptr) throw Error("RegistryStoreBatch: a batch is open already");
  held_ = std::make_unique<Held>();
  OpenBatch() = &held_->stores;
}

RegistryStoreBatch::~RegistryStoreBatch() {
  OpenBatch() = nullptr;
  if (held_->stores.empty()) return;
  try {
    StoreHeld(held_->stores);
  } catch (const std::exception& error) {
    DebugOutput(std::string("Registry changes were not stored: ") + error.what());
  }
}

void RegistryStoreBatch::Store() {
  StoreHeld(held_->stores);
}

}  // namespace valise::platform
