// Windows paths and host paths: the round trip both backends promise, and on Linux the drive
// letters of the prefix.
#include "platform/host_paths.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "test_support.h"

#ifndef _WIN32
#include <unistd.h>

#include "platform/posix/prefix.h"
#endif

namespace valise::platform {
namespace {

using testing::TempDir;

TEST(HostPaths, RoundTripThroughTheWindowsName) {
  TempDir dir;
  dir.Write("Sub Folder/File.txt", "x");
  const std::string win = ToWindowsPath((dir.host() / "Sub Folder" / "File.txt").string());
  ASSERT_GE(win.size(), 3u);
  EXPECT_EQ(win[1], ':');
  EXPECT_EQ(win[2], '\\');
  EXPECT_EQ(win.find('/'), std::string::npos);
  EXPECT_EQ(std::filesystem::path(ToHostPath(win)),
            std::filesystem::path(dir.host() / "Sub Folder" / "File.txt"));
}

TEST(HostPaths, ExistingComponentsTakeTheirSpellingOnDisk) {
  TempDir dir;
  dir.Write("Alpha/Beta/Gamma.TXT", "x");
  const std::string host = ToHostPath(dir.win("ALPHA\\beta\\gamma.txt"));
  EXPECT_EQ(std::filesystem::path(host), dir.host() / "Alpha" / "Beta" / "Gamma.TXT");
  // Missing components stay as given, below the resolved existing ones.
  const std::string missing = ToHostPath(dir.win("alpha\\NEW\\file.dat"));
  EXPECT_EQ(std::filesystem::path(missing), dir.host() / "Alpha" / "NEW" / "file.dat");
}

TEST(HostPaths, NewNamesInAFolderAreSeenAfterOurOwnChanges) {
  // The folder's names are remembered; files created and deleted through the backend and
  // behind its back must both be seen.
  TempDir dir;
  ASSERT_TRUE(CreateDirectory(dir.win("Box")));
  for (int i = 0; i < 50; ++i) {
    auto file = File::Create(dir.win("box\\Item" + std::to_string(i) + ".bin"));
    ASSERT_NE(file, nullptr);
  }
  EXPECT_TRUE(GetFileAttributes(dir.win("BOX\\ITEM49.BIN")).has_value());
  ASSERT_TRUE(DeleteFile(dir.win("box\\item7.bin")));
  EXPECT_FALSE(GetFileAttributes(dir.win("box\\ITEM7.BIN")).has_value());
  dir.Write("Box/Outside.Txt", "o");  // not through the backend
  EXPECT_EQ(ReadWholeFile(dir.win("box\\OUTSIDE.TXT")), "o");
  std::filesystem::remove(dir.host() / "Box" / "Outside.Txt");
  EXPECT_FALSE(GetFileAttributes(dir.win("box\\outside.txt")).has_value());
}

bool IsDirectory(const std::string& path) {
  const auto attributes = GetFileAttributes(path);
  return attributes && (*attributes & kAttrDirectory) != 0;
}

bool EndsWithIgnoringCase(std::string text, std::string tail) {
  for (std::string* s : {&text, &tail}) {
    for (char& c : *s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(Folders, WindowsSystemAndShellFoldersExist) {
  const std::string windows = GetWindowsDirectory();
  EXPECT_TRUE(IsDirectory(windows)) << windows;
  EXPECT_TRUE(EndsWithIgnoringCase(windows, ":\\windows"));
  const std::string system = GetSystemDirectory();
  EXPECT_TRUE(IsDirectory(system)) << system;
  EXPECT_TRUE(EndsWithIgnoringCase(system, "\\system32"));
  for (int folder : {kFolderDesktop, kFolderPrograms, kFolderStartup, kFolderSendTo,
                     kFolderStartMenu, kFolderFonts}) {
    const std::string path = GetSpecialFolderPath(folder);
    EXPECT_TRUE(IsDirectory(path)) << folder << " " << path;
  }
  EXPECT_TRUE(EndsWithIgnoringCase(GetSpecialFolderPath(kFolderFonts), "\\fonts"));
  EXPECT_TRUE(EndsWithIgnoringCase(GetSpecialFolderPath(kFolderStartup), "\\programs\\startup"));
  EXPECT_TRUE(
      EndsWithIgnoringCase(GetSpecialFolderPath(kFolderPrograms), "\\start menu\\programs"));
}

#ifndef _WIN32

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

#endif

}  // namespace
}  // namespace valise::platform
