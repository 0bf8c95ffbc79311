// INI files whose lines the two backends once read differently: keys without a name, line
// breaks of a lone carriage return, blanks inside section brackets, and files in folders deeper
// than the profile functions reach by themselves.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/profile.h"
#include "test_support.h"

namespace valise::platform {
namespace {

using testing::TempDir;
using Strings = std::vector<std::string>;

// The key list is handed out as names ended by an empty one, so a key without a name ends it;
// the keys after it are still read by name.
TEST(ProfileLines, KeyWithoutNameEndsTheKeyList) {
  TempDir dir;
  dir.Write("e.ini", "[E]\nfirst=1\n=nameless\nsecond=2\n[Only]\n=x\n[F]\nno value line\nk=v\n");
  const std::string file = dir.win("e.ini");
  EXPECT_EQ(ReadProfileKeys(file, "E"), (Strings{"first"}));
  EXPECT_EQ(ReadProfileString(file, "E", "second", "d"), "2");
  EXPECT_EQ(ReadProfileKeys(file, "F"), (Strings{"k"}));
  // A section whose key list is empty is absent.
  EXPECT_EQ(ReadProfileSections(file), (Strings{"E", "F"}));
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

// A whole section in one read gives what reading its keys one by one gives, on every kind of
// line above and below.
TEST(ProfileLines, SectionReadMatchesSingleReads) {
  TempDir dir;
  dir.Write("all.ini",
            "; comment\n[A]\n  Title  =   My Product   \nEmpty=\nKey=first\nKEY=second\n"
            "double=\"quoted value\"\nsingle='single'\ntwice=\"\"inner\"\"\nopen=\"unbalanced\n"
            "lone=\"\npair=\"\"\n; a comment=with equals\nbare line\nlong=" +
                std::string(3000, 'v') +
                "\nafter=1\n[B]\rk1=one\rk2=two\r\n[ C ]\nfirst=1\n"
                "=nameless\nsecond=2\n[a]\nLater=later\n[Empty]\n");
  const std::string file = dir.win("all.ini");
  for (const char* section : {"A", "b", "C", "Empty", "Missing"}) {
    std::vector<std::pair<std::string, std::string>> single;
    for (const std::string& key : ReadProfileKeys(file, section)) {
      single.emplace_back(key, ReadProfileString(file, section, key, "\x01"));
    }
    EXPECT_EQ(ReadProfileSection(file, section), single) << section;
  }
  EXPECT_EQ(ReadProfileSection(file, "A").size(), 11u);
}

}  // namespace
}  // namespace valise::platform
