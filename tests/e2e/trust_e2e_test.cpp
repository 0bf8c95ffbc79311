// The promises that make an installer trustworthy, tried as publishers, administrators and a
// hand-edited record would try them: nothing is written or deleted outside what a product
// owns, and every failure ends with exit code 3 and a line that says what failed.
#include <gtest/gtest.h>

#include <filesystem>

#include "baggage/bag_writer.h"
#include "course/app_strings.h"
#include "course_fixtures.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "run_program.h"
#include "test_support.h"

namespace valise {
namespace {

using testing::ReadHostFile;
using testing::TempDir;
namespace fs = std::filesystem;

constexpr const char* kProgramName = testing::kSetupProgramName;

class Trust : public ::testing::Test {
 protected:
  Trust() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    base_ = std::string("Software\\ValiseTests\\trust.") + info->name();
    platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, base_);
  }
  ~Trust() override { platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, base_); }

  // The program in a folder of the scenario ("" for the scenario's own folder).
  void Place(const std::string& folder) {
    folder_ = folder;
    fs::create_directories(Host(""));
    fs::copy_file(testing::HostPath(VALISE_SETUP_PROGRAM), Host(kProgramName),
                  fs::copy_options::overwrite_existing);
  }
  fs::path Host(const std::string& relative) const {
    fs::path path = dir_.host();
    if (!folder_.empty()) path /= testing::HostPath(folder_);
    return relative.empty() ? path : path / testing::HostPath(relative);
  }
  std::string Win(const std::string& relative) const {
    const std::string folder = folder_.empty() ? dir_.win() : dir_.win(folder_);
    return relative.empty() ? folder : folder + "\\" + relative;
  }
  void WriteScript(const std::string& applications) {
    dir_.Write((folder_.empty() ? "" : folder_ + "/") + "SETUP.inf",
               "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + base_ + "\r\n" + applications);
  }
  int Setup(std::vector<std::string> args) {
    args.push_back("/nomsg");
    args.push_back("/log=" + dir_.win("setup.log"));
    return testing::RunProgram(testing::Utf8Path(Host(kProgramName)), args);
  }
  std::string Log() const { return ReadHostFile(dir_.host() / "setup.log"); }
  std::optional<platform::RegKey> Record(const std::string& name) const {
    return platform::RegKey::Open(platform::RegRoot::CurrentUser, base_ + "\\" + name);
  }

  TempDir dir_;
  std::string folder_;
  std::string base_;
};

// Member names with "/" and "..", a read-only file, a shortcut on the desktop, and a record
// edited by hand to point outside the product: what the product owns goes, nothing else.
TEST_F(Trust, RemovalDeletesOnlyWhatTheProductOwns) {
  Place("");
  BagWriter bag;
  bag.AddData("X.DAT", "member");
  bag.WriteStandalone(Win("PRODUCT.BAG"));
  dir_.Write("docs/GUIDE1.TXT", "guide");
  dir_.Write("ro.txt", "read-only");
  ASSERT_TRUE(platform::SetFileAttributes(Win("ro.txt"), platform::kAttrReadOnly));
  dir_.Write("X.DAT", "the user's own file two folders up");
  dir_.Write("sentinel.txt", "never the product's");
  dir_.Write("app/sentinel.txt", "never the product's either");
  const std::string desktop = platform::GetSpecialFolderPath(platform::kFolderDesktop);
  ASSERT_FALSE(desktop.empty());
  // The identity comes from the script; the baggage given on the command line holds the
  // members.
  WriteScript(
      "[Application1]\r\nTitle=Trusty\r\nProductCode=TRU\r\nVersion=1\r\nProductID=2\r\n"
      "InstallDir=<SrcDir>\\app\r\n"
      "[Application1.FileGroup1]\r\nDestDir=<SrcDir>\\app\\deep\r\n"
      "FileSpec1=@../../X.DAT\r\nFileSpec2=docs/GUIDE1.TXT\r\nFileSpec3=ro.txt\r\n"
      "[Application1.ShellLink1]\r\nFolder=<DesktopFolder>\r\nDescription=Trusty\r\n"
      "Command=[Application1.InstallDir]\\deep\\GUIDE1.TXT\r\n");

  ASSERT_EQ(Setup({"/silent", "/BAG=" + Win("PRODUCT.BAG")}), 0) << Log();
  // Each file lands under its last component only, and is recorded so.
  EXPECT_EQ(ReadHostFile(Host("app/deep/X.DAT")), "member");
  EXPECT_EQ(ReadHostFile(Host("X.DAT")), "the user's own file two folders up");
  EXPECT_EQ(ReadHostFile(Host("app/deep/GUIDE1.TXT")), "guide");
  auto record = Record("TRU_1_2");
  ASSERT_TRUE(record);
  EXPECT_EQ(record->Read("FileGroup1File1")->text, "X.DAT");
  EXPECT_EQ(record->Read("FileGroup1File2")->text, "GUIDE1.TXT");
  EXPECT_EQ(record->Read("InstallDir")->text, Win("app"));
  const auto readOnly = platform::GetFileAttributes(Win("app\\deep\\ro.txt"));
  ASSERT_TRUE(readOnly);
  EXPECT_NE(*readOnly & platform::kAttrReadOnly, 0u);

  // The record is edited by hand: names and folders that lead out of the product.
  {
    auto edit = platform::RegKey::Create(platform::RegRoot::CurrentUser, base_ + "\\TRU_1_2");
    edit.WriteString("FileGroup2", Win("app"));
    edit.WriteString("FileGroup2File1", "..\\sentinel.txt");
    edit.WriteString("FileGroup3", "app");
    edit.WriteString("FileGroup3File1", "sentinel.txt");
    edit.WriteString("DeleteFile1", "sentinel.txt");
    edit.WriteString("ShellLink2", "..\\sentinel.txt");
    edit.Close();
  }
  // One recorded file went by hand: it counts as removed at once.
  fs::remove(Host("app/deep/GUIDE1.TXT"));

  ASSERT_EQ(Setup({"/silent", "/remove=TRU_1_2"}), 0) << Log();
  EXPECT_FALSE(fs::exists(Host("app/deep")));
  EXPECT_FALSE(Record("TRU_1_2"));
  EXPECT_EQ(ReadHostFile(Host("sentinel.txt")), "never the product's");
  EXPECT_EQ(ReadHostFile(Host("X.DAT")), "the user's own file two folders up");
  EXPECT_EQ(ReadHostFile(Host("app/sentinel.txt")), "never the product's either");
  // The desktop keeps itself once the product's shortcut is gone.
  EXPECT_FALSE(platform::GetFileAttributes(desktop + "\\Trusty.lnk"));
  const auto desktopAttributes = platform::GetFileAttributes(desktop);
  ASSERT_TRUE(desktopAttributes);
  EXPECT_NE(*desktopAttributes & platform::kAttrDirectory, 0u);
  const std::string log = Log();
  EXPECT_NE(log.find("ignored FileGroup2File1 '..\\sentinel.txt' (not a bare file name)"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("ignored FileGroup3 'app'"), std::string::npos);
  EXPECT_NE(log.find("ignored DeleteFile1 'sentinel.txt'"), std::string::npos);
  EXPECT_NE(log.find("ignored ShellLink2 '..\\sentinel.txt'"), std::string::npos);
  EXPECT_NE(log.find("Left in place: " + desktop + " (a folder of the system)"), std::string::npos);
}

// Destinations: a reference to an installed application's folder expands to its recorded
// folder, and one without a drive is refused before anything changes; a folder whose name
// holds "[" works; identities that would name an unreadable record are refused.
TEST_F(Trust, DestinationsAndFolderNames) {
  Place("Demo [v2]");
  dir_.Write("Demo [v2]/a.txt", "a");
  const std::string first =
      "[Application1]\r\nTitle=First\r\nProductCode=FIR\r\nVersion=1\r\nProductID=1\r\n"
      "InstallDir=<SrcDir>\\First\r\n"
      "[Application1.FileGroup1]\r\nDestDir=[Application1.InstallDir]\r\nFileSpec1=a.txt\r\n";
  WriteScript(first);
  ASSERT_EQ(Setup({"/silent"}), 0) << Log();
  EXPECT_EQ(ReadHostFile(Host("First/a.txt")), "a");

  WriteScript(first +
              "[Application2]\r\nTitle=Tools\r\nProductCode=TLS\r\nVersion=1\r\nProductID=1\r\n"
              "InstallDir=[Application1.InstallDir]\\Tools\r\n"
              "[Application2.FileGroup1]\r\nDestDir=[Application2.InstallDir]\r\n"
              "FileSpec1=a.txt\r\n");
  ASSERT_EQ(Setup({"/silent"}), 0) << Log();
  EXPECT_EQ(ReadHostFile(Host("First/Tools/a.txt")), "a");

  // A folder without a drive: an error naming it, and nothing written or recorded.
  WriteScript(
      "[Application1]\r\nTitle=Rooted\r\nProductCode=ROO\r\nInstallDir=\\Tools\r\n"
      "[Application1.FileGroup1]\r\nDestDir=[Application1.InstallDir]\r\nFileSpec1=a.txt\r\n");
  EXPECT_EQ(Setup({"/silent"}), 3);
  EXPECT_NE(Log().find("Error: Invalid path \\Tools (application 'Rooted'"), std::string::npos)
      << Log();
  EXPECT_FALSE(Record("ROO_0_0"));

  // Record keys that the next run could not read back.
  WriteScript("[Application1]\r\nTitle=Negative\r\nProductCode=NEG\r\nProductID=-3\r\n");
  EXPECT_EQ(Setup({"/silent"}), 3);
  EXPECT_NE(Log().find("Error: Application1 'Negative': the record key 'NEG_0_-3' cannot be "
                       "read back"),
            std::string::npos)
      << Log();
  WriteScript("[Application1]\r\nTitle=Huge\r\nProductCode=BIG\r\nProductID=99999999999\r\n");
  EXPECT_EQ(Setup({"/silent"}), 3);
  EXPECT_NE(Log().find("the number 99999999999 of ProductID is too large"), std::string::npos);
}

// A silent install without a usable script, and a log that cannot be opened, fail.
TEST_F(Trust, UnusableScriptsAndLogsFail) {
  Place("");
  fs::create_directories(dir_.host() / "folder.inf");
  EXPECT_EQ(Setup({"/silent", "/inf=" + Win("missing.inf")}), 3);
  EXPECT_NE(Log().find("Error: Cannot read the setup script " + Win("missing.inf")),
            std::string::npos)
      << Log();
  EXPECT_EQ(Setup({"/silent", "/inf=" + Win("folder.inf")}), 3);
  EXPECT_NE(Log().find("it is a folder"), std::string::npos);
  WriteScript("");
  EXPECT_EQ(Setup({"/silent"}), 3);
  EXPECT_NE(Log().find("offers no application"), std::string::npos);
  const std::vector<std::string> unusableLog = {"/silent", "/nomsg",
                                                "/log=" + Win("no such folder\\x.log")};
  EXPECT_EQ(testing::RunProgram(testing::Utf8Path(Host(kProgramName)), unusableLog), 3);
  EXPECT_EQ(testing::RunProgram(testing::Utf8Path(Host(kProgramName)),
                                {"/silent", "/nomsg", "/log=" + Win("folder.inf")}),
            3);
}

// A member that cannot be read in the middle of a group stops the run at it; the files before it
// are complete, on disk and recorded, so that removal finds them. Names are recorded ahead of the
// copy, so the record also names the files that never came, and says the install did not
// finish.
TEST_F(Trust, AnUnreadableMemberKeepsTheFilesBeforeItRecorded) {
  Place("");
  BagWriter bag;
  bag.AddData("FIRST.DAT", std::string(300000, 'f'));
  bag.AddData("SECOND.DAT", "second");
  bag.AddData("LAST.DAT", "last");
  testing::WriteDamagedBaggage(std::move(bag), dir_, "PRODUCT.BAG", {{"ABSENT.DAT", "cut short"}});
  WriteScript(
      "[Application1]\r\nTitle=Gap\r\nProductCode=GAP\r\n"
      "[Application1.FileGroup1]\r\nDestDir=<SrcDir>\\app\r\n"
      "FileSpec1=@FIRST.DAT\r\nFileSpec2=@SECOND.DAT\r\nFileSpec3=@ABSENT.DAT\r\n"
      "FileSpec4=@LAST.DAT\r\n");
  EXPECT_EQ(Setup({"/silent", "/BAG=" + Win("PRODUCT.BAG")}), 3);
  EXPECT_EQ(ReadHostFile(Host("app/FIRST.DAT")), std::string(300000, 'f'));
  EXPECT_EQ(ReadHostFile(Host("app/SECOND.DAT")), "second");
  EXPECT_FALSE(fs::exists(Host("app/LAST.DAT")));
  auto record = Record("GAP_0_0");
  ASSERT_TRUE(record);
  EXPECT_EQ(record->Read("FileGroup1File1")->text, "FIRST.DAT");
  EXPECT_EQ(record->Read("FileGroup1File2")->text, "SECOND.DAT");
  EXPECT_EQ(record->Read("FileGroup1File4")->text, "LAST.DAT");
  EXPECT_TRUE(record->HasValue("Incomplete"));
  ASSERT_EQ(Setup({"/silent", "/remove=GAP_0_0"}), 0) << Log();
  EXPECT_FALSE(fs::exists(Host("app")));
}

#ifndef _WIN32
// A link that stands in place of the installation folder is not followed: the files in the
// link's target are somebody else's. (This Wine does not report links to Windows programs, so
// the Windows build's refusal is tested on Windows only.)
TEST_F(Trust, RemovalDoesNotFollowALinkInPlaceOfTheFolder) {
  Place("");
  dir_.Write("a.txt", "a");
  WriteScript(
      "[Application1]\r\nTitle=Linked\r\nProductCode=LNK\r\n"
      "[Application1.FileGroup1]\r\nDestDir=<SrcDir>\\app\r\nFileSpec1=a.txt\r\n");
  ASSERT_EQ(Setup({"/silent"}), 0) << Log();
  fs::remove_all(Host("app"));
  dir_.Write("elsewhere/a.txt", "somebody else's");
  fs::create_directory_symlink(Host("elsewhere"), Host("app"));
  ASSERT_EQ(Setup({"/silent", "/remove=LNK_0_0"}), 0) << Log();
  EXPECT_EQ(ReadHostFile(Host("elsewhere/a.txt")), "somebody else's");
  EXPECT_TRUE(fs::is_symlink(Host("app")));
  EXPECT_NE(Log().find("Left in place: " + Win("app") + "\\a.txt"), std::string::npos) << Log();
}
#endif

}  // namespace
}  // namespace valise
