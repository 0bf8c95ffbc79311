#include <gtest/gtest.h>

#include "platform/bytes.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/shell_link_format.h"
#include "test_support.h"

namespace valise::platform {
namespace {

using valise::testing::TempDir;

void ExpectSameLink(const ShellLinkData& expected, const ShellLinkData& actual) {
  EXPECT_EQ(expected.target, actual.target);
  EXPECT_EQ(expected.arguments, actual.arguments);
  EXPECT_EQ(expected.workingDirectory, actual.workingDirectory);
  EXPECT_EQ(expected.description, actual.description);
  EXPECT_EQ(expected.iconLocation, actual.iconLocation);
  EXPECT_EQ(expected.iconIndex, actual.iconIndex);
  EXPECT_EQ(expected.hotKey, actual.hotKey);
  EXPECT_EQ(expected.showCommand, actual.showCommand);
}

ShellLinkData FullLink(const std::string& target) {
  ShellLinkData link;
  link.target = target;
  link.arguments = "-a \"b c\" \xC3\xA4";
  link.workingDirectory = "C:\\Programme";
  link.description = "Beschreibung \xF0\x9F\x98\x80";  // beyond the 16-bit range
  link.iconLocation = target;
  link.iconIndex = -3;
  link.hotKey = 0x0641;  // Ctrl+Alt+A
  link.showCommand = 7;
  return link;
}

std::uint32_t U32(const std::string& bytes, std::size_t offset) {
  return LoadU32(bytes.data() + offset);
}

std::uint16_t U16(const std::string& bytes, std::size_t offset) {
  return LoadU16(bytes.data() + offset);
}

void Put32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  StoreU32(bytes.data() + offset, value);
}

std::string Le32(std::uint32_t value) {
  std::string bytes;
  AppendU32(bytes, value);
  return bytes;
}
std::string Le16(std::uint16_t value) {
  std::string bytes;
  AppendU16(bytes, value);
  return bytes;
}

std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  }
  return bytes;
}

// A bare header with the given link flags, to be followed by hand-made parts.
std::string Header(std::uint32_t flags) {
  std::string bytes = EncodeShellLink({}).substr(0, 0x4C);
  Put32(bytes, 0x14, flags);
  return bytes;
}

// Offsets of the parts of an encoded link: item list, link info, string data, extra data.
struct Parts {
  std::size_t idList, linkInfo, strings, extra;
};
Parts PartsOf(const std::string& bytes) {
  Parts parts{};
  parts.idList = 0x4C;
  parts.linkInfo = parts.idList + 2 + U16(bytes, parts.idList);
  parts.strings = parts.linkInfo + U32(bytes, parts.linkInfo);
  parts.extra = bytes.size() - 4;
  return parts;
}

// What the shell itself saved for C:\Apps\Tööls\run.exe: note the null that ends each text.
constexpr std::string_view kShellSavedLink =
    "4c0000000114020000000000c000000000000046f70000000000000000000000000000000000000000000000"
    "0000000000000000000000000300000001000000410600000000000000000000d50014001f00e04fd020ea3a"
    "6910a2d808002b30309d190023433a5c00000000000000000000000000000000000000340031000000000088"
    "5d298110004170707300002000000000000000885d2981885d29810000000041007000700073000000140036"
    "00310000000000885d2981100054f6f66c73002200000000000000885d2981885d2981000000005400f600f6"
    "006c007300000014003c0032000000000000000000000072756e2e6578650026000000000000000000000000"
    "00000000000000720075006e002e00650078006500000016000000440000001c000000010000001c0000002d"
    "00000000000000430000001100000003000000000000431000000000433a5c417070735c54f6f66c735c7275"
    "6e2e657865000006004400e9007300630072000000080043003a005c004100700070007300000009002d0061"
    "002000220062002000630022000000160043003a005c0041007000700073005c005400f600f6006c0073005c"
    "00720075006e002e00650078006500000000000000";

TEST(ShellLinkFormat, RoundTripKeepsEveryFieldAndCharacter) {
  for (const std::string target :
       {"C:\\Programme\\T\xC3\xB6\xC3\xB6ls\\run.exe", "C:\\\xE6\x97\xA5\xE6\x9C\xAC\\x.exe",
        "D:\\", "\\\\server\\share\\a.exe", ""}) {
    SCOPED_TRACE(target);
    const ShellLinkData link = FullLink(target);
    ExpectSameLink(link, DecodeShellLink(EncodeShellLink(link)));
  }
  ShellLinkData bare;
  bare.target = "C:\\Apps\\";
  bare.showCommand = 3;
  ExpectSameLink(bare, DecodeShellLink(EncodeShellLink(bare, {kAttrDirectory})));
}

TEST(ShellLinkFormat, WritesTheDocumentedLayout) {
  ShellLinkData link;
  link.target = "C:\\Apps\\T\xC3\xB6\xC3\xB6ls\\run.exe";
  link.description = "d";
  const std::string bytes = EncodeShellLink(link, {kAttrArchive, 1234});
  EXPECT_EQ(U32(bytes, 0), 0x4Cu);
  EXPECT_EQ(bytes.substr(4, 16), FromHex("0114020000000000c000000000000046"));
  EXPECT_EQ(U32(bytes, 0x14), 0x87u);  // item list, link info, name, Unicode
  EXPECT_EQ(U32(bytes, 0x18), std::uint32_t{kAttrArchive});
  EXPECT_EQ(U32(bytes, 0x34), 1234u);

  // Computer, drive, then one folder or file item per component with its ANSI name.
  const Parts parts = PartsOf(bytes);
  std::size_t at = parts.idList + 2;
  EXPECT_EQ(bytes.substr(at, 20), FromHex("14001f50e04fd020ea3a6910a2d808002b30309d"));
  at += 20;
  EXPECT_EQ(bytes.substr(at, 6), FromHex("19002f433a5c"));
  at += 25;
  for (const auto& [type, name] : {std::pair{0x31, std::string("Apps")},
                                   {0x31, std::string("T\xF6\xF6ls")},
                                   {0x32, std::string("run.exe")}}) {
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[at + 2]), type);
    EXPECT_EQ(bytes.substr(at + 14, name.size() + 1), name + '\0');
    at += U16(bytes, at);
  }
  EXPECT_EQ(U16(bytes, at), 0);
  EXPECT_EQ(at + 2, parts.linkInfo);

  const std::size_t localPath = parts.linkInfo + U32(bytes, parts.linkInfo + 16);
  EXPECT_EQ(U32(bytes, parts.linkInfo + 8), 1u);  // volume and local base path
  EXPECT_EQ(bytes.substr(localPath, 23), std::string("C:\\Apps\\T\xF6\xF6ls\\run.exe\0", 23));
  EXPECT_EQ(bytes.substr(parts.strings), std::string("\x01\x00"
                                                     "d\x00"
                                                     "\x00\x00\x00\x00",
                                                     8));
}

TEST(ShellLinkFormat, ReadsALinkSavedByTheShell) {
  ShellLinkData expected;
  expected.target = "C:\\Apps\\T\xC3\xB6\xC3\xB6ls\\run.exe";
  expected.arguments = "-a \"b c\"";
  expected.workingDirectory = "C:\\Apps";
  expected.description = "D\xC3\xA9scr";
  expected.iconLocation = expected.target;
  expected.iconIndex = 3;
  expected.hotKey = 1601;
  ExpectSameLink(expected, DecodeShellLink(FromHex(kShellSavedLink)));
}

TEST(ShellLinkFormat, TargetComesFromLinkInfoThenItemListThenRelativePath) {
  // Without link info the item list names the target.
  const std::string target = "C:\\Apps\\\xE6\x97\xA5\xE6\x9C\xAC.exe";
  const std::string full = EncodeShellLink(FullLink(target));
  const Parts parts = PartsOf(full);
  std::string noInfo = full.substr(0, parts.linkInfo) + full.substr(parts.strings);
  Put32(noInfo, 0x14, U32(full, 0x14) & ~2u);
  EXPECT_EQ(DecodeShellLink(noInfo).target, target);

  // An ANSI-only local path that lost characters yields to the item list naming the same path;
  // one naming another path does not.
  for (const auto& [ansiPath, expected] :
       {std::pair{std::string("C:\\Apps\\??.exe"), target},
        std::pair{std::string("C:\\Other\\x.exe"), std::string("C:\\Other\\x.exe")}}) {
    const std::string info = Le32(static_cast<std::uint32_t>(0x1C + ansiPath.size() + 2)) +
                             Le32(0x1C) + Le32(1) + Le32(0) + Le32(0x1C) + Le32(0) +
                             Le32(static_cast<std::uint32_t>(0x1C + ansiPath.size() + 1)) +
                             ansiPath + '\0' + '\0';
    const std::string ansiInfo = full.substr(0, parts.linkInfo) + info + full.substr(parts.strings);
    EXPECT_EQ(DecodeShellLink(ansiInfo).target, expected);
  }

  // With neither, the relative path does.
  const std::string relative =
      Header(0x80 | 0x08) + Le16(5) + std::string("a\0.\0e\0x\0e\0", 10) + Le32(0);
  EXPECT_EQ(DecodeShellLink(relative).target, "a.exe");
}

TEST(ShellLinkFormat, ReadsAnsiTextsAndNetworkPaths) {
  const std::string network = Le32(0x14 + 15) + Le32(0) + Le32(0x14) + Le32(0) + Le32(0x20000) +
                              std::string("\\\\server\\share\0", 15);
  const std::string suffix("dir\\a.exe\0", 10);
  const auto networkAt = 0x1C;
  const auto suffixAt = static_cast<std::uint32_t>(networkAt + network.size());
  const std::string info = Le32(static_cast<std::uint32_t>(suffixAt + suffix.size())) + Le32(0x1C) +
                           Le32(2) + Le32(0) + Le32(0) + Le32(networkAt) + Le32(suffixAt) +
                           network + suffix;
  const std::string bytes = Header(0x02 | 0x04 | 0x20) + info + Le16(5) + "D\xE9scr" + Le16(3) +
                            std::string("-x\0", 3) + Le32(0);
  const ShellLinkData link = DecodeShellLink(bytes);
  EXPECT_EQ(link.target, "\\\\server\\share\\dir\\a.exe");
  EXPECT_EQ(link.description, "D\xC3\xA9scr");
  EXPECT_EQ(link.arguments, "-x");
}

TEST(ShellLinkFormat, EveryTruncationIsReported) {
  const std::string full = EncodeShellLink(FullLink("C:\\Apps\\run.exe"));
  const Parts parts = PartsOf(full);
  for (std::size_t size = 0; size < full.size(); ++size) {
    SCOPED_TRACE(size);
    if (size == parts.extra) {
      EXPECT_NO_THROW(DecodeShellLink(full.substr(0, size)));  // no terminal block at all
      continue;
    }
    const char* part = size < parts.idList     ? "header"
                       : size < parts.linkInfo ? "item list"
                       : size < parts.strings  ? "link info"
                       : size < parts.extra    ? "string data"
                                               : "extra data";
    EXPECT_THROW_MSG(DecodeShellLink(full.substr(0, size)), Error,
                     std::string("Invalid shell link: truncated ") + part);
  }
}

TEST(ShellLinkFormat, CorruptionIsReported) {
  const std::string full = EncodeShellLink(FullLink("C:\\Apps\\run.exe"));
  const Parts parts = PartsOf(full);
  auto damaged = [&](std::size_t offset, std::uint32_t value, std::size_t width = 4) {
    std::string bytes = full;
    if (width == 2) {
      StoreU16(bytes.data() + offset, static_cast<std::uint16_t>(value));
    } else {
      StoreU32(bytes.data() + offset, value);
    }
    return bytes;
  };
  EXPECT_THROW_MSG(DecodeShellLink(damaged(0, 0x4D)), Error,
                   "Invalid shell link: not a shell link");
  EXPECT_THROW_MSG(DecodeShellLink(damaged(12, 0)), Error, "Invalid shell link: not a shell link");
  EXPECT_THROW_MSG(DecodeShellLink(damaged(parts.idList + 2, 1, 2)), Error,
                   "Invalid shell link: corrupt item list");
  EXPECT_THROW_MSG(DecodeShellLink(damaged(parts.idList, U16(full, parts.idList) - 2, 2)), Error,
                   "Invalid shell link: corrupt item list");
  EXPECT_THROW_MSG(DecodeShellLink(damaged(parts.linkInfo, 8)), Error,
                   "Invalid shell link: corrupt link info");
  EXPECT_THROW_MSG(DecodeShellLink(damaged(parts.linkInfo + 4, 0x1000)), Error,
                   "Invalid shell link: corrupt link info");
  EXPECT_THROW_MSG(DecodeShellLink(damaged(parts.linkInfo + 28, 0x7FFFFFFF)), Error,
                   "Invalid shell link: corrupt link info");
  EXPECT_THROW_MSG(DecodeShellLink(full.substr(0, parts.extra) + Le32(6) + Le32(0)), Error,
                   "Invalid shell link: corrupt extra data");
  EXPECT_NO_THROW(
      DecodeShellLink(full.substr(0, parts.extra) + Le32(8) + Le32(0xA0000003) + Le32(0)));

  // Damage anywhere gives a link or an error, nothing else.
  std::uint32_t seed = 12345;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = full;
    for (int flips = 0; flips < 3; ++flips) {
      seed = seed * 1103515245 + 12345;
      bytes[(seed >> 8) % bytes.size()] = static_cast<char>(seed >> 24);
    }
    try {
      DecodeShellLink(bytes);
    } catch (const Error&) {
    }
  }
}

TEST(ShellLinkFormat, RefusesTextTooLongForTheFormat) {
  ShellLinkData link;
  link.arguments.assign(70000, 'x');
  EXPECT_THROW_MSG(EncodeShellLink(link), Error, "Shell link text too long");
}

// The link object of each backend.

TEST(ShellLink, WriteThenReadKeepsTheFields) {
  TempDir dir;
  dir.Write("T\xC3\xB6\xC3\xB6ls/run.exe", "program");
  ShellLinkData link = FullLink(dir.win("T\xC3\xB6\xC3\xB6ls\\run.exe"));
  // Wine's link object reports SW_SHOWNORMAL for every link it loads; the format tests and the
  // posix test below cover other show commands.
  link.showCommand = 1;
  const std::string path = dir.win("Start \xC3\xA4.lnk");
  ASSERT_NO_THROW(WriteShellLink(link, path));
  ExpectSameLink(link, ReadShellLink(path));

  // Saving again replaces the file.
  ShellLinkData second = link;
  second.arguments = "/second";
  second.hotKey = 0;
  ASSERT_NO_THROW(WriteShellLink(second, path));
  ExpectSameLink(second, ReadShellLink(path));
}

TEST(ShellLink, FailuresAreReported) {
  TempDir dir;
  ShellLinkData link;
  link.target = dir.win("run.exe");
  // A failed write says which link and why, with the system's text.
  try {
    WriteShellLink(link, dir.win("missing\\x.lnk"));
    ADD_FAILURE() << "no error for a link in a missing folder";
  } catch (const OSError& error) {
    EXPECT_EQ(error.code(), kErrorPathNotFound);
    EXPECT_EQ(std::string(error.what()), "Cannot write the shell link " +
                                             dir.win("missing\\x.lnk") +
                                             ": The system cannot find the path specified.");
  }
  EXPECT_FALSE(GetFileAttributes(dir.win("missing")).has_value());
  EXPECT_THROW(ReadShellLink(dir.win("missing.lnk")), Error);
  dir.Write("junk.lnk", "this is no shell link at all, not even close to one");
  EXPECT_THROW(ReadShellLink(dir.win("junk.lnk")), Error);
}

TEST(ShellLink, RelativeTargetIsTakenAgainstTheCurrentDirectory) {
  TempDir dir;
  dir.Write("run.exe", "program");
  const std::string previous = GetCurrentDirectory();
  ASSERT_TRUE(SetCurrentDirectory(dir.win()));
  ShellLinkData link;
  link.target = "run.exe";
  EXPECT_NO_THROW(WriteShellLink(link, dir.win("x.lnk")));
  SetCurrentDirectory(previous);
  EXPECT_EQ(ReadShellLink(dir.win("x.lnk")).target, dir.win("run.exe"));
}

#ifndef _WIN32
TEST(ShellLink, KeepsTargetsBeyondTheAnsiCodePage) {
  TempDir dir;
  ShellLinkData link = FullLink(dir.win("\xE6\x97\xA5\xE6\x9C\xAC\\\xCE\xA9.exe"));
  const std::string path = dir.win("x.lnk");
  ASSERT_NO_THROW(WriteShellLink(link, path));
  ExpectSameLink(link, ReadShellLink(path));
}

TEST(ShellLink, AFieldBeyondTheFormatsLimitFailsTheWriteByName) {
  TempDir dir;
  ShellLinkData link;
  link.target = dir.win("run.exe");
  link.description = std::string(0x10000, 'd');
  EXPECT_THROW_MSG(
      WriteShellLink(link, dir.win("x.lnk")), Error,
      "Cannot write the shell link " + dir.win("x.lnk") + ": Shell link text too long");
  EXPECT_FALSE(GetFileAttributes(dir.win("x.lnk")).has_value());
}

TEST(ShellLink, ReadsTheMessageOfAMalformedLink) {
  TempDir dir;
  dir.Write("short.lnk", std::string("L\0\0\0", 4));
  EXPECT_THROW_MSG(ReadShellLink(dir.win("short.lnk")), Error,
                   "Invalid shell link: truncated header");
}
#endif

}  // namespace
}  // namespace valise::platform
