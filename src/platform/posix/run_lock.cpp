// Run locks as files locked with flock, "/tmp/valise-<uid>/run-<device>-<inode>-<hash>.lock":
// the prefix's folder (which every path to it leads to) and the lock's name. They are kept out
// of the prefix, which a run that changes nothing must leave as it was (as Wine keeps its
// server's socket). The kernel drops a lock when its holder ends, so a file left behind by a
// killed run locks nothing; the files stay (deleting one could part two runs that opened it at
// different times). Runs of two users on one prefix are not kept apart.
#include "platform/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "platform/errors.h"
#include "platform/posix/fd.h"
#include "platform/posix/fs_internal.h"
#include "platform/posix/prefix.h"
#include "platform/text.h"

namespace valise::platform {

namespace {

// A lock file held open and locked; closing it releases the lock.
struct HeldFile {
  posix::Fd fd;
};

class FileRunLock final : public RunLock {
 public:
  explicit FileRunLock(std::shared_ptr<HeldFile> held) : held_(std::move(held)) {}

 private:
  std::shared_ptr<HeldFile> held_;
};

// The locks this process holds, by file: taken again here, a lock is shared, as a thread that
// owns a mutex on Windows takes it again at once (flock would wait for ourselves).
std::mutex heldMutex;
std::map<std::string, std::weak_ptr<HeldFile>> held;

// FNV-1a: a short file name for any text, the same in every process.
std::uint64_t NameHash(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace

std::unique_ptr<RunLock> RunLock::Take(std::string_view name, bool /*allUsers*/,
                                       const std::function<void()>& waiting) {
  // A prefix not made yet is known by its path.
  const std::filesystem::path prefix = posix::PrefixDir();
  struct stat info {};
  if (::stat(prefix.c_str(), &info) != 0) info.st_ino = NameHash(prefix.string());
  const std::string folder = "/tmp/valise-" + std::to_string(::getuid());
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    ThrowOSError(posix::ErrorFromErrno(errno), "create the folder", folder);
  // Ours alone, or somebody else could lead our lock files anywhere.
  struct stat own {};
  if (::lstat(folder.c_str(), &own) != 0 || !S_ISDIR(own.st_mode) || own.st_uid != ::getuid() ||
      (own.st_mode & 022) != 0) {
    ThrowOSError(kErrorAccessDenied, "use the folder", folder);
  }
  char file[96];
  std::snprintf(file, sizeof file, "/run-%llx-%llx-%016llx.lock",
                static_cast<unsigned long long>(info.st_dev),
                static_cast<unsigned long long>(info.st_ino),
                static_cast<unsigned long long>(NameHash(UpperCase(name))));
  const std::string path = folder + file;
  std::lock_guard lock(heldMutex);
  if (std::shared_ptr<HeldFile> mine = held[path].lock()) {
    return std::make_unique<FileRunLock>(std::move(mine));
  }
  posix::Fd fd(::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) ThrowOSError(posix::ErrorFromErrno(errno), "create the lock file", path);
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR)
      ThrowOSError(posix::ErrorFromErrno(errno), "lock", path);
    if (waiting) waiting();
    while (::flock(fd.get(), LOCK_EX) != 0) {
      if (errno != EINTR) ThrowOSError(posix::ErrorFromErrno(errno), "lock", path);
    }
  }
  auto mine = std::make_shared<HeldFile>(HeldFile{std::move(fd)});
  held[path] = mine;
  return std::make_unique<FileRunLock>(std::move(mine));
}

}  // namespace valise::platform
