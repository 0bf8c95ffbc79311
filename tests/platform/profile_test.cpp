// Reading INI files with the private-profile rules. The contract cases run on both backends
// (under Wine the real GetPrivateProfileString answers); the parser's finer points are checked
// on Linux, where the parser is reachable on its own.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/host_paths.h"
#include "test_support.h"

namespace valise::platform {
namespace {

using testing::TempDir;

using Strings = std::vector<std::string>;

TEST(Profile, NamesIgnoreCaseAndValuesAreTrimmed) {
  TempDir dir;
  dir.Write("a.ini",
            "[Globals]\r\n"
            "  Title  =   My Product   \r\n"
            "Empty=\r\n"
            "Path = C:\\Program Files\\x\r\n"
            "[Other]\n"
            "Title=second\n");
  const std::string file = dir.win("a.ini");
  EXPECT_EQ(ReadProfileString(file, "globals", "TITLE", "d"), "My Product");
  EXPECT_EQ(ReadProfileString(file, "GLOBALS", "empty", "d"), "");
  EXPECT_EQ(ReadProfileString(file, "Globals", "Path", ""), "C:\\Program Files\\x");
  EXPECT_EQ(ReadProfileString(file, "Other", "Title", ""), "second");
  EXPECT_EQ(ReadProfileString(file, "Globals", "Missing", "fallback"), "fallback");
  EXPECT_EQ(ReadProfileString(file, "Nowhere", "Title", "fallback"), "fallback");
  // The caller's names are trimmed too.
  EXPECT_EQ(ReadProfileString(file, " Globals ", " Title ", ""), "My Product");
}

TEST(Profile, OnePairOfQuotesIsRemoved) {
  TempDir dir;
  dir.Write("q.ini",
            "[S]\n"
            "double=\"quoted value\"\n"
            "single='single'\n"
            "twice=\"\"inner\"\"\n"
            "open=\"unbalanced\n"
            "mixed=\"mixed'\n"
            "inside=a \"b\" c\n"
            "lone=\"\n"
            "pair=\"\"\n");
  const std::string file = dir.win("q.ini");
  EXPECT_EQ(ReadProfileString(file, "S", "double", ""), "quoted value");
  EXPECT_EQ(ReadProfileString(file, "S", "single", ""), "single");
  EXPECT_EQ(ReadProfileString(file, "S", "twice", ""), "\"inner\"");
  EXPECT_EQ(ReadProfileString(file, "S", "open", ""), "\"unbalanced");
  EXPECT_EQ(ReadProfileString(file, "S", "mixed", ""), "\"mixed'");
  EXPECT_EQ(ReadProfileString(file, "S", "inside", ""), "a \"b\" c");
  EXPECT_EQ(ReadProfileString(file, "S", "lone", ""), "\"");
  EXPECT_EQ(ReadProfileString(file, "S", "pair", "x"), "");
}

TEST(Profile, FirstDuplicateWinsAndOnlyTheFirstSectionIsRead) {
  TempDir dir;
  dir.Write("d.ini",
            "[App]\n"
            "Key=first\n"
            "KEY=second\n"
            "[Extra]\n"
            "x=1\n"
            "[app]\n"
            "Key=third\n"
            "Later=later\n");
  const std::string file = dir.win("d.ini");
  EXPECT_EQ(ReadProfileString(file, "App", "key", ""), "first");
  EXPECT_EQ(ReadProfileString(file, "App", "Later", "none"), "none");
  EXPECT_EQ(ReadProfileKeys(file, "APP"), (Strings{"Key"}));
}

TEST(Profile, KeysInFileOrderWithoutCommentsOrBareLines) {
  TempDir dir;
  dir.Write("k.ini",
            "; leading comment\n"
            "[Application1]\n"
            "Name=One\n"
            "; a comment=with equals\n"
            "bare line\n"
            "FileSpec1=\n"
            "name=dup\n"
            "DeleteFile1=x\n"
            "[Empty]\n"
            "[Application2]\n"
            "Name=Two\n");
  const std::string file = dir.win("k.ini");
  EXPECT_EQ(ReadProfileKeys(file, "application1"), (Strings{"Name", "FileSpec1", "DeleteFile1"}));
  EXPECT_EQ(ReadProfileKeys(file, "Empty"), Strings{});
  EXPECT_EQ(ReadProfileKeys(file, "Missing"), Strings{});
  EXPECT_EQ(ReadProfileString(file, "Application1", "bare line", "default"), "default");
  EXPECT_EQ(ReadProfileSections(file), (Strings{"Application1", "Application2"}));
}

TEST(Profile, MissingFilesReadEmpty) {
  TempDir dir;
  EXPECT_EQ(ReadProfileString(dir.win("none.ini"), "S", "K", "default"), "default");
  EXPECT_EQ(ReadProfileString(dir.win("no\\folder.ini"), "S", "K", "default"), "default");
  EXPECT_EQ(ReadProfileKeys(dir.win("none.ini"), "S"), Strings{});
  EXPECT_EQ(ReadProfileSections(dir.win("none.ini")), Strings{});
}

TEST(Profile, LongValuesAreCut) {
  TempDir dir;
  const std::string longValue(3000, 'v');
  dir.Write("l.ini", "[S]\nlong=" + longValue + "\nfits=" + std::string(2047, 'f') + "\n");
  const std::string file = dir.win("l.ini");
  EXPECT_EQ(ReadProfileString(file, "S", "long", ""), std::string(kProfileValueMax, 'v'));
  EXPECT_EQ(ReadProfileString(file, "S", "fits", ""), std::string(2047, 'f'));
}

TEST(Profile, AnsiBytesBecomeUtf8) {
  TempDir dir;
  dir.Write("ansi.ini", "[Texte]\nCaf\xe9=cr\xe8me \x80 5\n");
  EXPECT_EQ(ReadProfileString(dir.win("ansi.ini"), "texte", "caf\xc3\xa9", ""),
            "cr\xc3\xa8me \xe2\x82\xac 5");
  EXPECT_EQ(ReadProfileKeys(dir.win("ansi.ini"), "Texte"), (Strings{"Caf\xc3\xa9"}));
}

TEST(Profile, RelativePathsUseTheCurrentDirectory) {
  TempDir dir;
  dir.Write("sub/rel.ini", "[S]\nK=relative\n");
  const std::string previous = GetCurrentDirectory();
  ASSERT_TRUE(SetCurrentDirectory(dir.win()));
  EXPECT_EQ(ReadProfileString("sub\\rel.ini", "S", "K", ""), "relative");
  EXPECT_EQ(ReadProfileString(".\\sub\\rel.ini", "S", "K", ""), "relative");
  ASSERT_TRUE(SetCurrentDirectory(previous));
}

TEST(Profile, ChangedFilesAreReadAgain) {
  TempDir dir;
  dir.Write("c.ini", "[S]\nK=one\n");
  const std::string file = dir.win("c.ini");
  EXPECT_EQ(ReadProfileString(file, "S", "K", ""), "one");
  dir.Write("c.ini", "[S]\nK=second value\n");
  EXPECT_EQ(ReadProfileString(file, "S", "K", ""), "second value");
}

}  // namespace
}  // namespace valise::platform
