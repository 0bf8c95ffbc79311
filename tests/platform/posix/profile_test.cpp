// Profiles on the posix backend: its own INI parser and the files of the prefix.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/posix/profile_parser.h"
#include "test_support.h"

namespace valise::platform {
namespace {

using testing::TempDir;

using Strings = std::vector<std::string>;

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
}  // namespace
}  // namespace valise::platform
