// `valise check` over a distribution folder with one of each mistake a publisher makes in a
// setup script, and over the demo's, which is clean.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/host_paths.h"
#include "platform/text.h"
#include "test_support.h"

namespace valise::testing {
namespace {

struct Outcome {
  int exitCode = -1;
  std::string output;
  std::string errors;
};

// `environment`: variables to set for the command, as "NAME='value' ".
Outcome RunCheck(const TempDir& dir, const std::string& arguments,
                 const std::string& environment = {}) {
  const std::string output = (dir.host() / "stdout.txt").string();
  const std::string errors = (dir.host() / "stderr.txt").string();
  const std::string command = "cd '" + dir.host().string() + "' && " + environment +
                              "'" VALISE_EXE "' check " + arguments + " >'" + output + "' 2>'" +
                              errors + "'";
  const int status = std::system(command.c_str());
  Outcome outcome;
  if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
  outcome.output = ReadHostFile(output);
  outcome.errors = ReadHostFile(errors);
  return outcome;
}

// Runs `valise` with the arguments in the folder; fails the test when it does not succeed.
void RunValise(const TempDir& dir, const std::string& arguments) {
  const std::string command =
      "cd '" + dir.host().string() + "' && '" VALISE_EXE "' " + arguments + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << arguments;
}

// The window texts a script gives in [Texts] count where no application brings them; the
// section's keys are the text keys.
TEST(ValiseCheck, TheScriptsOwnTextsCount) {
  TempDir dir;
  dir.Write("dist/SETUP", "a setup program without a baggage");
  dir.Write("dist/SETUP.inf",
            "[Globals]\r\nLanguage=1\r\n[Texts]\r\nButtonCancel=\"Abbrechen\"\r\n"
            "Cancel=Nein\r\n[Application1]\r\nTitle=A\r\nProductCode=A\r\n");
  const Outcome run = RunCheck(dir, "dist");
  const std::size_t count = run.output.find("2 findings in ");
  ASSERT_NE(count, std::string::npos) << run.output << run.errors;
  EXPECT_EQ(run.output.substr(0, count),
            "SETUP.inf:2: the window texts in German lack ButtonContinue, MsgCaptionInformation, "
            "MsgCaptionWarning, SConfirmCancel, MsgInstall, LabelDirectory, SNoButtonCaption, "
            "SOutOfDiskSpace, SSetupCompleted, SYesButtonCaption; the window shows "
            "\xC2\xAB"
            "ButtonContinue|German\xC2\xBB and the like: add them to the text pool of an "
            "application in German\n"
            "SETUP.inf:5: unknown key Cancel in [Texts]; keys read there: ButtonCancel, "
            "ButtonContinue, MsgCaptionInformation, MsgCaptionWarning, SConfirmCancel, MsgInstall, "
            "LabelDirectory, SNoButtonCaption, SOutOfDiskSpace, SSetupCompleted, "
            "SYesButtonCaption\n");
}

TEST(ValiseCheck, ReportsEveryMistakeWithItsLine) {
  TempDir dir;
  dir.Write("dist/SETUP", "a setup program without a baggage");
  dir.Write("dist/files/a.txt", "a");
  dir.Write("dist/DOCS/GUIDE1.TXT", "guide");
  // Loose-file baggages: one without tables, one whose project table lacks fields, one whose
  // product speaks French while the text pool has no French.
  dir.Write("dist/NOTABLES/LESSON.DAT", "a lesson");
  const std::string demoTexts = VALISE_DEMO_DIST "/../stage/_TXT.ADB";
  std::filesystem::create_directories(dir.host() / "dist/SHORT");
  std::filesystem::copy_file(demoTexts, dir.host() / "dist/SHORT/_TXT.ADB");
  dir.Write("short.txt",
            "table codepage=1252\n"
            "field ID integer\n"
            "field TITLE string 81\n"
            "field PRODUCTCODE string 21\n"
            "field TRANSLATIONLANGUAGE smallint\n"
            "record 7 \"Short\" \"VSHORT\" 2\n");
  RunValise(dir, "adb build short.txt dist/SHORT/_PRJ.ADB");
  std::filesystem::create_directories(dir.host() / "dist/FRENCH");
  std::filesystem::copy_file(demoTexts, dir.host() / "dist/FRENCH/_TXT.ADB");
  dir.Write("french.txt",
            "table codepage=1252\n"
            "field ID integer\n"
            "field TITLE string 81\n"
            "field PRODUCTCODE string 21\n"
            "field COURSELANGUAGE smallint\n"
            "field TRANSLATIONLANGUAGES string 41\n"
            "field VIDEOSTILL string 41\n"
            "field INTROID string 21\n"
            "field EXTROID string 21\n"
            "field MAPIMAGE string 41\n"
            "field RELEASE word\n"
            "field COURSE memo\n"
            "field OPTIONS memo\n"
            "record 8 \"Allemand\" \"VFRENCH\" 4 \"5\" \"\" \"\" \"\" \"\" 1 \"\" \"\"\n");
  RunValise(dir, "adb build french.txt dist/FRENCH/_PRJ.ADB");
  std::filesystem::copy_file(VALISE_DEMO_DIST "/DEMO.BAG", dir.host() / "dist/DEMO.BAG");
  // A baggage cut short in its copying.
  const std::string demoBag = ReadHostFile(dir.host() / "dist/DEMO.BAG");
  dir.Write("dist/DAMAGED.BAG", demoBag.substr(0, demoBag.size() / 2));
  // Saved as UTF-8 without a byte-order mark.
  dir.Write("dist/SETUP.inf",
            "[Globals]\r\n"
            "RegBaseKey=HKEY_CURRENT_USER\\Software\\Test\r\n"
            "HideLogo=yes\r\n"
            "[Applicaton1]\r\n"
            "Title=Misspelt\r\n"
            "[Application1]\r\n"
            "Title=Werkzeugkästen\r\n"
            "Baggage=<SrcDir>\\DEMO.BAG\r\n"
            "AllowCustomInstallDir=yes\r\n"
            "InstallDir=<ProgramFileDir>\\Acme\\Notes\r\n"
            "DeleteFile2=C:\\old.ini\r\n"
            "[Application1.FileGroup1]\r\n"
            "DestDir=<srcdir>\\Tools\r\n"
            "UpdateMethod=date\r\n"
            "FileSpec=files\\a.txt\r\n"
            "FileSpec1=@MISSING.DAT\r\n"
            "FileSpec2=DOCS/GUIDE1.TXT\r\n"
            "FileSpec4=missing\\*.txt\r\n"
            "[Application1.FileGroup3]\r\n"
            "DestDir=C:\\Tools\\x\r\n"
            "[Application1.RegEntry1]\r\n"
            "Name=[Application9.Title] [Application1.Version]\r\n"
            "Type=REG_DWORD\r\n"
            "Value=1\r\n"
            "value=2\r\n"
            "[Application1.ShellLink1\r\n"
            "Command=C:\\Tools\\a.txt\r\n"
            "[Application2]\r\n"
            "ProductCode=MY_TOOLS\r\n"
            "Version=1\r\n"
            "ProductID=2\r\n"
            "[Application2.FileGroup1]\r\n"
            "DestDir=Tools\r\n"
            "FileSpec1=@TOOL.EXE\r\n"
            "[Application3]\r\n"
            "Baggage=<SrcDir>\\DEMO.BAG\r\n"
            "[Application4]\r\n"
            "Baggage=<SrcDir>\\NOSUCH.BAG\r\n"
            "[Application5]\r\n"
            "Baggage=<SrcDir>\\DAMAGED.BAG\r\n"
            "[Application6]\r\n"
            "Baggage=<SrcDir>\\NOTABLES\r\n"
            "[Application7]\r\n"
            "Baggage=<SrcDir>\\SHORT\r\n"
            "[Application8]\r\n"
            "Baggage=<SrcDir>\\FRENCH\r\n"
            "[Application10]\r\n"
            "Title=After a gap\r\n"
            "[Application10.ShellLink1]\r\n"
            "Command=C:\\x\r\n"
            "[Application1]\r\n"
            "Title=Again\r\n");
  const Outcome run = RunCheck(dir, "dist");
  const std::string dist = platform::ToWindowsPath((dir.host() / "dist").string());
  // The baggage module names a container by its upper-cased path.
  const std::string upperDist = platform::UpperCase(dist);
  EXPECT_EQ(
      run.output,
      "SETUP.inf:3: HideLogo=yes is not a number and reads as the default; write a number (1 or 0 "
      "for yes or no)\n"
      "SETUP.inf:4: unknown section [Applicaton1]; setup reads [Globals], [Texts], "
      "[ApplicationN] and [ApplicationN.FileGroupN|ShellLinkN|RegEntryN]\n"
      "SETUP.inf:7: non-ASCII text without a byte-order mark is read in the ANSI code page (the "
      "file looks like UTF-8: its texts would come out garbled); save the script as UTF-8 with a "
      "byte-order mark\n"
      "SETUP.inf:9: AllowCustomInstallDir=yes is not a number and reads as the default; write a "
      "number (1 or 0 for yes or no)\n"
      "SETUP.inf:10: InstallDir=<ProgramFileDir>\\Acme\\Notes: <ProgramFileDir> is no directory "
      "macro; the macros are <ProgramFilesDir>, <CommonFilesDir>, <SrcDir>, <WinDir>, "
      "<ProgramsMenuFolder>, <DesktopFolder> and others (see docs/setup-script.md)\n"
      "SETUP.inf:11: DeleteFile2 is never read: there is no DeleteFile1 (DeleteFile numbers run 1, "
      "2, 3, ...)\n"
      "SETUP.inf:13: DestDir=<srcdir>\\Tools: <srcdir> is no directory macro; macro names are "
      "case-sensitive: write <SrcDir>\n"
      "SETUP.inf:14: UpdateMethod=date names none of updVersion, updDate, updAlways, updNever; "
      "existing files are kept as with updNever\n"
      "SETUP.inf:15: unknown key FileSpec in [Application1.FileGroup1] (numbered: FileSpec1, "
      "FileSpec2, ...); keys read there: DestDir, Name, UpdateMethod, Optional, FileSpecN\n"
      "SETUP.inf:16: FileSpec1=@MISSING.DAT: the baggage " +
          dist +
          "\\DEMO.BAG has no member MISSING.DAT\n"
          "SETUP.inf:17: FileSpec2=DOCS/GUIDE1.TXT uses \"/\"; setup paths are written with "
          "\"\\\"\n"
          "SETUP.inf:18: FileSpec4=missing\\*.txt matches no file in " +
          dist +
          "\n"
          "SETUP.inf:18: FileSpec4 is never read: there is no FileSpec3 (FileSpec numbers run 1, "
          "2, 3, ...)\n"
          "SETUP.inf:19: [Application1.FileGroup3] is never read: there is no "
          "[Application1.FileGroup2] (FileGroup numbers run 1, 2, 3, ...)\n"
          "SETUP.inf:22: Name=[Application9.Title] [Application1.Version]: [Application9.Title] "
          "refers to [Application9], which the script does not offer\n"
          "SETUP.inf:22: Name=[Application9.Title] [Application1.Version]: [Application1.Version] "
          "names no field: InstallDir, Title, ProductCode, Release, ProductID or FileGroupN\n"
          "SETUP.inf:23: Type=REG_DWORD names none of rdString, rdExpandString, rdInteger, "
          "rdBinary, rdUnknown; the entry writes no value\n"
          "SETUP.inf:25: value appears again in [Application1.RegEntry1] (first at line 24); only "
          "the first is read\n"
          "SETUP.inf:26: section header without \"]\": [Application1.ShellLink1 is not read as a "
          "section\n"
          "SETUP.inf:27: unknown key Command in [Application1.RegEntry1]; keys read there: Key, "
          "Name, Type, Value\n"
          "SETUP.inf:29: Application2: the record key 'MY_TOOLS_1_2' cannot be read back (a "
          "product code without \"_\" and \"\\\", a release and an ID from 0 to 2147483647)\n"
          "SETUP.inf:33: DestDir=Tools: the folder Tools has no drive; setup refuses to install to "
          "a folder that is not a full path like C:\\...\n"
          "SETUP.inf:34: FileSpec1=@TOOL.EXE: the setup program " +
          dist + "\\SETUP carries no baggage, nor is there a folder " + dist +
          "\\BAG of its files\n"
          "SETUP.inf:36: Application3 has the record key VDEMO_1_1001 of Application1: setup takes "
          "it for Application1 and never installs it\n"
          "SETUP.inf:38: Baggage=<SrcDir>\\NOSUCH.BAG: the baggage " +
          dist +
          "\\NOSUCH.BAG cannot be opened: Error accessing .BAG file!\n"
          "SETUP.inf:40: Baggage=<SrcDir>\\DAMAGED.BAG: the baggage " +
          dist +
          "\\DAMAGED.BAG cannot be read: BagFileOpen: entry _TXT.ADB reaches beyond the end of " +
          upperDist +
          "\\DAMAGED.BAG\n"
          "SETUP.inf:42: Baggage=<SrcDir>\\NOTABLES: the baggage " +
          dist +
          "\\NOTABLES has no table _PRJ.ADB\n"
          "SETUP.inf:42: Baggage=<SrcDir>\\NOTABLES: the baggage " +
          dist +
          "\\NOTABLES has no table _TXT.ADB\n"
          "SETUP.inf:44: Baggage=<SrcDir>\\SHORT: the project table _PRJ.ADB lacks the fields "
          "COURSELANGUAGE (integer), VIDEOSTILL (text), INTROID (text), EXTROID (text), MAPIMAGE "
          "(text), COURSE (memo), OPTIONS (text)\n"
          "SETUP.inf:46: the window texts in French lack ButtonCancel, ButtonContinue, "
          "MsgCaptionInformation, MsgCaptionWarning, SConfirmCancel, MsgInstall, LabelDirectory, "
          "SNoButtonCaption, SOutOfDiskSpace, SSetupCompleted, SYesButtonCaption; the window shows "
          "\xC2\xAB"
          "ButtonCancel|French\xC2\xBB and the like: add them to the text pool of an application "
          "in French\n"
          "SETUP.inf:47: [Application10] is never read: there is no [Application9] (Application "
          "numbers run 1, 2, 3, ...)\n"
          "SETUP.inf:49: [Application10.ShellLink1] is never read: [Application10] is not read\n"
          "SETUP.inf:51: [Application1] appears again (first at line 6); only the first is read\n"
          "33 findings in " +
          dist + "\\SETUP.inf\n");
  EXPECT_EQ(run.exitCode, 1) << run.errors;

  // The demo's distribution folder is clean, also where there is no prefix: the check makes
  // none.
  const std::filesystem::path prefix = dir.host() / "no-prefix";
  const Outcome demo =
      RunCheck(dir, "'" VALISE_DEMO_DIST "'", "WINEPREFIX='" + prefix.string() + "' ");
  EXPECT_EQ(demo.exitCode, 0) << demo.output << demo.errors;
  EXPECT_FALSE(std::filesystem::exists(prefix));

  // A folder without a script cannot be checked.
  dir.Write("empty/README.TXT", "nothing");
  const Outcome empty = RunCheck(dir, "empty");
  EXPECT_EQ(empty.exitCode, 3);
  EXPECT_NE(empty.errors.find("no setup script in"), std::string::npos) << empty.errors;
}

}  // namespace
}  // namespace valise::testing
