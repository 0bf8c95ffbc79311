// `valise check` over a distribution folder with one of each mistake a publisher makes in a
// setup script, and over the demo's, which is clean.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/host_paths.h"
#include "test_support.h"

namespace valise::testing {
namespace {

struct Outcome {
  int exitCode = -1;
  std::string output;
  std::string errors;
};

Outcome RunCheck(const TempDir& dir, const std::string& arguments) {
  const std::string output = (dir.host() / "stdout.txt").string();
  const std::string errors = (dir.host() / "stderr.txt").string();
  const std::string command = "cd '" + dir.host().string() + "' && '" VALISE_EXE "' check " +
                              arguments + " >'" + output + "' 2>'" + errors + "'";
  const int status = std::system(command.c_str());
  Outcome outcome;
  if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
  outcome.output = ReadHostFile(output);
  outcome.errors = ReadHostFile(errors);
  return outcome;
}

TEST(ValiseCheck, ReportsEveryMistakeWithItsLine) {
  TempDir dir;
  dir.Write("dist/SETUP", "program");
  dir.Write("dist/files/a.txt", "a");
  dir.Write("dist/DOCS/GUIDE1.TXT", "guide");
  dir.Write("dist/BAGFILES/LESSON.DAT", "a baggage of loose files");
  // Saved as UTF-8 without a byte-order mark.
  dir.Write("dist/SETUP.inf",
            "[Globals]\r\n"
            "RegBaseKey=HKEY_CURRENT_USER\\Software\\Test\r\n"
            "HideLogo=yes\r\n"
            "[Applicaton1]\r\n"
            "Title=Misspelt\r\n"
            "[Application1]\r\n"
            "Title=Werkzeugkästen\r\n"
            "Baggage=<SrcDir>\\BAGFILES\r\n"
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
            "Name=[Application2.Title] [Application1.Version]\r\n"
            "Type=REG_DWORD\r\n"
            "Value=1\r\n"
            "value=2\r\n"
            "[Application1.ShellLink1\r\n"
            "Command=C:\\Tools\\a.txt\r\n"
            "[Application3]\r\n"
            "Title=After a gap\r\n"
            "[Application3.ShellLink1]\r\n"
            "Command=C:\\x\r\n"
            "[Application1]\r\n"
            "Title=Again\r\n");
  const Outcome run = RunCheck(dir, "dist");
  const std::string dist = platform::ToWindowsPath((dir.host() / "dist").string());
  const std::string keys = "DestDir, Name, UpdateMethod, Optional, FileSpecN";
  EXPECT_EQ(run.output,
            "SETUP.inf:3: HideLogo=yes is not a number and reads as the default; write a number "
            "(1 or 0 for yes or no)\n"
            "SETUP.inf:4: unknown section [Applicaton1]; setup reads [Globals], [ApplicationN] "
            "and [ApplicationN.FileGroupN|ShellLinkN|RegEntryN]\n"
            "SETUP.inf:7: non-ASCII text without a byte-order mark is read in the ANSI code page "
            "(the file looks like UTF-8: its texts would come out garbled); save the script as "
            "UTF-8 with a byte-order mark\n"
            "SETUP.inf:9: AllowCustomInstallDir=yes is not a number and reads as the default; "
            "write a number (1 or 0 for yes or no)\n"
            "SETUP.inf:10: InstallDir=<ProgramFileDir>\\Acme\\Notes: <ProgramFileDir> is no "
            "directory macro; the macros are <ProgramFilesDir>, <CommonFilesDir>, <SrcDir>, "
            "<WinDir>, <ProgramsMenuFolder>, <DesktopFolder> and others (see "
            "docs/setup-script.md)\n"
            "SETUP.inf:11: DeleteFile2 is never read: there is no DeleteFile1 (DeleteFile "
            "numbers run 1, 2, 3, ...)\n"
            "SETUP.inf:13: DestDir=<srcdir>\\Tools: <srcdir> is no directory macro; macro names "
            "are case-sensitive: write <SrcDir>\n"
            "SETUP.inf:14: UpdateMethod=date names none of updVersion, updDate, updAlways, "
            "updNever; existing files are kept as with updNever\n"
            "SETUP.inf:15: unknown key FileSpec in [Application1.FileGroup1] (numbered: "
            "FileSpec1, FileSpec2, ...); keys read there: " +
                keys +
                "\n"
                "SETUP.inf:16: FileSpec1=@MISSING.DAT: the baggage " +
                dist +
                "\\BAGFILES has no member MISSING.DAT\n"
                "SETUP.inf:17: FileSpec2=DOCS/GUIDE1.TXT uses \"/\"; setup paths are written "
                "with \"\\\"\n"
                "SETUP.inf:18: FileSpec4=missing\\*.txt matches no file in " +
                dist +
                "\n"
                "SETUP.inf:18: FileSpec4 is never read: there is no FileSpec3 (FileSpec numbers "
                "run 1, 2, 3, ...)\n"
                "SETUP.inf:19: [Application1.FileGroup3] is never read: there is no "
                "[Application1.FileGroup2] (FileGroup numbers run 1, 2, 3, ...)\n"
                "SETUP.inf:22: Name=[Application2.Title] [Application1.Version]: "
                "[Application2.Title] refers to [Application2], which the script does not offer\n"
                "SETUP.inf:22: Name=[Application2.Title] [Application1.Version]: "
                "[Application1.Version] names no field: InstallDir, Title, ProductCode, Release, "
                "ProductID or FileGroupN\n"
                "SETUP.inf:23: Type=REG_DWORD names none of rdString, rdExpandString, rdInteger, "
                "rdBinary, rdUnknown; the entry writes no value\n"
                "SETUP.inf:25: value appears again in [Application1.RegEntry1] (first at line "
                "24); only the first is read\n"
                "SETUP.inf:26: section header without \"]\": [Application1.ShellLink1 is not read "
                "as a section\n"
                "SETUP.inf:27: unknown key Command in [Application1.RegEntry1]; keys read there: "
                "Key, Name, Type, Value\n"
                "SETUP.inf:28: [Application3] is never read: there is no [Application2] "
                "(Application numbers run 1, 2, 3, ...)\n"
                "SETUP.inf:30: [Application3.ShellLink1] is never read: [Application3] is not "
                "read\n"
                "SETUP.inf:32: [Application1] appears again (first at line 6); only the first is "
                "read\n"
                "23 findings in " +
                dist + "\\SETUP.inf\n");
  EXPECT_EQ(run.exitCode, 1) << run.errors;

  // The demo's distribution folder is clean.
  const Outcome demo = RunCheck(dir, "'" VALISE_DEMO_DIST "'");
  EXPECT_EQ(demo.exitCode, 0) << demo.output << demo.errors;

  // A folder without a script cannot be checked.
  dir.Write("empty/README.TXT", "nothing");
  const Outcome empty = RunCheck(dir, "empty");
  EXPECT_EQ(empty.exitCode, 3);
  EXPECT_NE(empty.errors.find("no setup script in"), std::string::npos) << empty.errors;
}

}  // namespace
}  // namespace valise::testing
