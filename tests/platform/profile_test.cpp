// Reading INI files with the private-profile rules. The contract cases run on both backends
// (under Wine the real GetPrivateProfileString answers); the parser's finer points are checked
// on Linux, where the parser is reachable on its own.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/host_paths.h"
#include "test_support.h"

#ifndef _WIN32
#include "platform/posix/profile_parser.h"
#endif

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

#ifndef _WIN32

TEST(Profile, BareNamesLiveInTheWindowsDirectory) {
  const std::string name = "valise-profile-test-" + std::to_string(::getpid()) + ".ini";
  const std::filesystem::path host = ToHostPath("C:\\windows\\" + name);
  {
    std::FILE* out = std::fopen(host.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fputs("[S]\nK=windir\n", out);
    std::fclose(out);
  }
  EXPECT_EQ(ReadProfileString(name, "S", "K", ""), "windir");
  std::filesystem::remove(host);
}

namespace posix_parser {

using posix::ParseProfile;
using posix::ProfileKeys;
using posix::ProfileString;

std::string Read(std::string_view bytes, std::string_view section, std::string_view key,
                 std::string_view fallback = "<default>") {
  const posix::Profile profile = ParseProfile(bytes);
  return ProfileString(&profile, true, section, key, fallback);
}

TEST(ProfileParser, ByteOrderMarksChooseTheEncoding) {
  EXPECT_EQ(Read("\xef\xbb\xbf[S]\nK=\xc5\x81ukasz\n", "S", "K"), "\xc5\x81ukasz");
  const std::string le("\xff\xfe[\0S\0]\0\n\0K\0=\0\x9b\x03\n\0", 18);
  EXPECT_EQ(Read(le, "s", "k"), "\xce\x9b");
  const std::string be("\xfe\xff\0[\0S\0]\0\n\0K\0=\0x", 16);
  EXPECT_EQ(Read(be, "S", "K"), "x");
}

TEST(ProfileParser, LinesHeadersAndWhiteSpace) {
  // Carriage returns end lines as line feeds do; tabs and ^Z are white space.
  EXPECT_EQ(Read("[S]\rK=v\rL=a\rb\n", "S", "K"), "v");
  EXPECT_EQ(Read("[S]\rK=v\rL=a\rb\n", "S", "L"), "a");
  EXPECT_EQ(Read("\t[S]\x1a\n\tK\t=\tv\t\r\r\n", "S", "K"), "v");
  // The header name runs to the last "]" and is trimmed; a line with "[" but no "]" is a key.
  EXPECT_EQ(Read("[A]B] trailing\nK=v\n", "A]B", "K"), "v");
  EXPECT_EQ(Read("[ Spaced ]\nK=v\n", "spaced", "K"), "v");
  EXPECT_EQ(ProfileKeys(ParseProfile("[ Spaced ]\nK=v\n"), " Spaced "), std::vector<std::string>{});
  EXPECT_EQ(Read("[S]\n[broken=1\n", "S", "[broken"), "1");
  // Keys before any header are read with the empty section name; "[]" adds nothing to that.
  EXPECT_EQ(Read("K=v\n[]\nL=w\n", "", "K"), "v");
  EXPECT_EQ(Read("K=v\n[]\nL=w\n", "", "L"), "<default>");
  EXPECT_EQ(ProfileKeys(ParseProfile("K=v\n"), ""), std::vector<std::string>{});
  // A value keeps its inner "=" signs; a null character ends a value.
  EXPECT_EQ(Read("[S]\nK=a=b\n", "S", "K"), "a=b");
  EXPECT_EQ(Read(std::string("[S]\nK=ab\0cd\n", 12), "S", "K"), "ab");
  // Names fold ASCII letters only.
  EXPECT_EQ(Read("[\xc4rger]\nK=v\n", "\xc3\x84RGER", "k"), "v");
  EXPECT_EQ(Read("[\xc4rger]\nK=v\n", "\xc3\xa4rger", "K"), "<default>");
}

TEST(ProfileParser, DefaultsAndQuotes) {
  const posix::Profile profile = ParseProfile("[S]\nK=v\n");
  // The default loses trailing spaces and, when the file could be opened, its quotes.
  EXPECT_EQ(ProfileString(&profile, true, "S", "X", "dflt   "), "dflt");
  EXPECT_EQ(ProfileString(&profile, true, "S", "X", "\"q\""), "q");
  EXPECT_EQ(ProfileString(nullptr, true, "S", "X", "\"q\""), "q");
  EXPECT_EQ(ProfileString(nullptr, false, "S", "X", "\"q\""), "\"q\"");
  EXPECT_EQ(ProfileString(&profile, true, "S", "", "dflt"), "dflt");
  // A value that exactly fills the buffer with its closing quote loses its last character.
  const std::string full = "[S]\nK=\"" + std::string(2047, 'x') + "\"\n";
  EXPECT_EQ(Read(full, "S", "K"), std::string(2046, 'x'));
  const std::string shorter = "[S]\nK=\"" + std::string(2046, 'x') + "\"\n";
  EXPECT_EQ(Read(shorter, "S", "K"), std::string(2046, 'x'));
}

TEST(ProfileParser, BareLinesShadowLaterKeys) {
  // The first line of a name decides, even one without "=".
  EXPECT_EQ(Read("[S]\nK\nK=v\n", "S", "K"), "<default>");
  // A nameless key ends the key list; a second nameless line right after it is dropped.
  const posix::Profile profile = ParseProfile("[S]\nA=1\n=a\n=b\nK=v\n");
  EXPECT_EQ(ProfileKeys(profile, "S"), (std::vector<std::string>{"A"}));
  EXPECT_EQ(ProfileString(&profile, true, "S", " ", "d"), "a");
}

TEST(ProfileParser, ManyKeysStayFast) {
  std::string text = "[Big]\n";
  for (int i = 0; i < 20000; ++i)
    text += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  const posix::Profile profile = ParseProfile(text);
  EXPECT_EQ(ProfileKeys(profile, "big").size(), 20000u);
  EXPECT_EQ(ProfileString(&profile, true, "Big", "key19999", ""), "19999");
}

}  // namespace posix_parser

#endif

}  // namespace
}  // namespace valise::platform
