// One run that installs an application out of its baggage and from the disk, and a second run
// that removes it again: files and update methods, shortcuts, registry entries, the record,
// the removal stages and the exit code.
#include <gtest/gtest.h>

#include "baggage/bag_writer.h"
#include "baggage/baggage.h"
#include "course/app_strings.h"
#include "course/project.h"
#include "course/textpool.h"
#include "course_fixtures.h"
#include "pe_image.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "setup/data_module.h"
#include "setup_test_support.h"
#include "util/file_utils.h"

namespace valise::setup {
namespace {

using testing::FakeUI;
using testing::KeyValues;
using testing::TestRegistry;
using valise::testing::ReadHostFile;
using valise::testing::TempDir;

std::string Pe(std::uint32_t ms, std::uint32_t ls) {
  valise::testing::PeImageOptions options;
  options.ms = ms;
  options.ls = ls;
  return valise::testing::BuildPeImage(options).bytes;
}

class SetupRun : public ::testing::Test {
 protected:
  void TearDown() override {
    course::Project().Close();
    course::Textpool().Close();
    BagDone();
  }

  // The product's baggage: its tables (German and British English texts) and two members.
  void WriteBaggage() {
    BagWriter writer;
    auto project = course::testing::ProjectTable(course::testing::StandardProject());
    writer.AddData("_PRJ.ADB", project.TableBytes());
    writer.AddData("_PRJ.AMB", project.MemoBytes());
    std::vector<course::testing::TextRow> rows;
    for (std::uint32_t id : course::kWindowTextIds) {
      rows.emplace_back(id, course::LANG_GERMAN, "de " + std::to_string(id));
    }
    rows.emplace_back(course::textid::SSetupCompleted, course::LANG_ENGLISH_UK, "Done");
    writer.AddData("_TXT.ADB", course::testing::TextpoolTable(rows).TableBytes());
    writer.AddData("MEMBER.DAT", "from the baggage");
    writer.AddData("KEEP.DAT", "member over an existing file");
    writer.WriteStandalone(dir_.win("PRODUCT.BAG"));
  }

  std::unique_ptr<TSetupDataModule> Run(FakeUI& ui, std::vector<std::string> params) {
    auto dm = std::make_unique<TSetupDataModule>(ui, dir_.win("SETUP.EXE"), std::move(params));
    dm->Create();
    return dm;
  }

  TempDir dir_;
  TestRegistry registry_;
};

TEST_F(SetupRun, InstallsWhatTheScriptSaysAndRemovesWhatTheRecordSays) {
  WriteBaggage();
  const std::string dest = dir_.win("dest");
  const std::string links = dir_.win("links");
  // Sources and destinations for the update methods.
  dir_.Write("src/newer.dll", Pe(0x00010002, 0x00030004));  // replaces 1.2.3.3
  dir_.Write("src/same.dll", Pe(0x00010002, 0x00030004));   // replaces its equal
  dir_.Write("src/older.dll", Pe(0x00010002, 0x00030004));  // keeps 1.2.4.0
  dir_.Write("src/plain.dll", Pe(0x00010002, 0x00030004));  // replaces a file without
  dir_.Write("src/noversion.dll", "no version resource");   // never replaces
  dir_.Write("src/never.txt", "new");
  dir_.Write("src/odd.txt", "new");
  dir_.Write("src/missing.txt", "new");
  dir_.Write("dest/v/newer.dll", Pe(0x00010002, 0x00030003));
  dir_.Write("dest/v/same.dll", std::string(Pe(0x00010002, 0x00030004)) + "old");
  dir_.Write("dest/v/older.dll", Pe(0x00010002, 0x00040000));
  dir_.Write("dest/v/plain.dll", "old");
  dir_.Write("dest/v/noversion.dll", Pe(0x00010002, 0x00030004));
  dir_.Write("dest/n/never.txt", "old");
  dir_.Write("dest/n/odd.txt", "old");
  dir_.Write("dest/KEEP.DAT", "old");
  dir_.Write("dest/obsolete.txt", "deleted at installation");
  dir_.Write("SETUP.inf",
             "[Globals]\r\nLanguage=1\r\nRegBaseKey=" + registry_.Rooted() +
                 "\r\n"
                 "[Application1]\r\nBaggage=<SrcDir>\\PRODUCT.BAG\r\nProductCode=IGNORED\r\n"
                 "InstallDir=" +
                 dest +
                 "\r\nDeleteFile1=[Application1.InstallDir]\\obsolete.txt\r\n"
                 "[Application1.FileGroup1]\r\nDestDir=[Application1.InstallDir]\r\n"
                 "FileSpec1=@MEMBER.DAT\r\nFileSpec2=@KEEP.DAT\r\n"
                 "[Application1.FileGroup2]\r\nDestDir=[Application1.FileGroup1]\\v\r\n"
                 "UpdateMethod=updVersion\r\nFileSpec1=src\\*.dll\r\n"
                 "[Application1.FileGroup3]\r\nDestDir=" +
                 dest +
                 "\\n\r\nUpdateMethod=updNever\r\n"
                 "FileSpec1=src\\never.txt\r\n"
                 "[Application1.FileGroup4]\r\nDestDir=" +
                 dest +
                 "\\n\r\nUpdateMethod=updSometimes\r\n"
                 "FileSpec1=src\\odd.txt\r\nFileSpec2=src\\missing.txt\r\n"
                 "[Application1.ShellLink1]\r\nCommand=[Application1.InstallDir]\\prog.exe\r\n"
                 "CommandParams=<SrcDir>\r\nFolder=" +
                 links +
                 "\r\nDescription=Prog\r\n"
                 "ShortCut=Shift+F2\r\nIconLocation=<SrcDir>\\icon.ico\r\nIconIndex=2\r\n"
                 "[Application1.ShellLink2]\r\nCommand=notes.txt\r\nFolder=" +
                 links +
                 "\r\nDescription=Unrecorded\r\nRemove=0\r\n"
                 "[Application1.ShellLink3]\r\nCommand=Http://example.org/\r\nFolder=" +
                 links +
                 "\\web\r\nDescription=Site\r\n"
                 "[Application1.RegEntry1]\r\nKey=HKEY_CURRENT_USER\\" +
                 registry_.Path() +
                 "\\Values\r\nName=Dir\r\nValue=[Application1.InstallDir]\r\n"
                 "[Application1.RegEntry2]\r\nKey=Sub\r\nName=Count\r\nType=rdInteger\r\n"
                 "Value=-7\r\n"
                 "[Application1.RegEntry3]\r\nName=Expand\r\nType=rdExpandString\r\n"
                 "Value=%TEMP%\\x\r\n"
                 "[Application1.RegEntry4]\r\nKey=\\" +
                 registry_.Path() + "\\Binary\r\nName=B\r\nType=rdBinary\r\nValue=00\r\n");

  FakeUI ui;
  auto dm = Run(ui, {"/silent", "/reg=RSE_3_4711"});
  ASSERT_EQ(dm->Applications.size(), 1u);
  const TSetupApplication& app = *dm->Applications[0];
  // The identity comes from the baggage's project table, the texts from its text pool.
  EXPECT_EQ(app.RecordKey(), "RSE_3_4711");
  EXPECT_EQ(app.Title, "Reisesprache Englisch");
  EXPECT_EQ(dm->Language, course::LANG_GERMAN);
  EXPECT_EQ(dm->LanguageIndex, 0);
  EXPECT_EQ(dm->Texts.ButtonCancel, "de 295279");
  dm->Execute();
  EXPECT_EQ(dm->ExitCode, kExitSuccess);
  EXPECT_TRUE(ui.boxes.empty()) << "a silent run shows no completion message";
  EXPECT_FALSE(ui.progressVisible);

  const auto& host = dir_.host();
  EXPECT_EQ(ReadHostFile(host / "dest/MEMBER.DAT"), "from the baggage");
  EXPECT_EQ(ReadHostFile(host / "dest/KEEP.DAT"), "member over an existing file");
  EXPECT_FALSE(std::filesystem::exists(host / "dest/obsolete.txt"));
  EXPECT_EQ(ReadHostFile(host / "dest/v/newer.dll"), Pe(0x00010002, 0x00030004));
  EXPECT_EQ(ReadHostFile(host / "dest/v/same.dll"), Pe(0x00010002, 0x00030004));
  EXPECT_EQ(ReadHostFile(host / "dest/v/older.dll"), Pe(0x00010002, 0x00040000));
  EXPECT_EQ(ReadHostFile(host / "dest/v/plain.dll"), Pe(0x00010002, 0x00030004));
  EXPECT_EQ(ReadHostFile(host / "dest/v/noversion.dll"), Pe(0x00010002, 0x00030004));
  EXPECT_EQ(ReadHostFile(host / "dest/n/never.txt"), "old");
  EXPECT_EQ(ReadHostFile(host / "dest/n/odd.txt"), "old");
  EXPECT_EQ(ReadHostFile(host / "dest/n/missing.txt"), "new");

  const platform::ShellLinkData link = platform::ReadShellLink(links + "\\Prog.lnk");
  EXPECT_EQ(link.target, dest + "\\prog.exe");
  EXPECT_EQ(link.arguments, "<SrcDir>") << "parameters are taken as written";
  EXPECT_EQ(link.iconLocation, dir_.win("icon.ico"));
  EXPECT_EQ(link.iconIndex, 2);
  EXPECT_EQ(link.hotKey, 0x0171);
  EXPECT_EQ(link.description, "");
  EXPECT_TRUE(std::filesystem::exists(host / "links/Unrecorded.lnk"));
  EXPECT_EQ(ReadHostFile(host / "links/web/Site.url"),
            "[InternetShortcut]\r\nURL=Http://example.org/\r\n");

  // The record, value by value (the registry lists values in its own order).
  const std::string record = registry_.Path() + "\\RSE_3_4711";
  std::vector<std::string> values = KeyValues(platform::RegRoot::CurrentUser, record);
  std::sort(values.begin(), values.end());
  std::vector<std::string> expected = {
      "DeleteFile1=" + dest + "\\obsolete.txt",
      "Expand=(expand)%TEMP%\\x",
      "FileGroup1=" + dest,
      "FileGroup1File1=MEMBER.DAT",
      "FileGroup1File2=KEEP.DAT",
      "FileGroup2=" + dest + "\\v",
      "FileGroup3=" + dest + "\\n",
      "FileGroup3File1=never.txt",
      "FileGroup4=" + dest + "\\n",
      "FileGroup4File1=odd.txt",
      "FileGroup4File2=missing.txt",
      "InstallDir=" + dest,
      "ShellLink1=" + links + "\\Prog.lnk",
      "ShellLink2=" + links + "\\web\\Site.url",
      "Title=Reisesprache Englisch",
  };
  for (int i = 1; i <= 5; ++i) {
    const auto found = std::find_if(values.begin(), values.end(), [&](const std::string& v) {
      return v.rfind("FileGroup2File" + std::to_string(i) + "=", 0) == 0;
    });
    ASSERT_NE(found, values.end()) << i;
    values.erase(found);
  }
  EXPECT_EQ(values, expected);
  // The entries: an empty key names the record's key, a relative key lies below the key the
  // entry before it opened, a binary entry makes its key and writes nothing.
  EXPECT_EQ(KeyValues(platform::RegRoot::CurrentUser, registry_.Path() + "\\Values"),
            std::vector<std::string>{"Dir=" + dest});
  EXPECT_EQ(KeyValues(platform::RegRoot::CurrentUser, registry_.Path() + "\\Values\\Sub"),
            std::vector<std::string>{"Count=-7"});
  EXPECT_TRUE(testing::KeyExists(platform::RegRoot::CurrentUser, registry_.Path() + "\\Binary"));

  // A second silent run finds the product installed and changes nothing.
  dir_.Write("dest/MEMBER.DAT", "changed by the user");
  {
    FakeUI again;
    auto second = Run(again, {"/silent"});
    ASSERT_EQ(second->Applications.size(), 1u);
    EXPECT_TRUE(second->Applications[0]->Installed);
    second->Execute();
    EXPECT_EQ(ReadHostFile(host / "dest/MEMBER.DAT"), "changed by the user");
  }

  // Removal. A folder where a recorded file should be cannot be deleted: it is tried four
  // times and left; the directories go only when empty; the record goes in any case.
  std::filesystem::remove(host / "dest/n/odd.txt");
  std::filesystem::create_directories(host / "dest/n/odd.txt/locked");
  dir_.Write("dest/v/foreign.txt", "another product's file");
  FakeUI removal;
  auto third = Run(removal, {"/silent", "/remove=rse_3_4711", "/reg=RSE_3_4711"});
  third->Execute();
  EXPECT_EQ(third->ExitCode, kExitNamedRemoved);
  EXPECT_FALSE(testing::KeyExists(platform::RegRoot::CurrentUser, record));
  EXPECT_FALSE(std::filesystem::exists(host / "dest/MEMBER.DAT"));
  EXPECT_FALSE(std::filesystem::exists(host / "dest/v/newer.dll"));
  EXPECT_TRUE(std::filesystem::exists(host / "dest/v/foreign.txt"));
  EXPECT_TRUE(std::filesystem::exists(host / "dest/n/odd.txt/locked"));
  EXPECT_FALSE(std::filesystem::exists(host / "dest/n/never.txt"));
  EXPECT_FALSE(std::filesystem::exists(host / "links/Prog.lnk"));
  EXPECT_FALSE(std::filesystem::exists(host / "links/web"));
  EXPECT_TRUE(std::filesystem::exists(host / "links/Unrecorded.lnk"));
  EXPECT_TRUE(std::filesystem::exists(host / "dest/v"));
  // Three waits for the locked file; one per removed directory (dest\n stays).
  EXPECT_EQ(std::count(removal.waits.begin(), removal.waits.end(), 500u), 3);
  // A record that is gone changes nothing and is reported as not installed; the run installs
  // nothing although the script offers the application.
  FakeUI gone;
  auto fourth = Run(gone, {"/silent", "/remove=RSE_3_4711"});
  EXPECT_EQ(fourth->NotInstalledKeys, std::vector<std::string>{"RSE_3_4711"});
  fourth->Execute();
  EXPECT_EQ(fourth->ExitCode, kExitNotInstalled);
  EXPECT_FALSE(testing::KeyExists(platform::RegRoot::CurrentUser, record));
  EXPECT_FALSE(std::filesystem::exists(host / "dest/MEMBER.DAT"));
}

TEST_F(SetupRun, MakersShortcutFolderAndShortcutsOnOtherDrives) {
  // The folder keeps everything while one shortcut starts a program other than a setup.
  dir_.Write("menu/keep/readme.txt", "x");
  TShellLink link;
  link.Target = "C:\\Prog\\SETUP.EXE";
  CreateShellLink(link, dir_.win("menu\\keep\\setup.lnk"));
  link.Target = "C:\\Prog\\game.exe";
  CreateShellLink(link, dir_.win("menu\\keep\\game.lnk"));
  link.Target = "C:\\Prog\\manual.pdf";
  CreateShellLink(link, dir_.win("menu\\gone\\manual.lnk"));
  link.Target = "C:\\Prog\\Setup.exe";
  CreateShellLink(link, dir_.win("menu\\gone\\inner\\setup.lnk"));
  dir_.Write("menu/gone/inner/placeholder.url", "[InternetShortcut]\r\n");
  dir_.Write("menu/gone/site.url", "[InternetShortcut]\r\n");
  dir_.Write("menu/other/notes.txt", "not a shortcut");
  FakeUI ui;
  TSetupDataModule dm(ui, dir_.win("SETUP.EXE"), {});
  dm.CleanShellFolder(dir_.win("menu"));
  const auto& host = dir_.host();
  EXPECT_TRUE(std::filesystem::exists(host / "menu/keep/setup.lnk"));
  EXPECT_TRUE(std::filesystem::exists(host / "menu/keep/game.lnk"));
  EXPECT_FALSE(std::filesystem::exists(host / "menu/gone"));
  EXPECT_TRUE(std::filesystem::exists(host / "menu/other/notes.txt"));
  EXPECT_TRUE(std::filesystem::exists(host / "menu"));

  // A shortcut folder on a network path stops the run before anything changes.
  dir_.Write("SETUP.inf", "[Globals]\r\nRegBaseKey=" + registry_.Rooted() +
                              "\r\n[Application1]\r\nProductCode=NET\r\n"
                              "[Application1.ShellLink1]\r\nFolder=\\\\server\\share\r\n");
  auto net = std::make_unique<TSetupDataModule>(ui, dir_.win("SETUP.EXE"),
                                                std::vector<std::string>{"/silent"});
  net->Create();
  EXPECT_THROW_MSG(net->Execute(), ESetup, "Invalid path \\\\server\\share");
  EXPECT_FALSE(testing::KeyExists(platform::RegRoot::CurrentUser, registry_.Path() + "\\NET_0_0"));
}

TEST_F(SetupRun, TheMakersKeyGoesOnlyAfterARunThatRemovedARecordBelowIt) {
  using platform::RegRoot;
  const std::string maker = "Software\\Vantorel";
  const std::string settings = maker + "\\ValiseTests.Settings";
  const std::string records = maker + "\\ValiseTests.Records";
  platform::RegKey::Create(RegRoot::CurrentUser, settings).WriteString("Colour", "blue");
  dir_.Write("a.txt", "a");
  const auto script = [&](const std::string& base) {
    dir_.Write("SETUP.inf", "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + base +
                                "\r\n[Application1]\r\nProductCode=MK\r\n"
                                "[Application1.FileGroup1]\r\nDestDir=<SrcDir>\\mk\r\n"
                                "FileSpec1=a.txt\r\n");
  };
  // A run that keeps its records elsewhere, and one that only installs below the maker's key,
  // leave the maker's key and the settings in it alone.
  script(registry_.Path());
  FakeUI ui;
  Run(ui, {"/silent"})->Execute();
  script(records);
  Run(ui, {"/silent"})->Execute();
  EXPECT_TRUE(testing::KeyExists(RegRoot::CurrentUser, settings));
  // The run that removes the last record below it cleans the key up, as it always did.
  Run(ui, {"/silent", "/remove=MK_0_0"})->Execute();
  EXPECT_FALSE(testing::KeyExists(RegRoot::CurrentUser, maker));
}

TEST_F(SetupRun, EachApplicationInstallsTheMembersOfItsOwnBaggage) {
  // Two products whose baggages hold a member of the same name; the second one read is current
  // when the run starts, yet each product gets its own file.
  for (const char* code : {"ONE", "TWO"}) {
    BagWriter writer;
    auto project = course::testing::ProjectTable(course::testing::With(
        course::testing::StandardProject(), {"PRODUCTCODE", adb::ftString, 21, code}));
    writer.AddData("_PRJ.ADB", project.TableBytes());
    writer.AddData("_PRJ.AMB", project.MemoBytes());
    writer.AddData("_TXT.ADB", course::testing::TextpoolTable({}).TableBytes());
    writer.AddData("DATA.DAT", std::string("data of ") + code);
    writer.WriteStandalone(dir_.win(std::string(code) + ".BAG"));
  }
  std::string script = "[Globals]\r\nRegBaseKey=" + registry_.Rooted() + "\r\n";
  for (const char* n : {"1", "2"}) {
    const std::string code = n[0] == '1' ? "ONE" : "TWO";
    script += std::string("[Application") + n + "]\r\nBaggage=<SrcDir>\\" + code +
              ".BAG\r\n[Application" + n + ".FileGroup1]\r\nDestDir=<SrcDir>\\" + code +
              "\r\nFileSpec1=@DATA.DAT\r\n";
  }
  dir_.Write("SETUP.inf", script);
  platform::MessageBoxHandler previous = platform::SetMessageBoxHandler(
      [](std::string_view, std::string_view, platform::MessageIcon, platform::MessageButtons) {
        return platform::MessageResult::Yes;  // the texts are missing: skip the warnings
      });
  FakeUI ui;
  auto dm = Run(ui, {"/silent"});
  dm->Execute();
  platform::SetMessageBoxHandler(previous);
  EXPECT_EQ(ReadHostFile(dir_.host() / "ONE/DATA.DAT"), "data of ONE");
  EXPECT_EQ(ReadHostFile(dir_.host() / "TWO/DATA.DAT"), "data of TWO");
}

// Members are copied a few ahead of the record. The record still lists the files in the
// group's order; a member named twice, or over an existing file, ends as it would one by one;
// and when a copy fails, the files before it are complete, and a file copied ahead of it is
// complete too: the disk holds nothing the record does not list.
TEST_F(SetupRun, MembersCopiedAheadKeepTheRecordTrue) {
  BagWriter writer;
  std::string specs;
  for (int i = 1; i <= 30; ++i) {
    const std::string name = "M" + std::to_string(100 + i) + ".DAT";
    writer.AddData(name, "content of " + name);
    specs += "FileSpec" + std::to_string(i) + "=@" + name + "\r\n";
  }
  writer.AddData("OTHER.DAT", "other");
  writer.WriteStandalone(dir_.win("PRODUCT.BAG"));
  dir_.Write("good/M110.DAT", "existing");
  dir_.Write("bad/M120.DAT/folder in the way", "");
  dir_.Write("SETUP.inf", "[Globals]\r\nRegBaseKey=" + registry_.Rooted() +
                              "\r\n[Application1]\r\nProductCode=GOOD\r\n"
                              "[Application1.FileGroup1]\r\nDestDir=<SrcDir>\\good\r\n" +
                              specs +
                              "FileSpec31=@m105.dat\r\nFileSpec32=@OTHER.DAT\r\n"
                              "[Application2]\r\nProductCode=BAD\r\n"
                              "[Application2.FileGroup1]\r\nDestDir=<SrcDir>\\bad\r\n" +
                              specs);
  // The program's own baggage.
  std::vector<std::string> bagParams{dir_.win("SETUP.EXE"), "/bag=" + dir_.win("PRODUCT.BAG")};
  BagInit(bagParams);
  platform::MessageBoxHandler previous = platform::SetMessageBoxHandler(
      [](std::string_view, std::string_view, platform::MessageIcon, platform::MessageButtons) {
        return platform::MessageResult::Yes;  // the texts are missing: skip the warnings
      });
  FakeUI ui;
  auto dm = Run(ui, {"/silent"});
  try {
    dm->Execute();
    ADD_FAILURE() << "a folder in the way of a member went unnoticed";
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find("cannot replace"), std::string::npos) << error.what();
  }
  platform::SetMessageBoxHandler(previous);

  const auto recordOf = [&](const std::string& code) {
    std::string key;
    for (const std::string& name :
         platform::RegKey::Open(platform::RegRoot::CurrentUser, registry_.Path())->SubKeyNames()) {
      if (name.starts_with(code)) key = registry_.Path() + "\\" + name;
    }
    std::vector<std::string> files;
    for (int n = 1;; ++n) {
      const auto value = platform::RegKey::Open(platform::RegRoot::CurrentUser, key)
                             ->Read("FileGroup1File" + std::to_string(n));
      if (!value) return files;
      files.push_back(value->text);
    }
  };
  std::vector<std::string> expected;
  for (int i = 1; i <= 30; ++i) {
    const std::string name = "M" + std::to_string(100 + i) + ".DAT";
    expected.push_back(name);
    EXPECT_EQ(ReadHostFile(dir_.host() / "good" / name), "content of " + name);
    // Before the failure every file is there; after it, a file copied ahead may stay, complete
    // (it is recorded).
    const auto bad = dir_.host() / "bad" / name;
    if (i < 20) {
      EXPECT_TRUE(std::filesystem::is_regular_file(bad)) << name;
    } else if (i > 20 && std::filesystem::exists(bad)) {
      EXPECT_EQ(ReadHostFile(bad), "content of " + name);
    }
  }
  EXPECT_EQ(ReadHostFile(dir_.host() / "good/OTHER.DAT"), "other");
  std::vector<std::string> good = expected;
  good.insert(good.end(), {"m105.dat", "OTHER.DAT"});
  EXPECT_EQ(recordOf("GOOD"), good);
  // Recorded ahead of the copy: the batch names files that never came (they count as removed).
  EXPECT_EQ(recordOf("BAD"), expected);
  EXPECT_TRUE(std::filesystem::is_directory(dir_.host() / "bad/M120.DAT"));
  for (const auto& entry : std::filesystem::directory_iterator(dir_.host() / "bad")) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("~")) << entry.path();
  }
}

}  // namespace
}  // namespace valise::setup
