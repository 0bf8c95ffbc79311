// The command line, the script's globals and sections, the installation records and how the
// two are merged into the applications of a run; the directory macros.
#include <gtest/gtest.h>

#include "platform/shell.h"
#include "setup/cached_program.h"
#include "setup/data_module.h"
#include "setup_test_support.h"
#include "util/file_utils.h"

namespace valise::setup {
namespace {

using testing::FakeUI;
using testing::TestRegistry;
using valise::testing::TempDir;

TEST(SetupCommandLine, SwitchesAndTheDefaultScript) {
  {
    const TCommandLine line = ParseCommandLine(
        "C:\\Dist\\SETUP.EXE", {"-SILENT", "launch", "/inf=a.inf", "/inf=b.inf", "/reg=abc_3_12",
                                "/remove=X_1_2", "-remove=Y_1_2", "/Bag=X.BAG", "/what"});
    EXPECT_TRUE(line.Silent);
    EXPECT_FALSE(line.LaunchAfterRun);  // no dash or slash
    EXPECT_EQ(line.ScriptFile, "a.inf");
    EXPECT_EQ(line.RegArgument, "abc_3_12");
    EXPECT_EQ(line.RemoveArguments, (std::vector<std::string>{"X_1_2", "Y_1_2"}));
    EXPECT_EQ(line.UnknownSwitches, (std::vector<std::string>{"/what"}));
    EXPECT_EQ(line.BaggageArguments().front(), "C:\\Dist\\SETUP.EXE");
    EXPECT_EQ(line.BaggageArguments().size(), 10u);
  }
  {
    const TCommandLine line =
        ParseCommandLine("C:\\Dist\\SETUP.EXE", {"/silent:yes", "/INF=", "/Launch", "/NOMSG"});
    EXPECT_FALSE(line.Silent);
    EXPECT_TRUE(line.LaunchAfterRun);
    EXPECT_TRUE(line.NoMessages);
    EXPECT_EQ(line.ScriptFile, "C:\\Dist\\SETUP.inf");
    EXPECT_EQ(line.RegArgument, "");
    EXPECT_EQ(line.UnknownSwitches, (std::vector<std::string>{"/silent:yes"}));
  }
  EXPECT_EQ(ParseCommandLine("C:\\v1.0\\setup", {}).ScriptFile, "C:\\v1.0\\setup.inf");
  EXPECT_EQ(ParseCommandLine("C:\\v1.0\\setup", {}).ProgramDir(), "C:\\v1.0");
}

TEST(SetupScript, RecordsSectionsAndTheirMerge) {
  TempDir dir;
  TestRegistry registry;
  using platform::RegRoot;
  const std::string base = registry.Path() + "\\";
  {
    auto smk = platform::RegKey::Create(RegRoot::CurrentUser, base + "SMK_3_12");
    smk.WriteString("Title", "Smoke");
    smk.WriteString("InstallDir", "C:\\Smoke");
    smk.WriteString("FileGroup1", "C:\\Smoke\\bin");
    smk.WriteString("FileGroup1File1", "a.exe");
    smk.WriteString("FileGroup1File2", "b.dll");
    smk.WriteString("FileGroup2", "C:\\Smoke\\doc");
    smk.WriteString("FileGroup3File1", "lost.txt");  // no group 3: never read
    smk.WriteString("ShellLink1", "C:\\Links\\Smoke.lnk");
    smk.WriteString("ShellLink3", "C:\\Links\\Lost.lnk");
    smk.Close();
    auto alt = platform::RegKey::Create(RegRoot::CurrentUser, base + "AltKey");
    alt.WriteDWord("AltRegKey", 1);
    alt.WriteString("Title", "Alt Product");
    alt.Close();
    auto negative = platform::RegKey::Create(RegRoot::CurrentUser, base + "NEG_-1_2");
    negative.WriteString("Title", "Negative");
    negative.Close();
    auto oldie = platform::RegKey::Create(RegRoot::CurrentUser, base + "Oldie - Version 2.0");
    oldie.WriteDWord("RestartDialog", 1);
    oldie.Close();
    auto lexi = platform::RegKey::Create(RegRoot::CurrentUser, base + "Lexi");
    lexi.WriteString("InstallationPath", "C:\\Lexi\\");
    lexi.Close();
    platform::RegKey::Create(RegRoot::CurrentUser, base + "Empty").Close();
  }
  dir.Write("src/one.txt", "1");
  dir.Write("src/two.txt", "2");
  dir.Write("src/sub/skip.txt", "folder entries are skipped");
  dir.Write("SETUP.inf",
            "[Globals]\r\nRegBaseKey=" + registry.Rooted() +
                "\r\nLanguage=0x101\r\nHideLogo=1\r\n"
                "[Application1]\r\nProductCode=SMK\r\nVersion=3\r\nProductID=12\r\nTitle=Script\r\n"
                "[Application2]\r\nProductCode=SMK\r\nVersion=3\r\nProductID=12\r\n"
                "[Application3]\r\nProductCode=NEW\r\nVersion=0x10\r\nProductID=nonsense\r\n"
                "AltRegKey=Alt Product\r\n"
                "[Application4]\r\nProductCode=FRESH\r\nInstallDir=<ProgramFilesDir>\\Fresh\r\n"
                "DeleteFile1=a\r\nDeleteFile2=\r\nDeleteFile4=d\r\n"
                "[Application4.FileGroup1]\r\nDestDir=x\r\nFileSpec1=src\\*.txt\r\n"
                "FileSpec2=@MEMBER.DAT\r\nFileSpec3=src\\one.txt\r\nFileSpec5=never\r\n"
                "UpdateMethod=UPDNEVER\r\n"
                "[Application4.FileGroup3]\r\nDestDir=never\r\n"
                "[Application4.ShellLink1]\r\nCommand=x\r\nShortCut=Ctrl+Alt+F5\r\nRemove=0\r\n"
                "[Application4.ShellLink2]\r\nDescription=d\r\n"
                "[Application4.ShellLink3]\r\n"
                "[Application4.ShellLink4]\r\nCommand=never\r\n"
                "[Application4.RegEntry1]\r\nKey=hkey_local_machine\\Software\\Acme\r\n"
                "Type=RDINTEGER\r\n"
                "[Application4.RegEntry2]\r\nKey=Software\\Acme\r\nType=rdQword\r\n"
                "[Application6]\r\nProductCode=SKIPPED\r\n");
  FakeUI ui;
  TSetupDataModule dm(ui, dir.win("SETUP.EXE"), {});
  dm.Create();

  EXPECT_EQ(dm.Globals.RegRoot, platform::RegRoot::CurrentUser);
  EXPECT_EQ(dm.Globals.RegBaseKey, "\\" + registry.Path());
  EXPECT_TRUE(dm.Globals.HideLogo);
  EXPECT_EQ(dm.Language, course::LANG_GERMAN);  // only the low 8 bits count
  // Records in the registry's order, then the one new application; the negative record and
  // the key without markers are no records.
  std::vector<std::string> titles;
  for (const auto& app : dm.Applications) titles.push_back(app->Title);
  ASSERT_EQ(dm.Applications.size(), 5u) << ::testing::PrintToString(titles);
  TSetupApplication* smk = nullptr;
  TSetupApplication* alt = nullptr;
  TSetupApplication* oldie = nullptr;
  TSetupApplication* lexi = nullptr;
  for (const auto& app : dm.Applications) {
    if (app->Title == "Smoke") smk = app.get();
    if (app->Title == "Alt Product") alt = app.get();
    if (app->Title == "Oldie - Version 2.0") oldie = app.get();
    if (app->Title == "Lexi") lexi = app.get();
  }
  ASSERT_TRUE(smk && alt && oldie && lexi);
  // Both script sections with the record's identity merge into the record; the later one's
  // number wins, and the record keeps its title, state and recorded items.
  EXPECT_EQ(smk->ScriptIndex, 2);
  EXPECT_TRUE(smk->Installed);
  EXPECT_FALSE(smk->Selected);
  EXPECT_EQ(smk->InstallDir, "C:\\Smoke");
  ASSERT_EQ(smk->FileGroups.size(), 2u);
  EXPECT_EQ(smk->FileGroups[0]->Files, (std::vector<std::string>{"a.exe", "b.dll"}));
  EXPECT_TRUE(smk->FileGroups[1]->Files.empty());
  ASSERT_EQ(smk->ShellLinks.size(), 1u);
  EXPECT_EQ(smk->ShellLinks[0]->Folder, "C:\\Links\\Smoke.lnk");
  // Application3 names the alternative record by its title.
  EXPECT_EQ(alt->ScriptIndex, 3);
  EXPECT_EQ(alt->Version, -1);
  EXPECT_EQ(alt->RecordKeyName, "AltKey");
  const std::string links =
      IncludeTrailingBackslash(GetSpecialFolder(platform::kFolderPrograms)) + "Vantorel\\";
  ASSERT_EQ(oldie->ShellLinks.size(), 1u);
  EXPECT_EQ(oldie->ShellLinks[0]->Folder, links + "Oldie.lnk");
  EXPECT_TRUE(oldie->FileGroups.empty());
  ASSERT_EQ(lexi->FileGroups.size(), 1u);
  EXPECT_EQ(lexi->FileGroups[0]->DestDir, "C:\\Lexi");
  EXPECT_EQ(lexi->FileGroups[0]->Files, (std::vector<std::string>{"lexicon.adb", "LX4.dat"}));
  EXPECT_EQ(lexi->ShellLinks[0]->Folder, links + "Lexi.lnk");

  // The new application: sections, keys and sub-sections end at their first gap.
  const TSetupApplication& fresh = *dm.Applications.back();
  EXPECT_EQ(fresh.ProductCode, "FRESH");
  EXPECT_EQ(fresh.ScriptIndex, 4);
  EXPECT_FALSE(fresh.Installed);
  EXPECT_TRUE(fresh.Selected);
  EXPECT_EQ(fresh.DeleteFiles, (std::vector<std::string>{"a", ""}));
  ASSERT_EQ(fresh.FileGroups.size(), 1u);
  const TSetupFileGroup& group = *fresh.FileGroups[0];
  EXPECT_EQ(group.UpdateMethod, updNever);
  ASSERT_EQ(group.Files.size(), 4u);
  EXPECT_EQ(group.Files[2], "@MEMBER.DAT");
  EXPECT_EQ(group.Files[3], "src\\one.txt");
  ASSERT_EQ(fresh.ShellLinks.size(), 2u);
  EXPECT_EQ(fresh.ShellLinks[0]->ShortCut, 0x0674);  // Ctrl and Alt, VK_F5
  EXPECT_FALSE(fresh.ShellLinks[0]->Remove);
  EXPECT_TRUE(fresh.ShellLinks[1]->Remove);
  EXPECT_EQ(fresh.ShellLinks[1]->ShowCmd, 1);
  ASSERT_EQ(fresh.RegEntries.size(), 2u);
  EXPECT_EQ(fresh.RegEntries[0]->Root, platform::RegRoot::LocalMachine);
  EXPECT_EQ(fresh.RegEntries[0]->Key, "\\Software\\Acme");
  EXPECT_EQ(fresh.RegEntries[0]->DataType, rdInteger);
  EXPECT_EQ(fresh.RegEntries[1]->Root, platform::RegRoot::CurrentUser);
  EXPECT_EQ(fresh.RegEntries[1]->Key, "Software\\Acme");
  EXPECT_EQ(fresh.RegEntries[1]->DataType, kUnknownEnum);

  // The new application of section 3 did not join: it merged into the alternative record.
  // No application speaks German, so every text is the placeholder.
  EXPECT_EQ(dm.LanguageIndex, -1);
  EXPECT_EQ(dm.Texts.ButtonCancel,
            "\xC2\xAB"
            "ButtonCancel|German\xC2\xBB");
  EXPECT_EQ(RecordKey("FRESH", 0, -1), "FRESH_0_-1");
}

TEST(SetupScript, BaseKeyFormsAndRefusedSections) {
  TempDir dir;
  FakeUI ui;
  TSetupDataModule dm(ui, dir.win("SETUP.EXE"), {});
  const auto baseOf = [&](const std::string& value) {
    dir.Write("base.inf", "[Globals]\r\nRegBaseKey=" + value + "\r\n");
    dm.ReadScript(dir.win("base.inf"));
    return std::make_pair(dm.Globals.RegRoot, dm.Globals.RegBaseKey);
  };
  using platform::RegRoot;
  EXPECT_EQ(baseOf("HKEY_LOCAL_MACHINE\\Software\\Acme"),
            std::make_pair(RegRoot::LocalMachine, std::string("\\Software\\Acme")));
  EXPECT_EQ(baseOf("HKEY_CURRENT_USER"),
            std::make_pair(RegRoot::CurrentUser, std::string("\\Software\\Vantorel")));
  EXPECT_EQ(baseOf("Software\\Acme"),
            std::make_pair(RegRoot::CurrentUser, std::string("Software\\Acme")));
  EXPECT_EQ(baseOf("hkey_classes_root\\x"),
            std::make_pair(RegRoot::ClassesRoot, std::string("\\x")));

  dir.Write("bad.inf", "[Application1]\r\nTitle=Bad\r\nInstallDir=<InstallDir>\\Sub\r\n");
  EXPECT_THROW_MSG(dm.ReadScript(dir.win("bad.inf")), ESetup,
                   "Application 'Bad': Invalid installdir '<InstallDir>\\Sub'");
  dir.Write("nomatch.inf",
            "[Application1]\r\nTitle=x\r\n[Application1.FileGroup1]\r\n"
            "FileSpec1=missing\\*.xyz\r\n");
  try {
    dm.ReadScript(dir.win("nomatch.inf"));
    ADD_FAILURE() << "no error";
  } catch (const OSError& error) {
    EXPECT_EQ(std::string(error.what()).rfind("No matching file found for 'missing\\*.xyz'\r\n", 0),
              0u)
        << error.what();
  }
}

TEST(SetupMacros, ExpansionReferencesAndErrors) {
  TempDir dir;
  dir.Write("SETUP.inf",
            "[Application1]\r\nProductCode=ABC\r\nVersion=7\r\nProductID=3\r\n"
            "Title=T\r\nInstallDir=<ProgramFilesDir>\\Acme\r\n"
            "[Application1.FileGroup1]\r\nDestDir=[Application1.InstallDir]\\One\r\n"
            "[Application1.FileGroup2]\r\nDestDir=<WinDir>\\Two\r\n"
            "[Application2]\r\nProductCode=B\r\nTitle=B "
            "[x]\r\nInstallDir=[application1.installdir]\\B\r\n"
            "[Application3]\r\nProductCode=C\r\nInstallDir=[Application3.InstallDir]\\x\r\n");
  FakeUI ui;
  TSetupDataModule dm(ui, dir.win("SETUP.EXE"), {});
  dm.ReadScript(dir.win("SETUP.inf"));
  const std::string programFiles = GetProgramFilesDir();
  const auto expand = [&](std::string text) {
    dm.ExpandDirMacros(text);
    return text;
  };
  EXPECT_EQ(expand("<ProgramFilesDir>\\Acme"), programFiles + "\\Acme");
  EXPECT_EQ(expand("<SrcDir>;<SrcDir>"), dir.win() + ";" + dir.win());
  EXPECT_EQ(expand("<SrcDisk>"), dir.win().substr(0, 2));
  EXPECT_EQ(expand("[Application2.InstallDir]"), programFiles + "\\Acme\\B");
  EXPECT_EQ(expand("[APPLICATION1.FileGroup2]"), GetWindowsDir() + "\\Two");
  EXPECT_EQ(expand("[Application1.Release]_[Application1.ProductID]"), "7_3");
  EXPECT_EQ(expand("[Application1.Title]x]"), "Tx]");
  const auto fails = [&](const std::string& text, const std::string& shown) {
    EXPECT_THROW_MSG(expand(text), ESetup, "Invalid directory reference '" + shown + "'");
  };
  fails("<programfilesdir>\\Acme", "<programfilesdir>\\Acme");
  fails("<InstallDir>\\Data", "<InstallDir>\\Data");
  fails("[Application0.Title]", "[Application0.Title]");
  fails("[Application4.Title]", "[Application4.Title]");
  // A directory that refers to itself is refused instead of expanding for ever.
  fails("[Application3.InstallDir]", "[Application3.InstallDir]\\x");
  fails("[Application1.Titel]", "[Application1.Titel]");
  fails("[Application1.FileGroup3]", "[Application1.FileGroup3]");
  fails("x[Application1.Title", "[Application1.Title");
  fails("[Appli[cation1]", "[Appli[cation1]");
  // A title is inserted unchecked, but a bracket in it starts a new reference.
  fails("[Application2.Title]", "[x]");
}

// A section that describes an installed application stands for it: references give the folders
// its record holds, whatever the script says, and an add-on builds on them.
TEST(SetupMacros, AnInstalledApplicationsFoldersAreTheRecordedOnes) {
  TempDir dir;
  TestRegistry registry;
  auto record =
      platform::RegKey::Create(platform::RegRoot::CurrentUser, registry.Path() + "\\ABC_7_3");
  record.WriteString("Title", "Recorded");
  record.WriteString("InstallDir", "D:\\Chosen <x>");
  record.WriteString("FileGroup1", "D:\\Chosen <x>\\One");
  record.Close();
  dir.Write(
      "SETUP.inf",
      "[Globals]\r\nRegBaseKey=" + registry.Rooted() +
          "\r\n[Application1]\r\nProductCode=ABC\r\nVersion=7\r\nProductID=3\r\n"
          "InstallDir=<ProgramFilesDir>\\Acme\r\n"
          "[Application1.FileGroup1]\r\nDestDir=[Application1.InstallDir]\\Elsewhere\r\n"
          "[Application2]\r\nProductCode=ADD\r\nInstallDir=[Application1.InstallDir]\\Addon\r\n");
  FakeUI ui;
  TSetupDataModule dm(ui, dir.win("SETUP.EXE"), {});
  dm.ReadScript(dir.win("SETUP.inf"));
  const auto expand = [&](std::string text) {
    dm.ExpandDirMacros(text);
    return text;
  };
  EXPECT_EQ(expand("[Application1.InstallDir]"), "D:\\Chosen <x>");
  EXPECT_EQ(expand("[Application1.FileGroup1]"), "D:\\Chosen <x>\\One");
  EXPECT_EQ(expand("[Application2.InstallDir]"), "D:\\Chosen <x>\\Addon");
}

TEST(SetupLanguage, FromWindowsLanguageIdentifiers) {
  EXPECT_EQ(LanguageFromLangID(0x0809), course::LANG_ENGLISH_UK);
  EXPECT_EQ(LanguageFromLangID(0x0409), course::LANG_ENGLISH_US);
  EXPECT_EQ(LanguageFromLangID(0x0407), course::LANG_GERMAN);
  EXPECT_EQ(LanguageFromLangID(0x041D), course::LANG_SWEDISH);
  EXPECT_EQ(LanguageFromLangID(0x0425), course::LANG_NONE);  // Estonian
  EXPECT_EQ(FormatWithDrive("Kein Platz auf %s: (100%%)", 'D'), "Kein Platz auf D: (100%)");
  EXPECT_EQ(FormatWithDrive("%s %d %-5s %", 'E'), "E E E %");
  std::string code;
  std::int32_t version = 0;
  std::int32_t id = 0;
  EXPECT_TRUE(ParseRecordKey("A_B_3_4", code, version, id) == false);
  EXPECT_TRUE(ParseRecordKey("ABC__", code, version, id));
  EXPECT_EQ(std::make_tuple(code, version, id), std::make_tuple(std::string("ABC"), 0, 0));
  EXPECT_FALSE(ParseRecordKey("ABC_-1_2", code, version, id));
  EXPECT_FALSE(ParseRecordKey("ABC_1", code, version, id));
}

// The copy of the program kept for removal has no baggage to take the window texts from: the
// removal script beside it holds the texts of the run that installed, whatever language and
// characters they have, and the copy's window speaks them.
TEST(SetupLanguage, TheKeptProgramSpeaksTheTextsOfTheInstall) {
  TestRegistry registry;
  TempDir dir;
  dir.Write("SETUP.EXE", std::string(600, 'p'));
  const std::string marker =
      course::TTextpoolInterface::MarkerText(course::LANG_RUSSIAN, course::textid::LabelDirectory);
  TWindowTexts texts;
  texts.ButtonCancel = "\xD0\x9E\xD1\x82\xD0\xBC\xD0\xB5\xD0\xBD\xD0\xB0";  // outside ANSI
  texts.ButtonContinue = "  \"Weiter\" ";  // blanks at both ends, quotes
  texts.MsgCaptionInformation = "\"";
  texts.MsgCaptionWarning = "Achtung \\";
  texts.SConfirmCancel = "\\n is no line break";
  texts.MsgInstall = "Line one\r\nC:\\Program\\new\tand ; = [Texts]\nend";
  texts.LabelDirectory = marker;  // missing in the run: a marker again
  texts.SNoButtonCaption = "";    // missing too
  texts.SOutOfDiskSpace = "Laufwerk %s:\\ ist voll.";
  texts.SSetupCompleted = std::string(2100, 'x');  // longer than a script value can be
  texts.SYesButtonCaption = "\xE3\x81\xAF\xE3\x81\x84";
  const std::string copy = KeepCachedProgram(dir.win("SETUP.EXE"), platform::RegRoot::CurrentUser,
                                             registry.Path(), course::LANG_RUSSIAN, texts);
  const std::string folder = CachedProgramFolder(platform::RegRoot::CurrentUser, registry.Path());
  EXPECT_EQ(copy, folder + "\\setup.exe");

  // The copy's removal run reads the script beside it.
  FakeUI ui;
  TSetupDataModule dm(ui, copy, {"/remove=NONE_1_1"});
  dm.Create();
  EXPECT_EQ(dm.Language, course::LANG_RUSSIAN);
  EXPECT_EQ(dm.LanguageIndex, -1);
  TWindowTexts expected = texts;
  expected.SNoButtonCaption = course::TTextpoolInterface::MarkerText(
      course::LANG_RUSSIAN, course::textid::SNoButtonCaption);
  expected.SSetupCompleted =
      course::TTextpoolInterface::MarkerText(course::LANG_RUSSIAN, course::textid::SSetupCompleted);
  for (const TWindowTexts::Field& field : TWindowTexts::kFields) {
    EXPECT_EQ(dm.Texts.*field.text, expected.*field.text)
        << course::TTextpoolInterface::IdentifierOf(field.id);
  }

  // A script's own texts come after those of the applications of the window's language.
  dir.Write("other.inf",
            "[Globals]\r\nLanguage=11\r\n[Texts]\r\nButtonCancel=Nein\r\n"
            "ButtonContinue=\"  Los \"\r\n");
  dm.ReadScript(dir.win("other.inf"));
  TWindowTexts own;
  own.ButtonCancel = "Stop";
  const TWindowTexts chosen =
      ChooseWindowTexts({{course::LANG_RUSSIAN, &own}}, course::LANG_RUSSIAN, 0, &dm.Globals.Texts);
  EXPECT_EQ(chosen.ButtonCancel, "Stop");
  EXPECT_EQ(chosen.ButtonContinue, "  Los ");
  EXPECT_EQ(chosen.LabelDirectory, marker);

  RemoveCachedProgram(platform::RegRoot::CurrentUser, registry.Path(), dir.win("SETUP.EXE"));
  EXPECT_FALSE(DirExists(folder));
}

}  // namespace
}  // namespace valise::setup
