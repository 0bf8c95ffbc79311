// A failed run tells where it failed: the error keeps its own words (the box shows them), and
// the log line after it names the application, the script key, the path and the baggage. Each
// case runs the setup program in a folder of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "baggage/bag_writer.h"
#include "course_fixtures.h"
#include "platform/registry.h"
#include "run_program.h"
#include "test_support.h"

namespace valise {
namespace {

using testing::ReadHostFile;
using testing::TempDir;

const std::string kBase = "Software\\ValiseTests\\e2e.where";
const std::string kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// A baggage with the product tables (product RSE, titled "Reisesprache Englisch") and
// LESSON.DAT; with `project`, its project table has those columns and there is no text pool.
void WriteProductBaggage(const TempDir& dir, std::string_view name,
                         const std::vector<course::testing::Column>* project = nullptr) {
  BagWriter writer;
  if (project == nullptr) {
    testing::AddProductTables(writer);
  } else {
    auto table = course::testing::ProjectTable(*project);
    writer.AddData("_PRJ.ADB", table.TableBytes());
    writer.AddData("_PRJ.AMB", table.MemoBytes());
  }
  writer.AddData("LESSON.DAT", "lesson data");
  writer.WriteStandalone(dir.win(name));
}

struct Case {
  const char* name;
  // Writes the script and what it needs; returns the arguments of the run beyond the usual.
  std::function<std::vector<std::string>(const TempDir&)> prepare;
  // The error as the box says it, and what the line after it says.
  std::string error;
  std::vector<std::string> where;
  // The run fails before it changes anything.
  bool changesNothing = true;
};

std::string Script(std::string_view applications) {
  return "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + kBase + "\r\n" + std::string(applications);
}

TEST(WhereErrorsHappen, TheLineAfterTheErrorNamesApplicationKeyPathAndBaggage) {
  const std::string acme =
      "[Application1]\r\nTitle=Acme Notes\r\nProductCode=WHR\r\nVersion=1\r\nProductID=1\r\n";
  const std::vector<Case> cases = {
      {"unknown macro",
       [&](const TempDir& dir) {
         dir.Write("SETUP.inf", Script(acme + "InstallDir=<ProgramFileDir>\\Acme\\Notes\r\n"));
         return std::vector<std::string>{};
       },
       "Invalid directory reference '<ProgramFileDir>\\Acme\\Notes'",
       {"[Application1] 'Acme Notes'; InstallDir=<ProgramFileDir>\\Acme\\Notes; <ProgramFileDir> "
        "is no directory macro (macro names are case-sensitive; the macros are "
        "<CommonFilesDir>, "}},
      {"macro in another letter case, in a group's folder",
       [&](const TempDir& dir) {
         dir.Write("SETUP.inf",
                   Script(acme + "InstallDir=<SrcDir>\\Acme\r\n[Application1.FileGroup1]\r\n"
                                 "DestDir=<srcdir>\\Data\r\nFileSpec1=@LESSON.DAT\r\n"));
         return std::vector<std::string>{};
       },
       "Invalid directory reference '<srcdir>\\Data'",
       {"[Application1] 'Acme Notes'; [Application1.FileGroup1] DestDir=<srcdir>\\Data; <srcdir> "
        "is no directory macro (macro names are case-sensitive: write <SrcDir>)"}},
      // Found missing while the plan is made: nothing is installed.
      {"member missing in the baggage",
       [&](const TempDir& dir) {
         WriteProductBaggage(dir, "PRODUCT.BAG");
         dir.Write("SETUP.inf",
                   Script("[Application1]\r\nBaggage=<SrcDir>\\PRODUCT.BAG\r\n"
                          "InstallDir=<SrcDir>\\Reise\r\n[Application1.FileGroup1]\r\n"
                          "DestDir=[Application1.InstallDir]\r\nFileSpec1=@LESSON.DAT\r\n"
                          "[Application1.FileGroup2]\r\nDestDir=[Application1.InstallDir]\\Docs\r\n"
                          "FileSpec1=@LICENCE.TXT\r\n"));
         return std::vector<std::string>{};
       },
       "File LICENCE.TXT not found.",
       {"[Application1] 'Reisesprache Englisch'; [Application1.FileGroup2] @LICENCE.TXT; the "
        "baggage ",
        "\\PRODUCT.BAG has no member LICENCE.TXT"}},
      {"baggage file missing",
       [&](const TempDir& dir) {
         dir.Write("SETUP.inf", Script("[Application1]\r\nBaggage=<SrcDir>\\MISSING.BAG\r\n"));
         return std::vector<std::string>{};
       },
       "Error accessing .BAG file!",
       {"[Application1]; Baggage=<SrcDir>\\MISSING.BAG; the baggage ", "\\MISSING.BAG\r\n"}},
      {"baggage folder missing",
       [&](const TempDir& dir) {
         dir.Write("SETUP.inf", Script(acme));
         return std::vector<std::string>{"/BAG=" + dir.win("NOFOLDER")};
       },
       "Baggage directory does not exist!",
       {"the baggage ", "\\NOFOLDER that the program started with"}},
      {"project table missing",
       [&](const TempDir& dir) {
         BagWriter writer;
         writer.AddData("LESSON.DAT", "lesson data");
         writer.WriteStandalone(dir.win("NOTABLES.BAG"));
         dir.Write("SETUP.inf", Script("[Application1]\r\nBaggage=<SrcDir>\\NOTABLES.BAG\r\n"));
         return std::vector<std::string>{};
       },
       "BagFileOpen: MMIO error at _PRJ.ADB",
       {"[Application1]; Baggage=<SrcDir>\\NOTABLES.BAG; the baggage ",
        "\\NOTABLES.BAG has no table _PRJ.ADB"}},
      // Every missing field at once, not one per try.
      {"project table without fields",
       [&](const TempDir& dir) {
         const auto columns = course::testing::Without(
             course::testing::Without(course::testing::StandardProject(), "VIDEOSTILL"),
             "MAPIMAGE");
         WriteProductBaggage(dir, "OLD.BAG", &columns);
         dir.Write("SETUP.inf",
                   Script("[Application1]\r\nTitle=Old\r\nBaggage=<SrcDir>\\OLD.BAG\r\n"));
         return std::vector<std::string>{};
       },
       "TATable: Feld VIDEOSTILL existiert nicht",
       {"[Application1] 'Old'; Baggage=<SrcDir>\\OLD.BAG; the table _PRJ.ADB of the baggage ",
        "\\OLD.BAG lacks the fields VIDEOSTILL, MAPIMAGE\r\n"}},
      {"folder that names itself, no title",
       [&](const TempDir& dir) {
         dir.Write("SETUP.inf", Script("[Application1]\r\nProductCode=WHR\r\n"
                                       "InstallDir=<InstallDir>\\Notes\r\n"));
         return std::vector<std::string>{};
       },
       "Application '': Invalid installdir '<InstallDir>\\Notes'",
       {"[Application1]; InstallDir=<InstallDir>\\Notes ("}},
      {"group folder that cannot be made",
       [&](const TempDir& dir) {
         dir.Write("in the way", "a file");
         dir.Write("tool.txt", "tool");
         dir.Write("SETUP.inf",
                   Script(acme + "[Application1.FileGroup1]\r\nDestDir=<SrcDir>\\in the way\\"
                                 "sub\r\nFileSpec1=tool.txt\r\n"));
         return std::vector<std::string>{};
       },
       "",
       {"[Application1] 'Acme Notes'; [Application1.FileGroup1] DestDir=<SrcDir>\\in the way\\"
        "sub; the folder ",
        "\\in the way\\sub could not be made\r\n"},
       false},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, kBase);
    TempDir dir;
    std::filesystem::copy_file(testing::HostPath(VALISE_SETUP_PROGRAM),
                               dir.host() / testing::kSetupProgramName);
    std::vector<std::string> args = c.prepare(dir);
    for (const char* arg : {"/silent", "/nomsg"}) args.push_back(arg);
    args.push_back("/log=" + dir.win("setup.log"));
    EXPECT_EQ(testing::RunProgram(testing::Utf8Path(dir.host() / testing::kSetupProgramName), args),
              3);
    const std::string log = testing::WithoutTimeStamps(ReadHostFile(dir.host() / "setup.log"));
    // The error, the box with the same words, then where.
    const std::size_t error = log.find("Error: " + c.error);
    ASSERT_NE(error, std::string::npos) << log;
    const std::size_t where = log.find("\r\nWhere: ", error);
    ASSERT_NE(where, std::string::npos) << log;
    const std::string box = log.substr(error, where - error);
    EXPECT_NE(box.find("\r\nMessage '"), std::string::npos) << log;
    EXPECT_EQ(box.find("\r\n", box.find("\r\nMessage '") + 2), std::string::npos) << log;
    const std::string line = log.substr(where + 2, log.find("\r\n", where + 2) - where);
    std::size_t at = 0;
    for (const std::string& part : c.where) {
      const std::size_t found = line.find(part, at);
      EXPECT_NE(found, std::string::npos) << part << "\n" << line;
      if (found != std::string::npos) at = found + part.size();
    }
    if (!c.changesNothing) continue;
    EXPECT_TRUE(testing::SortedValues(kBase + "\\WHR_1_1").empty()) << log;
    EXPECT_TRUE(testing::SortedValues(kBase + "\\RSE_3_4711").empty()) << log;
    EXPECT_EQ(log.find("Installing "), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists(dir.host() / "Reise")) << log;
  }

  // A file specification with "/" as its separator is installed as one with "\".
  platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, kBase);
  platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, kUninstall + "WHR_1_1");
  TempDir dir;
  std::filesystem::copy_file(testing::HostPath(VALISE_SETUP_PROGRAM),
                             dir.host() / testing::kSetupProgramName);
  dir.Write("DOCS/GUIDE1.TXT", "guide");
  dir.Write("SETUP.inf", Script(acme + "InstallDir=<SrcDir>\\Acme\r\n[Application1.FileGroup1]\r\n"
                                       "DestDir=[Application1.InstallDir]\\Docs\r\n"
                                       "FileSpec1=DOCS/GUIDE1.TXT\r\n"));
  EXPECT_EQ(testing::RunProgram(testing::Utf8Path(dir.host() / testing::kSetupProgramName),
                                {"/silent", "/nomsg", "/log=" + dir.win("setup.log")}),
            0)
      << ReadHostFile(dir.host() / "setup.log");
  EXPECT_EQ(ReadHostFile(dir.host() / "Acme/Docs/GUIDE1.TXT"), "guide");
  const std::vector<std::string> record = testing::SortedValues(kBase + "\\WHR_1_1");
  EXPECT_NE(std::find(record.begin(), record.end(), "FileGroup1File1=GUIDE1.TXT"), record.end());
  platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, kBase);
  platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, kUninstall + "WHR_1_1");
}

}  // namespace
}  // namespace valise
