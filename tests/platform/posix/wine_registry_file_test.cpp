// The reader and writer of Wine's registry files.
#include "platform/posix/wine_registry_file.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "test_support.h"

namespace valise::platform::posix {
namespace {

using Path = WineRegistryFile::Path;

// Written the way Wine writes its files; the long value and the escapes are Wine's own output.
const std::string kFile =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\Classes\\\\AppID] 1796746126\n"
    "#time=1dd872e672a7ffa\n"
    "#link\n"
    "\"SymbolicLinkValue\"=hex(6):5c,00,52,00\n"
    "\n"
    "[Software\\\\Vendor] 1796746126\n"
    "#time=1dd872e672a7ffa\n"
    "#class=\"Cls\"\n"
    "@=\"def\"\n"
    "\"b\"=hex:00,ff,10\n"
    "\"d\"=dword:0000000a\n"
    "\"e\"=str(2):\"%PATH%;\\x395\\x3bb\\x3ad\\x3bd\\x3b7\"\n"
    "\"HardwareId\"=hex(7):72,00,6f,00,6f,00,74,00,5c,00,77,00,69,00,6e,00,65,00,62,\\\n"
    "  00,75,00,73,00,00,00,00,00,43,00,3a,00,5c,00,77,00,69,00,6e,00,64,00,6f,00,\\\n"
    "  77,00,73,00,5c,00,69,00,6e,00,66,00\n"
    "\"m\"=str(7):\"a\\0b\\0\"\n"
    "\"q\\\"uote\"=\"back\\\\slash\\ttab\"\n"
    "\n"
    "[Software\\\\Vendor\\\\\\x141ukasz] 1796746149\n"
    "#time=1dd872e75254b80\n"
    "\"\\x0141a\"=\"\\x141ukasz\"\n";

std::vector<std::uint8_t> Utf16Data(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

TEST(WineRegistryFile, ReadsEveryFormOfValue) {
  const auto file = WineRegistryFile::Parse(kFile, "system.reg");
  const Path vendor{u"Software", u"Vendor"};
  EXPECT_EQ(file.GetValue(vendor, u""), (WineRegData{1, Utf16Data(u"def")}));
  EXPECT_EQ(file.GetValue(vendor, u"b"), (WineRegData{3, {0x00, 0xff, 0x10}}));
  EXPECT_EQ(file.GetValue(vendor, u"d"), (WineRegData{4, {10, 0, 0, 0}}));
  EXPECT_EQ(file.GetValue(vendor, u"e"), (WineRegData{2, Utf16Data(u"%PATH%;Ελένη")}));
  EXPECT_EQ(file.GetValue(vendor, u"m"), (WineRegData{7, Utf16Data(std::u16string(u"a\0b\0", 4))}));
  EXPECT_EQ(file.GetValue(vendor, u"q\"uote"), (WineRegData{1, Utf16Data(u"back\\slash\ttab")}));
  const auto hardware = file.GetValue(vendor, u"HardwareId");
  ASSERT_TRUE(hardware);
  EXPECT_EQ(hardware->type, 7u);
  EXPECT_EQ(hardware->data.size(), 56u);
  EXPECT_EQ(file.GetValue({u"Software", u"Vendor", u"Łukasz"}, u"Ła"),
            (WineRegData{1, Utf16Data(u"Łukasz")}));
  EXPECT_EQ(file.ValueNames(vendor),
            (std::vector<std::u16string>{u"", u"b", u"d", u"e", u"HardwareId", u"m", u"q\"uote"}));
}

TEST(WineRegistryFile, NamesMatchWithoutRegardToCaseAndKeepTheirCase) {
  const auto file = WineRegistryFile::Parse(kFile, "system.reg");
  EXPECT_TRUE(file.KeyExists({u"SOFTWARE", u"vendor", u"ŁUKASZ"}));
  EXPECT_TRUE(file.KeyExists({u"software", u"classes"}));  // exists through its subkey
  EXPECT_FALSE(file.KeyExists({u"Software", u"Vendo"}));
  EXPECT_TRUE(file.GetValue({u"Software", u"Vendor"}, u"HARDWAREID"));
  EXPECT_TRUE(file.GetValue({u"Software", u"Vendor", u"łukasz"}, u"łA"));
  EXPECT_EQ(file.SubKeyNames({u"software"}), (std::vector<std::u16string>{u"Classes", u"Vendor"}));
  EXPECT_EQ(file.SubKeyNames({u"Software", u"Vendor"}), (std::vector<std::u16string>{u"Łukasz"}));
}

TEST(WineRegistryFile, ReadingAndWritingKeepsTheBytes) {
  EXPECT_EQ(WineRegistryFile::Parse(kFile, "a.reg").Serialize(), kFile);
  std::string crlf;
  for (char c : kFile) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(WineRegistryFile::Parse(crlf, "a.reg").Serialize(), crlf);
  const std::string unfinished = kFile.substr(0, kFile.size() - 1) + "\n;tail";
  EXPECT_EQ(WineRegistryFile::Parse(unfinished, "a.reg").Serialize(), unfinished);
  // A value that is set again to what it holds is written the way Wine writes it.
  auto file = WineRegistryFile::Parse(kFile, "a.reg");
  file.SetClock(0x1dd872e672a7ffaull);
  const Path vendor{u"Software", u"Vendor"};
  for (const auto& name : file.ValueNames(vendor)) {
    file.SetValue(vendor, name, *file.GetValue(vendor, name));
  }
  EXPECT_EQ(file.Serialize(), kFile);
}

TEST(WineRegistryFile, ChangesRewriteOnlyTheirKey) {
  auto file = WineRegistryFile::Parse(kFile, "a.reg");
  file.SetClock(0x1dd872e75254b80ull + 10000000ull * 60);
  const Path lukasz{u"Software", u"Vendor", u"Łukasz"};
  file.SetValue(lukasz, u"Ελένη", WineRegData{1, Utf16Data(u"x\"y")});
  file.SetValue(lukasz, u"Count", WineRegData{4, {1, 2, 3, 4}});
  file.SetValue(lukasz, u"ła", WineRegData{2, Utf16Data(u"%TEMP%")});  // replaces "Ła"
  const std::string expected = kFile.substr(0, kFile.find("[Software\\\\Vendor\\\\")) +
                               "[Software\\\\Vendor\\\\\\x141ukasz] 1796746209\n"
                               "#time=1dd872e98e89180\n"
                               "\"Count\"=dword:04030201\n"
                               "\"\\x0141a\"=str(2):\"%TEMP%\"\n"
                               "\"\\x395\\x3bb\\x3ad\\x3bd\\x3b7\"=\"x\\\"y\"\n";
  EXPECT_EQ(file.Serialize(), expected);
  EXPECT_EQ(file.ValueNames(lukasz), (std::vector<std::u16string>{u"Count", u"Ła", u"Ελένη"}));
}

TEST(WineRegistryFile, ManyChangesAtOnce) {
  auto file = WineRegistryFile::Parse(kFile, "a.reg");
  const Path vendor{u"Software", u"Vendor"};
  const WineRegData one{4, {1, 0, 0, 0}};
  EXPECT_TRUE(file.ChangeValues(vendor, {{u"zz", one},
                                         {u"B", std::nullopt},  // deleted
                                         {u"c", one},
                                         {u"gone", one},
                                         {u"GONE", std::nullopt},  // added and deleted again
                                         {u"m", std::nullopt},
                                         {u"M", one},  // deleted and added again
                                         {u"", one}}));
  EXPECT_EQ(
      file.ValueNames(vendor),
      (std::vector<std::u16string>{u"", u"c", u"d", u"e", u"HardwareId", u"M", u"q\"uote", u"zz"}));
  EXPECT_EQ(file.GetValue(vendor, u"m"), one);
  // Setting values to what they hold changes nothing, and the file keeps its bytes.
  auto same = WineRegistryFile::Parse(kFile, "a.reg");
  EXPECT_FALSE(same.ChangeValues(vendor, {{u"D", WineRegData{4, {10, 0, 0, 0}}}}));
  EXPECT_EQ(same.Serialize(), kFile);
  // The values of a key without values come after its options.
  EXPECT_TRUE(same.ChangeValues({u"Software", u"Classes", u"AppID"}, {{u"a", one}}));
  EXPECT_TRUE(same.ChangeValues({u"Software", u"Classes"}, {{u"b", one}}));
  const auto again = WineRegistryFile::Parse(same.Serialize(), "a.reg");
  EXPECT_EQ(again.ValueNames({u"Software", u"Classes", u"AppID"}),
            (std::vector<std::u16string>{u"a", u"SymbolicLinkValue"}));
  EXPECT_EQ(again.GetValue({u"Software", u"Classes"}, u"b"), one);
}

TEST(WineRegistryFile, NewKeysTakeTheirPlaceInWinesOrder) {
  auto file = WineRegistryFile::Parse(kFile, "a.reg");
  file.SetClock(0x1dd872e672a7ffaull);
  EXPECT_TRUE(file.CreateKey({u"Software", u"Apple", u"Tree"}));
  EXPECT_FALSE(file.CreateKey({u"software", u"APPLE"}));
  file.SetValue({u"Software", u"Zebra"}, u"n", WineRegData{3, {}});
  EXPECT_EQ(file.SubKeyNames({u"Software"}),
            (std::vector<std::u16string>{u"Apple", u"Classes", u"Vendor", u"Zebra"}));
  const std::string text = file.Serialize();
  const auto apple =
      text.find("\n\n[Software\\\\Apple\\\\Tree] 1796746126\n#time=1dd872e672a7ffa\n\n");
  ASSERT_NE(apple, std::string::npos) << text;
  EXPECT_LT(apple, text.find("[Software\\\\Classes"));
  EXPECT_TRUE(
      text.ends_with("\n\n[Software\\\\Zebra] 1796746126\n#time=1dd872e672a7ffa\n\"n\"=hex:\n"))
      << text;
  const auto again = WineRegistryFile::Parse(text, "a.reg");
  EXPECT_TRUE(again.KeyExists({u"Software", u"Apple", u"Tree"}));
  EXPECT_EQ(again.GetValue({u"Software", u"Zebra"}, u"n"), (WineRegData{3, {}}));
}

TEST(WineRegistryFile, DeletingKeysAndValues) {
  auto file = WineRegistryFile::Parse(kFile, "a.reg");
  EXPECT_TRUE(file.DeleteValue({u"Software", u"Vendor"}, u"D"));
  EXPECT_FALSE(file.DeleteValue({u"Software", u"Vendor"}, u"d"));
  EXPECT_FALSE(file.DeleteValue({u"Software", u"Nothing"}, u"d"));
  EXPECT_TRUE(file.DeleteKey({u"software", u"vendor"}));
  EXPECT_FALSE(file.DeleteKey({u"Software", u"Vendor"}));
  EXPECT_FALSE(file.DeleteKey({}));
  // Software\Classes existed only through AppID; it stays, now with a block of its own.
  EXPECT_TRUE(file.DeleteKey({u"Software", u"Classes", u"AppID"}));
  const auto again = WineRegistryFile::Parse(file.Serialize(), "a.reg");
  EXPECT_FALSE(again.KeyExists({u"Software", u"Vendor"}));
  EXPECT_FALSE(again.KeyExists({u"Software", u"Vendor", u"Łukasz"}));
  EXPECT_FALSE(again.KeyExists({u"Software", u"Classes", u"AppID"}));
  EXPECT_TRUE(again.KeyExists({u"Software", u"Classes"}));
  EXPECT_TRUE(file.CreateKey({u"Software", u"Vendor"}));  // a deleted key can come back
}

TEST(WineRegistryFile, EmptyFileAndEscapedText) {
  auto file = WineRegistryFile::Empty("REGISTRY\\User\\S-1-5-21-0-0-0-1000");
  EXPECT_EQ(file.Serialize(),
            "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\"
            "S-1-5-21-0-0-0-1000\n\n#arch=win64\n");
  file.SetValue({u"A"}, u"emo😀",
                WineRegData{1, Utf16Data(u"x\x01"
                                         u"7\x02y")});
  EXPECT_NE(file.Serialize().find("\"emo\\xd83d\\xde00\"=\"x\\0017\\2y\"\n"), std::string::npos);
}

TEST(WineRegistryFile, DamagedFilesAreRefusedWithTheLine) {
  const std::string head = "WINE REGISTRY Version 2\n\n[A] 1\n";
  const struct {
    std::string bytes;
    std::string message;
  } cases[] = {
      {"", "line 0: this is not a Wine registry file"},
      {"REGEDIT4\n", "line 1: this is not a Wine registry file"},
      {"WINE REGISTRY Version 2\n\"a\"=\"b\"\n", "line 2: a value comes before the first key"},
      {head + "[B\n", "line 4: the key name is not closed"},
      {head + "\"a\"=\"b\n", "line 4: the string is not closed"},
      {head + "\"a=\"b\"\n", "line 4: a value name is not followed by \"=\""},
      {head + "\"a\"=hex:00,01,\\\n  02,\\\n",
       "line 5: hex data continues past the end of the file"},
      {head + "\"a\"=hex:00,1x\n", "line 4: hex data holds something other than bytes"},
      {head + "\"a\"=hex:100\n", "line 4: a byte of hex data is out of range"},
      {head + "\"a\"=hex(zz):00\n", "line 4: a value type is malformed"},
      {head + "\"a\"=dword:\n", "line 4: a dword has no hex digits"},
      {head + "\"a\"=dword:123456789\n", "line 4: a dword has more than eight hex digits"},
      {head + "\"a\"=qword:1\n", "line 4: a value has an unknown type"},
      {head + "junk\n", "line 4: the line is neither a key nor a value"},
  };
  for (const auto& c : cases) {
    EXPECT_THROW_MSG(WineRegistryFile::Parse(c.bytes, "/p/user.reg"), Error,
                     "The registry file /p/user.reg is damaged at " + c.message);
  }
}

}  // namespace
}  // namespace valise::platform::posix
