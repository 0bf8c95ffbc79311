// The path module: one rule for separators ("\" and "/"), drive parts, and the checks that
// keep the engine inside what a product owns.
#include <gtest/gtest.h>

#include "util/paths.h"

namespace valise {
namespace {

TEST(Paths, PartsSplitOnEitherSeparatorAndTheDriveColon) {
  EXPECT_EQ(ExtractFileName("C:\\Program Files\\Acme\\APP.EXE"), "APP.EXE");
  EXPECT_EQ(ExtractFileName("docs/GUIDE1.TXT"), "GUIDE1.TXT");
  EXPECT_EQ(ExtractFileName("@../../X.DAT"), "X.DAT");
  EXPECT_EQ(ExtractFileName("C:X.DAT"), "X.DAT");
  EXPECT_EQ(ExtractFileName("NAME"), "NAME");
  EXPECT_EQ(ExtractFileName("C:\\Acme\\"), "");
  EXPECT_EQ(ExtractFilePath("C:\\Acme/sub\\X.DAT"), "C:\\Acme/sub\\");
  EXPECT_EQ(ExtractFilePath("X.DAT"), "");
  EXPECT_EQ(ExtractFileDrive("c:\\x"), "c:");
  EXPECT_EQ(ExtractFileDrive("\\\\server\\share\\x\\y"), "\\\\server\\share");
  EXPECT_EQ(ExtractFileDrive("//server/share"), "//server/share");
  EXPECT_EQ(ExtractFileDrive("\\Tools"), "");
  EXPECT_EQ(ExtractFileExt("C:\\a.b\\NAME"), "");
  EXPECT_EQ(ChangeFileExt("C:\\DATA\\X.ADB", ".AMB"), "C:\\DATA\\X.AMB");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\Acme"), "C:\\Acme\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:/Acme/"), "C:/Acme/");
  EXPECT_EQ(IncludeTrailingBackslash(""), "\\");
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\Acme\\\\/"), "C:\\Acme");
}

TEST(Paths, BareNamesAndAbsoluteDrivePathsStayWhereTheyArePut) {
  EXPECT_TRUE(IsBareName("READ ME.TXT"));
  EXPECT_TRUE(IsBareName("..x"));
  for (const char* name : {"", ".", "..", "a\\b", "a/b", "C:x", "..\\x.txt"}) {
    EXPECT_FALSE(IsBareName(name)) << name;
  }
  EXPECT_TRUE(IsAbsoluteDrivePath("C:\\"));
  EXPECT_TRUE(IsAbsoluteDrivePath("d:/Program Files/Acme"));
  EXPECT_TRUE(IsAbsoluteDrivePath("C:\\Acme\\..x\\"));
  for (const char* path : {"", "\\Tools", "Tools", "C:", "C:Tools", "\\\\server\\share\\x",
                           "C:\\Acme\\..\\Windows", "C:\\Acme\\.", "1:\\x", "C:\\a\\b:c"}) {
    EXPECT_FALSE(IsAbsoluteDrivePath(path)) << path;
  }
}

}  // namespace
}  // namespace valise
