// Locating and opening the baggage: the three container forms, the parameter rules, lookups
// and the failure messages.
#include <filesystem>

#include "bag_test_support.h"
#include "platform/files.h"

namespace valise::testing {
namespace {

std::string Pattern(std::size_t size, int seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) >> 3);
  return bytes;
}

// Entries written in an order that is not sorted, with letter cases mixed.
BagWriter SampleWriter() {
  BagWriter writer;
  writer.SetSorted(false);
  writer.AddData("zulu.txt", "last");
  writer.AddData("README.TXT", "read me");
  writer.AddData("Mixed.Dat", Pattern(100000, 3));
  writer.AddData("EMPTY.BIN", "");
  writer.AddData("\xC3\x84RGER.TXT", "umlaut");  // "ÄRGER.TXT"
  writer.AddData("alpha", "first");
  writer.AddData("TWELVECHARS1", "twelve");
  return writer;
}

enum class Form { Standalone, Attached, External, AttachedBySwitch };

class ContainerForms : public BaggageTest, public ::testing::WithParamInterface<Form> {
 protected:
  // Writes the sample baggage in the form under test and selects it.
  void Open() {
    const BagWriter writer = SampleWriter();
    switch (GetParam()) {
      case Form::Standalone:
        writer.WriteStandalone(dir.win("DATA.BAG"));
        Init({"/bag=" + dir.win("data.bag")});
        expectedData_ = Upper(dir.win("DATA.BAG"));
        break;
      case Form::Attached:
        writer.WriteAttached(Program(), dir.win("APP.EXE"));
        InitWith(dir.win("APP.EXE"));
        expectedData_ = Upper(dir.win("APP.EXE"));
        break;
      case Form::External:
        writer.WriteExternal(Program(), dir.win("APP.EXE"));
        InitWith(dir.win("APP.EXE"));
        expectedData_ = Upper(dir.win("APP.BAG"));
        break;
      case Form::AttachedBySwitch:
        writer.WriteAttached(Program(), dir.win("APP.EXE"));
        Init({"-silent", "\"/BAGGAGE=" + dir.win("App.exe") + "\""});
        expectedData_ = Upper(dir.win("APP.EXE"));
        break;
    }
  }
  std::string expectedData_;
};

TEST_P(ContainerForms, EveryEntryIsFoundWithoutRegardToCaseAndReadsBack) {
  Open();
  ASSERT_TRUE(BagHasContainer());
  EXPECT_EQ(BagIsExternal(), GetParam() == Form::External);
  EXPECT_EQ(BagExeName(), expectedData_);
  ASSERT_EQ(BagEntries().size(), 7u);
  // The directory is sorted after loading although it was stored unsorted.
  for (std::size_t i = 1; i < BagEntries().size(); ++i) {
    EXPECT_LT(platform::CompareTextIgnoreCase(BagEntries()[i - 1].Name, BagEntries()[i].Name), 0);
  }
  for (const char* name : {"zulu.txt", "ZULU.TXT", "Zulu.Txt", "readme.txt", "MIXED.DAT",
                           "empty.bin", "ALPHA", "twelvechars1", "\xC3\xA4rger.txt"}) {
    EXPECT_GE(BagFindEntry(name), 0) << name;
  }
  EXPECT_EQ(BagFindEntry("alph"), -1);
  EXPECT_EQ(BagFindEntry("alphaa"), -1);
  EXPECT_EQ(BagFindEntry(""), -1);
  EXPECT_EQ(ReadEntry("readme.txt"), "read me");
  EXPECT_EQ(ReadEntry("ZULU.TXT"), "last");
  EXPECT_EQ(ReadEntry("mixed.dat"), Pattern(100000, 3));
  EXPECT_EQ(ReadEntry("EMPTY.BIN"), "");
  EXPECT_EQ(ReadEntry("\xC3\x84rger.txt"), "umlaut");
  EXPECT_EQ(BagFileSize("Mixed.dat"), 100000u);
  EXPECT_EQ(BagFileSize("missing"), 0u);
  // Full paths are looked up by their file-name part.
  EXPECT_TRUE(BagFileExists("C:\\ANY\\WHERE\\readme.txt"));
  EXPECT_FALSE(BagFileExists("C:\\ANY\\WHERE\\nothere.txt"));
  EXPECT_EQ(BagFileName("X:\\dir\\alpha"), BagDirectory() + "alpha");
  EXPECT_EQ(ReadEntry(BagFileName("X:\\dir\\alpha")), "first");
  EXPECT_THROW_MSG(BagFileName("X:\\dir\\gone.txt"), Error, "File X:\\dir\\gone.txt not found.");
}

TEST_P(ContainerForms, IsRecognisedAsContainerWithoutChangingTheCurrentBaggage) {
  const BagWriter writer = SampleWriter();
  writer.WriteStandalone(dir.win("OTHER.BAG"));
  Open();
  const std::size_t before = BagEntries().size();
  EXPECT_TRUE(BagIsContainerFile(expectedData_));
  EXPECT_TRUE(BagIsContainerFile(dir.win("OTHER.BAG")));
  EXPECT_FALSE(BagIsContainerFile(Program()));
  EXPECT_FALSE(BagIsContainerFile(dir.win("NOWHERE.EXE")));
  EXPECT_EQ(BagEntries().size(), before);
  EXPECT_EQ(BagExeName(), expectedData_);
}

INSTANTIATE_TEST_SUITE_P(Baggage, ContainerForms,
                         ::testing::Values(Form::Standalone, Form::Attached, Form::External,
                                           Form::AttachedBySwitch));

TEST_F(BaggageTest, NamesAreComparedByTheirFirstTwelveCharacters) {
  BagWriter writer;
  writer.AddData("LONGNAMEFILE", "x");
  writer.WriteStandalone(dir.win("L.BAG"));
  Init({"/BAG=" + dir.win("L.BAG")});
  EXPECT_GE(BagFindEntry("longnamefile.extension"), 0);
  EXPECT_GE(BagFindEntry("LONGNAMEFILEZZZ"), 0);
  EXPECT_EQ(BagFindEntry("LONGNAMEFIL"), -1);
}

TEST_F(BaggageTest, ProgramWithoutBaggageRunsFromLooseFilesBesideIt) {
  // No "BAG\" folder: the directory stays empty and names fall back to real files.
  Init({});
  EXPECT_FALSE(BagHasContainer());
  EXPECT_EQ(BagDirectory(), Upper(dir.win("BAG\\")));
  ASSERT_TRUE(WaitForListing());
  EXPECT_TRUE(BagEntries().empty());
  EXPECT_EQ(BagFindEntry("SETUP.INF"), -1);
  dir.Write("SETUP.INF", "script");
  EXPECT_EQ(BagFileName(dir.win("SETUP.INF")), dir.win("SETUP.INF"));
  EXPECT_TRUE(BagFileExists(dir.win("SETUP.INF")));
  EXPECT_THROW_MSG(BagExeName(), Error, "BagExeName: No baggage in .EXE file");
  EXPECT_THROW_MSG(BagFileName(""), Error, "BagFileName: File name empty");
  EXPECT_THROW_MSG(BagFileName("C:\\NOWHERE\\NOFILE.XYZ"), Error,
                   "File C:\\NOWHERE\\NOFILE.XYZ not found.");
}

TEST_F(BaggageTest, ShortFilesAndHeaderAtTheVeryEndMeanNoBaggage) {
  dir.Write("TINY.EXE", "MZ tiny");
  InitWith(dir.win("TINY.EXE"));
  EXPECT_FALSE(BagHasContainer());

  // Pointer + 14 equal to the file size: the header has no byte after it.
  std::string program = FakeProgram();
  PutU32At(program, 28, static_cast<std::uint32_t>(program.size() - 14));
  dir.Write("EDGE.EXE", program);
  InitWith(dir.win("EDGE.EXE"));
  EXPECT_FALSE(BagHasContainer());

  // A signature other than "MZ" or "KQ" is no baggage either, whatever the pointer says.
  BagWriter writer;
  writer.AddData("A", "a");
  writer.WriteStandalone(dir.win("SIG.BAG"));
  std::string bag = ReadHostFile(dir.host() / "SIG.BAG");
  bag[0] = 'Z';
  dir.Write("SIG.BAG", bag);
  Init({"/bag=" + dir.win("SIG.BAG")});
  EXPECT_FALSE(BagHasContainer());
}

TEST_F(BaggageTest, EmptyContainerFindsNothing) {
  BagWriter().WriteStandalone(dir.win("EMPTY.BAG"));
  Init({"/bag=" + dir.win("EMPTY.BAG")});
  EXPECT_TRUE(BagHasContainer());
  EXPECT_TRUE(BagEntries().empty());
  EXPECT_EQ(BagFindEntry("ANY"), -1);
  EXPECT_THROW_MSG(BagFileName("ANY.TXT"), Error, "File ANY.TXT not found.");
}

TEST_F(BaggageTest, ParameterRulesSelectDirectoryOrContainerAndKind) {
  std::filesystem::create_directories(dir.host() / "Loose");
  dir.Write("Loose/ONE.TXT", "1");

  // A lower-case directory without a trailing backslash, in quotes.
  Init({"'/bag=" + dir.win("loose") + "'"});
  EXPECT_EQ(BagDirectory(), Upper(dir.win("loose\\")));
  EXPECT_TRUE(BagIsExplicit());
  EXPECT_FALSE(BagHasContainer());
  EXPECT_EQ(BagContainerKind(), TBagKind::Plain);
  EXPECT_EQ(BagContainerPath(), Upper(Program()));
  EXPECT_EQ(ReadEntry("one.txt"), "1");

  // A value in double quotes after the switch.
  Init({"/BAG=\"" + dir.win("loose\\") + "\""});
  EXPECT_EQ(BagDirectory(), Upper(dir.win("loose\\")));

  BagWriter writer;
  writer.AddData("DOC.DAT", "doc");
  writer.WriteStandalone(dir.win("Lesson.kqd"));
  writer.WriteStandalone(dir.win("Saver.scr"));
  for (const std::string& param :
       {"/baggage=" + dir.win("Lesson.kqd"), "/bag=" + dir.win("Lesson.kqd"), dir.win("Lesson.kqd"),
        "\"" + dir.win("Lesson.kqd") + "\""}) {
    Init({param});
    EXPECT_EQ(BagContainerPath(), Upper(dir.win("LESSON.KQD"))) << param;
    EXPECT_EQ(BagContainerKind(), TBagKind::Document) << param;
    EXPECT_EQ(BagDirectory(), Upper(dir.win("BAG\\"))) << param;
    EXPECT_EQ(ReadEntry("doc.dat"), "doc");
  }

  // A later switch overrides an earlier one; a directory after a screen saver gives plain.
  Init({"/bag=" + dir.win("Saver.scr")});
  EXPECT_EQ(BagContainerKind(), TBagKind::ScreenSaver);
  Init({"/bag=" + dir.win("Saver.scr"), "/bag=" + dir.win("Lesson.kqd")});
  EXPECT_EQ(BagContainerKind(), TBagKind::Document);
  EXPECT_EQ(BagContainerPath(), Upper(dir.win("LESSON.KQD")));
  Init({"/bag=" + dir.win("Saver.scr")});
  Init({"/bag=" + dir.win("Loose")});
  EXPECT_EQ(BagContainerKind(), TBagKind::Plain);
  EXPECT_FALSE(BagHasContainer());

  // Parameters that are not about the baggage are ignored; the list is upper-cased in place.
  std::vector<std::string> params{Program(), "inf=setup.inf", "-silent"};
  BagInit(params);
  EXPECT_EQ(params[1], "INF=SETUP.INF");
  EXPECT_FALSE(BagIsExplicit());
}

TEST_F(BaggageTest, ValueContainingBagAnywhereIsAContainer) {
  // ".BAG" inside a folder name makes the value a container path, not a directory.
  std::filesystem::create_directories(dir.host() / "X.BAGS");
  EXPECT_THROW_MSG(Init({"/bag=" + dir.win("x.bags\\loose")}), Error, "Error accessing  file!");
  EXPECT_EQ(BagContainerPath(), Upper(dir.win("X.BAGS\\LOOSE")));
  EXPECT_EQ(BagDirectory(), Upper(dir.win("X.BAGS\\BAG\\")));
}

TEST_F(BaggageTest, FailureMessagesOfTheLocator) {
  EXPECT_THROW_MSG(Init({"/bag=" + dir.win("NoSuchDir")}), Error,
                   "Baggage directory does not exist!");
  EXPECT_THROW_MSG(InitWith(dir.win("MISSING.EXE")), Error, "Error accessing .EXE file!");
  EXPECT_THROW_MSG(Init({"/bag=" + dir.win("missing.kqd")}), Error, "Error accessing .KQD file!");

  // External pointer without the twin, and with a twin that is no baggage.
  std::string program = FakeProgram();
  PutU32At(program, 28, 0xFFFFFF80u);
  dir.Write("EXT.EXE", program);
  EXPECT_THROW_MSG(InitWith(dir.win("EXT.EXE")), Error,
                   "Error opening " + Upper(dir.win("EXT.BAG")) + "!");
  EXPECT_THROW_MSG(BagIsContainerFile(dir.win("EXT.EXE")), Error,
                   "Error opening " + dir.win("EXT.BAG") + "!");
  dir.Write("EXT.BAG", "KQ but far too short");
  EXPECT_THROW_MSG(InitWith(dir.win("EXT.EXE")), Error,
                   "Invalid external baggage " + Upper(dir.win("EXT.BAG")) + "!");
  EXPECT_THROW_MSG(BagIsContainerFile(dir.win("EXT.EXE")), Error,
                   "Invalid external baggage " + dir.win("EXT.BAG") + "!");

  // Wrong magic, wrong version.
  BagWriter writer;
  writer.AddData("A.TXT", "a");
  writer.AddData("B.TXT", "b");
  writer.WriteStandalone(dir.win("GOOD.BAG"));
  const std::string good = ReadHostFile(dir.host() / "GOOD.BAG");
  std::string bad = good;
  bad[32 + 4] = 0x01;  // version 0x0201
  dir.Write("VERSION.BAG", bad);
  EXPECT_THROW_MSG(Init({"/bag=" + dir.win("VERSION.BAG")}), Error, "Wrong KLAMP version!");
  EXPECT_FALSE(BagIsContainerFile(dir.win("VERSION.BAG")));
  bad = good;
  bad[32 + 3] = 'X';
  dir.Write("MAGIC.BAG", bad);
  EXPECT_THROW_MSG(Init({"/bag=" + dir.win("MAGIC.BAG")}), Error, "Wrong KLAMP version!");

  // A directory shorter than its count, and an absurd count.
  bad = good.substr(0, 32 + 14 + 21 + 5);
  dir.Write("SHORT.BAG", bad);
  EXPECT_THROW_MSG(Init({"/bag=" + dir.win("SHORT.BAG")}), Error, "Unexpected EOF!");
  bad = good;
  PutU32At(bad, 32 + 10, 0xFFFFFFFFu);
  dir.Write("COUNT.BAG", bad);
  EXPECT_THROW_MSG(Init({"/bag=" + dir.win("COUNT.BAG")}), Error, "Unexpected EOF!");

  // After a failure a new BagInit makes the baggage usable again.
  Init({"/bag=" + dir.win("GOOD.BAG")});
  EXPECT_EQ(ReadEntry("B.TXT"), "b");
}

TEST_F(BaggageTest, StartupFailureIsShownInABoxCaptionedBaggage) {
  std::string text, caption;
  platform::MessageIcon icon = platform::MessageIcon::None;
  auto previous =
      platform::SetMessageBoxHandler([&](std::string_view t, std::string_view c,
                                         platform::MessageIcon i, platform::MessageButtons) {
        text = t;
        caption = c;
        icon = i;
        return platform::MessageResult::Ok;
      });
  std::string program = FakeProgram();
  PutU32At(program, 28, 0xFFFFFF80u);
  dir.Write("EXT.EXE", program);
  EXPECT_FALSE(BagStartup({dir.win("EXT.EXE")}));
  EXPECT_EQ(text, "Error opening " + Upper(dir.win("EXT.BAG")) + "!");
  EXPECT_EQ(caption, "Baggage");
  EXPECT_EQ(icon, platform::MessageIcon::Error);
  text.clear();
  EXPECT_TRUE(BagStartup({Program()}));
  EXPECT_EQ(text, "");
  platform::SetMessageBoxHandler(previous);
}

}  // namespace
}  // namespace valise::testing
