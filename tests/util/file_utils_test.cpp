#include "util/file_utils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "test_support.h"
#include "util/paths.h"

namespace valise {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::size_t CountEntries(const fs::path& dir) {
  std::size_t count = 0;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator();
       ++it) {
    ++count;
  }
  return count;
}

TEST(ForceDirsTest, CreatesThreeMissingLevels) {
  TempDir temp;
  EXPECT_TRUE(ForceDirs(temp.win("one\\two\\three")));
  EXPECT_TRUE(fs::is_directory(temp.host() / "one" / "two" / "three"));
  EXPECT_TRUE(ForceDirs(temp.win("a\\b\\c\\")));
  EXPECT_TRUE(fs::is_directory(temp.host() / "a" / "b" / "c"));
  // Doubled separators do not stop it short of the last level.
  EXPECT_TRUE(ForceDirs(temp.win("x\\y\\\\")));
  EXPECT_TRUE(fs::is_directory(temp.host() / "x" / "y"));
}

TEST(ForceDirsTest, ExistingDirectoriesAndRoots) {
  TempDir temp;
  fs::create_directories(temp.host() / "here");
  const std::size_t before = CountEntries(temp.host());
  EXPECT_TRUE(ForceDirs(temp.win("here")));
  EXPECT_TRUE(ForceDirs(temp.win("here\\")));
  EXPECT_TRUE(ForceDirs(temp.win()));
  EXPECT_EQ(CountEntries(temp.host()), before);
  EXPECT_TRUE(ForceDirs("C:\\"));
  EXPECT_TRUE(ForceDirs("C:"));
}

TEST(ForceDirsTest, Failures) {
  TempDir temp;
  EXPECT_THROW_MSG(ForceDirs(""), EJclFileUtilsError, "Unable to create directory");
  temp.Write("file.txt", "x");
  EXPECT_FALSE(ForceDirs(temp.win("file.txt")));
  EXPECT_FALSE(ForceDirs(temp.win("file.txt\\sub\\deeper")));
  EXPECT_FALSE(fs::exists(temp.host() / "file.txt" / "sub"));
}

TEST(FileTestsTest, DirExistsAndPathExists) {
  TempDir temp;
  temp.Write("dir/file.txt", "hello");
  EXPECT_TRUE(DirExists(temp.win("dir")));
  EXPECT_TRUE(DirExists(temp.win("dir\\")));
  EXPECT_FALSE(DirExists(temp.win("dir\\file.txt")));
  EXPECT_FALSE(DirExists(temp.win("missing")));
  EXPECT_FALSE(DirExists(""));

  EXPECT_TRUE(PathExists(temp.win("dir")));
  EXPECT_TRUE(PathExists(temp.win("dir\\")));
  EXPECT_TRUE(PathExists(temp.win("DIR\\FILE.TXT")));
  EXPECT_TRUE(PathExists(temp.win("dir\\*.txt")));
  EXPECT_TRUE(PathExists(temp.win("dir\\f?le.*")));
  EXPECT_TRUE(PathExists("C:\\"));
  EXPECT_FALSE(PathExists(temp.win("dir\\*.doc")));
  EXPECT_FALSE(PathExists(temp.win("missing")));
  EXPECT_FALSE(PathExists(temp.win("missing\\file.txt")));
}

// Whatever the input, the tests answer and never crash.
TEST(FileTestsTest, OddInputFindsNothing) {
  TempDir temp;
  const std::string odd[] = {
      "",
      std::string("a\0b", 3),
      temp.win("missing") + std::string(5000, 'x'),
      temp.win("missing\\") + std::string(300, '\\'),
      "\\\\",
      temp.win("missing\\*?*\\*"),
      "Q:\\no\\such\\drive.txt",
      temp.win("a|b<c>.txt"),
  };
  for (const std::string& path : odd) {
    EXPECT_FALSE(PathExists(path)) << path.size();
    EXPECT_EQ(GetFileSizeByName(path), -1) << path.size();
    EXPECT_FALSE(DirExists(path)) << path.size();
  }
}

TEST(FileTestsTest, GetFileSizeByName) {
  TempDir temp;
  temp.Write("five.bin", "12345");
  temp.Write("empty.bin", "");
  EXPECT_EQ(GetFileSizeByName(temp.win("five.bin")), 5);
  EXPECT_EQ(GetFileSizeByName(temp.win("FIVE.BIN")), 5);
  EXPECT_EQ(GetFileSizeByName(temp.win("empty.bin")), 0);
  EXPECT_EQ(GetFileSizeByName(temp.win("f*.bin")), 5);
  EXPECT_EQ(GetFileSizeByName(temp.win("missing.bin")), -1);
  EXPECT_EQ(GetFileSizeByName(temp.win("missing\\five.bin")), -1);
}

TEST(FileTestsTest, GetFileCreationTime) {
  TempDir temp;
  temp.Write("file.txt", "x");
  // 2020-01-01 in 100-nanosecond intervals since 1601.
  constexpr platform::FileTime k2020 = 132223104000000000ull;
  EXPECT_GT(GetFileCreationTime(temp.win("file.txt")), k2020);
  EXPECT_EQ(GetFileCreationTime(temp.win("file.txt")), GetFileCreationTime(temp.win("f*.txt")));

  try {
    GetFileCreationTime(temp.win("missing.txt"));
    ADD_FAILURE() << "no error for a missing file";
  } catch (const OSError& error) {
    EXPECT_EQ(error.code(), platform::kErrorFileNotFound);
    EXPECT_EQ(std::string(error.what()),
              platform::SystemErrorMessage(platform::kErrorFileNotFound));
  }
  try {
    GetFileCreationTime(temp.win("missing\\file.txt"));
    ADD_FAILURE() << "no error for a missing folder";
  } catch (const OSError& error) {
    EXPECT_EQ(error.code(), platform::kErrorPathNotFound);
    EXPECT_EQ(std::string(error.what()),
              platform::SystemErrorMessage(platform::kErrorPathNotFound));
  }
}

TEST(FileTestsTest, IsDirEmpty) {
  TempDir temp;
  fs::create_directories(temp.host() / "empty");
  EXPECT_TRUE(IsDirEmpty(temp.win("empty\\")));
  EXPECT_TRUE(IsDirEmpty(temp.win("empty")));
  EXPECT_TRUE(IsDirEmpty(temp.win("missing\\")));

  // A hidden file is an entry like any other.
  temp.Write("hidden/.secret", "x");
  platform::SetFileAttributes(temp.win("hidden\\.secret"), platform::kAttrHidden);
  EXPECT_FALSE(IsDirEmpty(temp.win("hidden\\")));

  fs::create_directories(temp.host() / "nested" / "sub");
  EXPECT_FALSE(IsDirEmpty(temp.win("nested\\")));
  // Without its backslash the folder is still searched, not its siblings.
  temp.Write("emptyish.txt", "x");
  fs::create_directories(temp.host() / "emptyi");
  EXPECT_TRUE(IsDirEmpty(temp.win("emptyi")));
}

TEST(TemporaryFilesTest, MadeUniqueAndLeftoversDeleted) {
  TempDir temp;
  fs::create_directories(temp.host() / "dest");
  std::string first;
  std::string second;
  ASSERT_TRUE(platform::CreateTemporaryFile(temp.win("dest"), first));
  ASSERT_TRUE(platform::CreateTemporaryFile(temp.win("dest\\"), second));
  EXPECT_NE(first, second);
  const std::string name(ExtractFileName(first));
  EXPECT_TRUE(IsTemporaryFileName(name)) << name;
  EXPECT_EQ(name.size(), 13u);
  // Leftovers of both kinds go; names that only look alike stay.
  for (const char* other : {"~VB19a8f3c2e4.TMP", "~vl00abcd.tmp"})
    temp.Write("dest/" + std::string(other), "x");
  for (const char* kept : {"~VL12345G.TMP", "~VL1234567.TMP", "~VL123456.TXT", "data.TMP"}) {
    EXPECT_FALSE(IsTemporaryFileName(kept)) << kept;
    temp.Write("dest/" + std::string(kept), "x");
  }
  fs::create_directories(temp.host() / "dest" / "~VLABCDEF.TMP");
  DeleteTemporaryFiles(temp.win("dest"));
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(temp.host() / "dest")) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"data.TMP", "~VL123456.TXT", "~VL1234567.TMP",
                                            "~VL12345G.TMP", "~VLABCDEF.TMP"}));
  // A folder that is not there is no failure.
  DeleteTemporaryFiles(temp.win("missing"));
}

TEST(RemoveDirAndWaitTest, RemovesEmptyAndWaits) {
  platform::SetMainThread();
  TempDir temp;
  fs::create_directories(temp.host() / "gone");
  const std::uint64_t start = platform::TickCount();
  EXPECT_TRUE(RemoveDirAndWait(temp.win("gone"), 150));
  EXPECT_GE(platform::TickCount() - start, 150u);
  EXPECT_FALSE(fs::exists(temp.host() / "gone"));
}

TEST(RemoveDirAndWaitTest, RefusesFullOrMissingWithoutWaiting) {
  platform::SetMainThread();
  TempDir temp;
  temp.Write("full/file.txt", "x");
  const std::uint64_t start = platform::TickCount();
  EXPECT_FALSE(RemoveDirAndWait(temp.win("full"), 3000));
  EXPECT_FALSE(RemoveDirAndWait(temp.win("missing"), 3000));
  EXPECT_FALSE(RemoveDirAndWait("", 3000));
  EXPECT_LT(platform::TickCount() - start, 2500u);
  EXPECT_TRUE(fs::exists(temp.host() / "full" / "file.txt"));
}

TEST(FolderLookupTest, SystemFolders) {
  const std::string windows = GetWindowsDir();
  EXPECT_FALSE(windows.empty());
  EXPECT_TRUE(DirExists(windows)) << windows;
  EXPECT_FALSE(GetSystemDir().empty());
  EXPECT_FALSE(GetProgramFilesDir().empty());
  EXPECT_EQ(GetSpecialFolder(-12345), "");
}

TEST(ShellLinkTest, WritesEveryFieldAndReadsTheTarget) {
  TempDir temp;
  temp.Write("app/app.exe", "MZ");
  TShellLink link;
  link.Arguments = "/silent inf=x.inf";
  link.ShowCmd = 3;
  link.WorkingDirectory = temp.win("app");
  link.Target = temp.win("app\\app.exe");
  link.Description = "Die Anwendung";
  link.IconLocation = temp.win("app\\app.exe");
  link.IconIndex = 2;
  link.HotKey = 0x0641;
  const std::string linkPath = temp.win("App.lnk");
  ASSERT_EQ(CreateShellLink(link, linkPath), 0);
  EXPECT_EQ(GetShellLinkTarget(linkPath), link.Target);

  const platform::ShellLinkData data = platform::ReadShellLink(linkPath);
  EXPECT_EQ(data.arguments, link.Arguments);
  // The show command is read from the file's header (offset 0x3C): Wine's link object
  // reports SW_SHOWNORMAL for every link it loads.
  const std::string bytes = testing::ReadHostFile(temp.host() / "App.lnk");
  ASSERT_GE(bytes.size(), 0x40u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0x3C]), link.ShowCmd);
  EXPECT_EQ(data.workingDirectory, link.WorkingDirectory);
  EXPECT_EQ(data.description, link.Description);
  EXPECT_EQ(data.iconLocation, link.IconLocation);
  EXPECT_EQ(data.iconIndex, link.IconIndex);
  EXPECT_EQ(data.hotKey, link.HotKey);
}

// A name the shell would have to cut is refused rather than written under the cut name.
TEST(ShellLinkTest, OverlongLinkPathIsRefused) {
  TempDir temp;
  TShellLink link;
  link.Target = "C:\\windows\\notepad.exe";
  const std::string name = std::string(300 - temp.win().size(), 'n') + ".lnk";
  EXPECT_EQ(CreateShellLink(link, temp.win(name)), kLinkPathTooLong);
  EXPECT_TRUE(fs::is_empty(temp.host()));
}

TEST(ShellLinkTest, UnreadableLinksHaveNoTarget) {
  TempDir temp;
  temp.Write("garbage.lnk", "this is no shell link");
  EXPECT_EQ(GetShellLinkTarget(temp.win("garbage.lnk")), "");
  EXPECT_EQ(GetShellLinkTarget(temp.win("missing.lnk")), "");
  EXPECT_EQ(GetShellLinkTarget(""), "");
}

TEST(ShellTest, BrowseWithoutDialogLeavesDirectoryAlone) {
  if (platform::BrowseForDirectoryAvailable()) GTEST_SKIP() << "a real dialog would open";
  std::string directory = "C:\\Start\\";
  EXPECT_FALSE(BrowseForDirectory("Choose", "", directory, true));
  EXPECT_EQ(directory, "C:\\Start\\");
}

TEST(ShellTest, ShellExecuteOfMissingFileFails) {
  TempDir temp;
  EXPECT_FALSE(ShellExecuteFile(temp.win("missing.exe"), "", "", 1));
  EXPECT_FALSE(ShellExecuteFile("", "", "", 1));
}

}  // namespace
}  // namespace valise
