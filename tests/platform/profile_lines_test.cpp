// INI files whose lines the two backends once read differently: names without a key, line
// breaks of a lone carriage return, blanks inside section brackets, names beyond ASCII and
// files in folders deeper than the profile functions reach by themselves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/profile.h"
#include "test_support.h"

namespace valise::platform {
namespace {

using testing::TempDir;
using Strings = std::vector<std::string>;

TEST(ProfileLines, KeyWithoutNameHidesNoOtherKey) {
  TempDir dir;
  dir.Write("e.ini", "[E]\n=nameless\nfirst=1\n==x\nsecond=2\nno value line\n[Only]\n=x\n");
  const std::string file = dir.win("e.ini");
  EXPECT_EQ(ReadProfileKeys(file, "E"), (Strings{"first", "second"}));
  EXPECT_EQ(ReadProfileString(file, "E", "second", "d"), "2");
  // A section whose only entry has no name holds no key.
  EXPECT_EQ(ReadProfileSections(file), (Strings{"E"}));
}

TEST(ProfileLines, CarriageReturnAloneEndsALine) {
  TempDir dir;
  dir.Write("cr.ini", "[R]\rk1=one\rk2=two\r\n[S]\nk=v");
  const std::string file = dir.win("cr.ini");
  EXPECT_EQ(ReadProfileSections(file), (Strings{"R", "S"}));
  EXPECT_EQ(ReadProfileKeys(file, "R"), (Strings{"k1", "k2"}));
  EXPECT_EQ(ReadProfileString(file, "R", "k1", "d"), "one");
  EXPECT_EQ(ReadProfileString(file, "S", "k", "d"), "v");
}

TEST(ProfileLines, SectionNamesLoseTheirBlanks) {
  TempDir dir;
  dir.Write("s.ini", "[ Spaced ]\nk=v\n[\tTab\t]\nt=w\n");
  const std::string file = dir.win("s.ini");
  EXPECT_EQ(ReadProfileSections(file), (Strings{"Spaced", "Tab"}));
  EXPECT_EQ(ReadProfileString(file, "Spaced", "k", "d"), "v");
  EXPECT_EQ(ReadProfileString(file, "tab", "T", "d"), "w");
}

TEST(ProfileLines, NamesBeyondAsciiMatchWithoutRegardToCase) {
  TempDir dir;
  // Windows-1252 bytes: "Ärger", "Größe", "Élan".
  dir.Write("n.ini",
            "[\xC4rger]\nGr\xF6\xDF"
            "e=10\n\xC9lan=vital\n");
  const std::string file = dir.win("n.ini");
  EXPECT_EQ(ReadProfileString(file, "\xC3\xA4RGER",
                              "GR\xC3\x96\xC3\x9F"
                              "E",
                              "d"),
            "10");
  EXPECT_EQ(ReadProfileString(file, "\xC3\x84rger", "\xC3\xA9LAN", "d"), "vital");
  EXPECT_EQ(ReadProfileKeys(file, "\xC3\xA4rger"), (Strings{"Gr\xC3\xB6\xC3\x9F"
                                                            "e",
                                                            "\xC3\x89lan"}));
}

TEST(ProfileLines, FilesInDeepFoldersAreRead) {
  TempDir dir;
  std::string folder = dir.win();
  std::string relative;
  while (folder.size() < 320) {
    relative += "Verzeichnis \xC5\x81ukasz \xCE\x95\xCE\xBB\xCE\xAD\xCE\xBD\xCE\xB7/";
    folder += "\\Verzeichnis \xC5\x81ukasz \xCE\x95\xCE\xBB\xCE\xAD\xCE\xBD\xCE\xB7";
  }
  dir.Write(relative + "deep.ini", "[Deep]\nKey=found\nOther=too\n");
  const std::string file = folder + "\\deep.ini";
  ASSERT_TRUE(GetFileAttributes(file).has_value());
  EXPECT_EQ(ReadProfileString(file, "Deep", "Key", "d"), "found");
  EXPECT_EQ(ReadProfileKeys(file, "deep"), (Strings{"Key", "Other"}));
  EXPECT_EQ(ReadProfileSections(file), (Strings{"Deep"}));
}

}  // namespace
}  // namespace valise::platform
