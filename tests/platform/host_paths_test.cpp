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

}  // namespace
}  // namespace valise::platform
