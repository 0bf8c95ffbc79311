// Holders of the posix backend's descriptors: an open file descriptor and an open directory
// listing are closed when their holder goes, also when an exception passes by.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <utility>

namespace valise::platform::posix {

// Owns a file descriptor (negative: none).
class Fd {
 public:
  explicit Fd(int fd = -1) noexcept : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.release();
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int get() const noexcept { return fd_; }
  explicit operator bool() const noexcept { return fd_ >= 0; }
  // Gives the descriptor up without closing it (to close it by hand and see the result).
  int release() noexcept { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Owns a directory listing opened by opendir (null: none).
class DirHandle {
 public:
  explicit DirHandle(DIR* dir = nullptr) noexcept : dir_(dir) {}
  ~DirHandle() {
    if (dir_ != nullptr) ::closedir(dir_);
  }
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;

  DIR* get() const noexcept { return dir_; }
  explicit operator bool() const noexcept { return dir_ != nullptr; }

 private:
  DIR* dir_;
};

}  // namespace valise::platform::posix
