// Host paths on the posix backend: the drive letters of the Wine prefix.
#include "platform/host_paths.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "test_support.h"

#include <unistd.h>

#include "platform/posix/prefix.h"

namespace valise::platform {
namespace {

using testing::TempDir;

// Points WINEPREFIX at another folder while it lives.
class PrefixGuard {
 public:
  explicit PrefixGuard(const std::filesystem::path& prefix) {
    if (const char* old = std::getenv("WINEPREFIX")) previous_ = old;
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
  }
  ~PrefixGuard() {
    if (previous_.empty()) {
      ::unsetenv("WINEPREFIX");
    } else {
      ::setenv("WINEPREFIX", previous_.c_str(), 1);
    }
  }

 private:
  std::string previous_;
};

TEST(PosixDrives, LettersComeFromDosdevices) {
  TempDir dir;
  const std::filesystem::path prefix = dir.host() / "prefix";
  PrefixGuard guard(prefix);
  ASSERT_EQ(posix::PrefixDir(), prefix);
  EXPECT_EQ(ToHostPath("C:\\windows"), (prefix / "drive_c" / "windows").string());
  EXPECT_EQ(ToHostPath("c:/WINDOWS/System32"),
            (prefix / "drive_c" / "windows" / "system32").string());
  EXPECT_EQ(ToWindowsPath((prefix / "drive_c" / "Program Files").string()), "C:\\Program Files");
  // A path outside every other drive is seen through Z:.
  EXPECT_EQ(ToWindowsPath("/usr/share"), "Z:\\usr\\share");
  EXPECT_EQ(ToHostPath("Z:\\usr\\share"), "/usr/share");
  // A drive not mapped is an error.
  EXPECT_THROW_MSG(ToHostPath("Q:\\x"), OSError, "The system cannot find the path specified.");

  // The longest mapping wins: a drive for a folder below the root.
  dir.Write("data/inside.txt", "i");
  ASSERT_EQ(::symlink((dir.host() / "data").c_str(), (prefix / "dosdevices" / "d:").c_str()), 0);
  EXPECT_EQ(ToWindowsPath((dir.host() / "data" / "inside.txt").string()), "D:\\inside.txt");
  EXPECT_EQ(ReadWholeFile("d:\\INSIDE.TXT"), "i");
  // A relative host path is taken against the current directory.
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.host() / "data");
  EXPECT_EQ(ToWindowsPath("inside.txt"), "D:\\inside.txt");
  EXPECT_EQ(GetCurrentDirectory(), "D:\\");
  std::filesystem::current_path(previous);
}

TEST(PosixDrives, ProgramPathIsSeenThroughItsDrive) {
  char target[4096];
  const ssize_t length = ::readlink("/proc/self/exe", target, sizeof target - 1);
  ASSERT_GT(length, 0);
  EXPECT_EQ(ProgramPath(), ToWindowsPath(std::string(target, static_cast<std::size_t>(length))));
}

}  // namespace
}  // namespace valise::platform
