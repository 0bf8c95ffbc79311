// Folders deeper than the classic 260-character limit, named beyond the ANSI code page (a user
// called Łukasz or Ελένη): files are copied into them, and the registry and shell links keep
// such names intact.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "test_support.h"

namespace valise::platform {
namespace {

using testing::TempDir;

constexpr char kLevel[] = "\xC5\x81ukasz \xCE\x95\xCE\xBB\xCE\xAD\xCE\xBD\xCE\xB7 Verzeichnis";
constexpr char kFileName[] = "\xCE\x95\xCE\xBB\xCE\xAD\xCE\xBD\xCE\xB7 \xC5\x81ukasz.txt";

// Creates folders one below the other until the path is longer than 300 characters; returns
// the deepest one and every level from the top down.
std::vector<std::string> MakeDeepFolder(const TempDir& dir) {
  std::vector<std::string> levels;
  std::string folder = dir.win();
  while (folder.size() <= 300) {
    folder += "\\";
    folder += kLevel;
    if (!CreateDirectory(folder)) {
      ADD_FAILURE() << "cannot create " << folder << ": " << SystemErrorMessage(LastError());
      break;
    }
    levels.push_back(folder);
  }
  return levels;
}

std::vector<std::string> Names(const std::vector<FindEntry>& entries) {
  std::vector<std::string> names;
  for (const FindEntry& entry : entries) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(LongPaths, FilesAreCopiedIntoDeepFoldersWithNamesBeyondTheAnsiCodePage) {
  TempDir dir;
  const std::vector<std::string> levels = MakeDeepFolder(dir);
  ASSERT_FALSE(levels.empty());
  const std::string folder = levels.back();
  ASSERT_GT(folder.size(), 300u);
  EXPECT_NE(GetFileAttributes(folder).value_or(0) & kAttrDirectory, 0u);

  dir.Write("source.txt", "payload \xE2\x82\xAC");
  const std::string target = folder + "\\" + kFileName;
  ASSERT_TRUE(CopyFile(dir.win("source.txt"), target, false)) << SystemErrorMessage(LastError());
  EXPECT_EQ(ReadWholeFile(target), "payload \xE2\x82\xAC");
  EXPECT_EQ(Names(FindFiles(folder + "\\*")), (std::vector<std::string>{kFileName}));
  ASSERT_EQ(FindFiles(target).size(), 1u);
  EXPECT_EQ(FindFiles(target)[0].size, 11u);
  EXPECT_TRUE(GetDiskFreeBytes(folder).has_value());

  // Copied over, written, renamed and removed again at that depth.
  EXPECT_FALSE(CopyFile(dir.win("source.txt"), target, true));
  EXPECT_EQ(LastError(), kErrorFileExists);
  {
    auto file = File::Create(folder + "\\written.bin");
    ASSERT_NE(file, nullptr);
    file->Write("abc", 3);
  }
  EXPECT_EQ(ReadWholeFile(folder + "\\written.bin"), "abc");
  ASSERT_TRUE(MoveFile(target, folder + "\\renamed " + kFileName, false));
  EXPECT_EQ(Names(FindFiles(folder + "\\*.txt")),
            (std::vector<std::string>{std::string("renamed ") + kFileName}));
  EXPECT_TRUE(DeleteFile(folder + "\\renamed " + kFileName));
  EXPECT_TRUE(DeleteFile(folder + "\\written.bin"));
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    EXPECT_TRUE(RemoveDirectory(*level)) << *level;
  }
  EXPECT_FALSE(GetFileAttributes(levels.front()).has_value());
}

TEST(LongPaths, RegistryKeepsNamesBeyondTheAnsiCodePage) {
  const std::string base = "Software\\ValiseLongPathTest";
  const std::string path = base + "\\" + kLevel;
  const std::string deep = "C:\\Users\\" + std::string(300, 'x') + "\\" + kFileName;
  DeleteRegKeyTree(RegRoot::CurrentUser, base);
  {
    RegKey key = RegKey::Create(RegRoot::CurrentUser, path);
    key.WriteString(kFileName, deep);
    key.WriteExpandString(kLevel, std::string("%TEMP%\\") + kLevel);
    key.Close();
  }
  std::optional<RegKey> key = RegKey::Open(RegRoot::CurrentUser, path);
  ASSERT_TRUE(key.has_value());
  const std::optional<RegValue> text = key->Read(kFileName);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->type, RegType::String);
  EXPECT_EQ(text->text, deep);
  const std::optional<RegValue> expand = key->Read(kLevel);
  ASSERT_TRUE(expand.has_value());
  EXPECT_EQ(expand->type, RegType::ExpandString);
  EXPECT_EQ(expand->text, std::string("%TEMP%\\") + kLevel);
  std::vector<std::string> values = key->ValueNames();
  std::sort(values.begin(), values.end());
  EXPECT_EQ(values, (std::vector<std::string>{kLevel, kFileName}));  // sorted by bytes
  std::optional<RegKey> parent = RegKey::Open(RegRoot::CurrentUser, base);
  ASSERT_TRUE(parent.has_value());
  EXPECT_EQ(parent->SubKeyNames(), (std::vector<std::string>{kLevel}));
  key.reset();
  parent.reset();
  EXPECT_TRUE(DeleteRegKeyTree(RegRoot::CurrentUser, base));
  EXPECT_FALSE(RegKey::Open(RegRoot::CurrentUser, base).has_value());
}

TEST(LongPaths, ShellLinksKeepNamesBeyondTheAnsiCodePage) {
  TempDir dir;
  const std::vector<std::string> levels = MakeDeepFolder(dir);
  ASSERT_FALSE(levels.empty());
  // A program in a folder named beyond the ANSI code page, and its link deep down.
  dir.Write(std::string(kLevel) + "/app.exe", "program");
  ShellLinkData link;
  link.target = dir.win(std::string(kLevel) + "\\app.exe");
  link.arguments = std::string("/user=") + kLevel;
  link.workingDirectory = dir.win(kLevel);
  link.description = kFileName;
  link.iconLocation = link.target;
  link.iconIndex = 2;
  const std::string linkPath = levels.back() + "\\" + kLevel + ".lnk";
  ASSERT_NO_THROW(WriteShellLink(link, linkPath));
  EXPECT_EQ(Names(FindFiles(levels.back() + "\\*.lnk")),
            (std::vector<std::string>{std::string(kLevel) + ".lnk"}));
  const ShellLinkData read = ReadShellLink(linkPath);
  EXPECT_EQ(read.target, link.target);
  EXPECT_EQ(read.arguments, link.arguments);
  EXPECT_EQ(read.workingDirectory, link.workingDirectory);
  EXPECT_EQ(read.description, link.description);
  EXPECT_EQ(read.iconLocation, link.iconLocation);
  EXPECT_EQ(read.iconIndex, 2);
}

}  // namespace
}  // namespace valise::platform
