// The setup program run as publishers and administrators run it: a scenario folder with the
// program, its script, source files and a product's baggage; silent installation, removal by
// "/remove=", exit codes and the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "baggage/bag_writer.h"
#include "course/app_strings.h"
#include "course_fixtures.h"
#include "platform/registry.h"
#include "platform/run_lock.h"
#include "platform/shell.h"
#include "run_program.h"
#include "test_support.h"

namespace valise {
namespace {

using testing::ReadHostFile;
using testing::SortedValues;
using testing::TempDir;

constexpr const char* kProgramName = testing::kSetupProgramName;

class SetupProgram : public ::testing::Test {
 protected:
  SetupProgram() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    base_ = std::string("Software\\ValiseTests\\e2e.") + info->name();
    platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, base_);
    std::filesystem::copy_file(testing::HostPath(VALISE_SETUP_PROGRAM), dir_.host() / kProgramName);
  }
  ~SetupProgram() override {
    platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, base_);
    // The uninstall entries the scenarios' installs leave beside their records.
    for (const char* key : {"RSE_3_4711", "HLP_1_2"}) {
      platform::DeleteRegKeyTree(
          platform::RegRoot::CurrentUser,
          std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + key);
    }
  }

  int Setup(std::vector<std::string> args) {
    args.push_back("/nomsg");
    args.push_back("/log=" + dir_.win("setup.log"));
    return testing::RunProgram(testing::Utf8Path(dir_.host() / kProgramName), args);
  }

  // A product baggage: tables naming "RSE" release 3, ID 4711, with English texts, and two
  // payload members (and more when given, and members that cannot be read).
  void WriteBaggage(const std::vector<std::pair<std::string, std::string>>& more = {},
                    const std::vector<std::pair<std::string, std::string>>& damaged = {}) {
    BagWriter writer;
    for (const auto& [name, data] : more) writer.AddData(name, data);
    testing::AddProductTables(writer);
    writer.AddData("LESSON.DAT", "lesson data");
    writer.AddData("READ ME.TXT", "Grüße");
    testing::WriteDamagedBaggage(std::move(writer), dir_, "PRODUCT.BAG", damaged);
  }

  TempDir dir_;
  std::string base_;
};

TEST_F(SetupProgram, InstallsSilentlyAndRemovesByRecordKey) {
  WriteBaggage();
  dir_.Write("files/tool.exe", "tool");
  dir_.Write("files/help.txt", "help");
  dir_.Write("old.ini", "deleted at installation");
  // What killed copies left in the folders goes at the next install and at the removal.
  dir_.Write("Programs/Reise/Data/~VL00A1B2.TMP", "left by a killed copy");
  dir_.Write("Programs/Reise/Data/~VB19a8f3c2e4.TMP", "left by a killed replacement");
  const std::string app = dir_.win("Programs\\Reise");
  const std::string links = dir_.win("Menu\\Reise");
  dir_.Write(
      "SETUP.inf",
      "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + base_ +
          "\r\n"
          "[Application1]\r\nBaggage=<SrcDir>\\PRODUCT.BAG\r\nInstallDir=<SrcDir>"
          "\\Programs\\Reise\r\n"
          "DeleteFile1=<SrcDir>\\old.ini\r\n"
          "[Application1.FileGroup1]\r\nDestDir=[Application1.InstallDir]\\Data\r\n"
          "FileSpec1=@LESSON.DAT\r\nFileSpec2=@READ ME.TXT\r\n"
          "[Application1.FileGroup2]\r\nDestDir=[Application1.InstallDir]\r\n"
          "UpdateMethod=updVersion\r\nFileSpec1=files\\*.exe\r\n"
          "[Application1.ShellLink1]\r\nFolder=<SrcDir>\\Menu\\Reise\r\n"
          "Description=[Application1.Title]\r\nCommand=[Application1.InstallDir]\\tool.exe\r\n"
          "CommandParams=/lesson 1\r\nWorkDir=[Application1.InstallDir]\r\nShortCut=Ctrl+F9\r\n"
          "[Application1.ShellLink2]\r\nFolder=<SrcDir>\\Menu\\Reise\r\nDescription=Web\r\n"
          "Command=http://example.org/reise\r\n"
          "[Application1.RegEntry1]\r\nKey=\\" +
          base_ +
          "\\Settings\r\nName=Path\r\n"
          "Value=[Application1.InstallDir]\r\n"
          "[Application1.RegEntry2]\r\nName=Level\r\nType=rdInteger\r\nValue=3\r\n"
          "[Application2]\r\nTitle=Helper\r\nProductCode=HLP\r\nVersion=1\r\nProductID=2\r\n"
          "InstallDir=<SrcDir>\\Programs\\Helper\r\n"
          "[Application2.FileGroup1]\r\nDestDir=[Application2.InstallDir]\r\n"
          "UpdateMethod=updDate\r\nFileSpec1=files\\help.txt\r\n");

  ASSERT_EQ(Setup({"/silent"}), 0) << ReadHostFile(dir_.host() / "setup.log");
  const auto& host = dir_.host();
  EXPECT_EQ(ReadHostFile(host / "Programs/Reise/Data/LESSON.DAT"), "lesson data");
  EXPECT_EQ(ReadHostFile(host / "Programs/Reise/Data/READ ME.TXT"), "Grüße");
  EXPECT_EQ(ReadHostFile(host / "Programs/Reise/tool.exe"), "tool");
  EXPECT_EQ(ReadHostFile(host / "Programs/Helper/help.txt"), "help");
  EXPECT_FALSE(std::filesystem::exists(host / "old.ini"));
  EXPECT_FALSE(std::filesystem::exists(host / "Programs/Reise/Data/~VL00A1B2.TMP"));
  EXPECT_FALSE(std::filesystem::exists(host / "Programs/Reise/Data/~VB19a8f3c2e4.TMP"));
  for (const auto& entry : std::filesystem::directory_iterator(host / "Programs/Reise")) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("~")) << entry.path();
  }
  const platform::ShellLinkData link =
      platform::ReadShellLink(links + "\\Reisesprache Englisch.lnk");
  EXPECT_EQ(link.target, app + "\\tool.exe");
  EXPECT_EQ(link.arguments, "/lesson 1");
  EXPECT_EQ(link.workingDirectory, "[Application1.InstallDir]");
  EXPECT_EQ(link.hotKey, 0x0278);
  EXPECT_EQ(ReadHostFile(host / "Menu/Reise/Web.url"),
            "[InternetShortcut]\r\nURL=http://example.org/reise\r\n");

  EXPECT_EQ(SortedValues(base_ + "\\RSE_3_4711"),
            (std::vector<std::string>{
                "DeleteFile1=" + dir_.win("old.ini"),
                "FileGroup1=" + app + "\\Data",
                "FileGroup1File1=LESSON.DAT",
                "FileGroup1File2=READ ME.TXT",
                "FileGroup2=" + app,
                "FileGroup2File1=tool.exe",
                "InstallDir=" + app,
                "Level=3",
                "ShellLink1=" + links + "\\Reisesprache Englisch.lnk",
                "ShellLink2=" + links + "\\Web.url",
                "Title=Reisesprache Englisch",
            }));
  EXPECT_EQ(SortedValues(base_ + "\\Settings"), std::vector<std::string>{"Path=" + app});
  EXPECT_EQ(SortedValues(base_ + "\\HLP_1_2"),
            (std::vector<std::string>{
                "FileGroup1=" + dir_.win("Programs\\Helper"), "FileGroup1File1=help.txt",
                "InstallDir=" + dir_.win("Programs\\Helper"), "Title=Helper"}));

  dir_.Write("Programs/Reise/~VLFFFFFF.TMP", "left by a killed copy");
  // Removal of one product by its record key; "/reg=" names it, so the exit code is 2.
  ASSERT_EQ(Setup({"/silent", "/remove=rse_3_4711", "/reg=RSE_3_4711"}), 2)
      << ReadHostFile(dir_.host() / "setup.log");
  EXPECT_FALSE(std::filesystem::exists(host / "Programs/Reise/Data"));
  EXPECT_FALSE(std::filesystem::exists(host / "Programs/Reise"));
  EXPECT_FALSE(std::filesystem::exists(host / "Menu/Reise"));
  EXPECT_TRUE(SortedValues(base_ + "\\RSE_3_4711").empty());
  EXPECT_EQ(ReadHostFile(host / "Programs/Helper/help.txt"), "help");
  EXPECT_FALSE(SortedValues(base_ + "\\HLP_1_2").empty());
  // Registry entries are not removed.
  EXPECT_EQ(SortedValues(base_ + "\\Settings"), std::vector<std::string>{"Path=" + app});

  const std::string log = ReadHostFile(host / "setup.log");
  EXPECT_NE(log.find("Installing RSE_3_4711 'Reisesprache Englisch'..."), std::string::npos);
  EXPECT_NE(log.find("Uninstalling RSE_3_4711 'Reisesprache Englisch'..."), std::string::npos);
  EXPECT_NE(log.find("Removing directory " + app + "\\Data"), std::string::npos);
  EXPECT_NE(log.find("Deleting regkey \\" + base_ + "\\RSE_3_4711"), std::string::npos);
  // The install logs what it writes: each file as it is recorded, each registry value of the
  // script and each shortcut; every line has its time, the last one is the exit code.
  EXPECT_NE(log.find("Copying @READ ME.TXT to " + app + "\\Data\\READ ME.TXT\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(" to " + app + "\\tool.exe\r\n"), std::string::npos);
  EXPECT_NE(log.find("Copying files\\help.txt to " + dir_.win("Programs\\Helper\\help.txt")),
            std::string::npos);
  EXPECT_NE(log.find("Writing registry value HKEY_CURRENT_USER\\" + base_ + "\\Settings Path\r\n"),
            std::string::npos);
  EXPECT_NE(
      log.find("Writing registry value HKEY_CURRENT_USER\\" + base_ + "\\RSE_3_4711 Level\r\n"),
      std::string::npos);
  EXPECT_NE(log.find("Creating shell link " + links + "\\Reisesprache Englisch.lnk\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("Creating shell link " + links + "\\Web.url\r\n"), std::string::npos);
  const std::string lines = testing::WithoutTimeStamps(log);
  EXPECT_NE(lines.find("Exit code 0\r\nSetup "), std::string::npos);
  EXPECT_TRUE(lines.ends_with("Exit code 2\r\n"));
}

// A member that cannot be read in the middle of a group stops the run (a member that is missing
// stops it before anything is installed): the files before it are complete and recorded, the record
// says that the install did not finish, and the next run that offers the application completes it
// where the record says it went; a stopped install can also be removed.
TEST_F(SetupProgram, StoppedInstallIsCompletedOrRemovedByTheNextRun) {
  // A big first member keeps the copy busy while the members after it are started.
  std::vector<std::pair<std::string, std::string>> members{
      {"FIRST.DAT", std::string(24u << 20, 'F')}};
  std::string specs = "FileSpec1=@FIRST.DAT\r\n";
  for (int i = 1; i <= 20; ++i) {
    const std::string name = "S" + std::to_string(100 + i) + ".DAT";
    members.emplace_back(name, "small " + name);
    specs += "FileSpec" + std::to_string(i + 1) + "=@" + name + "\r\n";
  }
  specs += "FileSpec22=@ABSENT.DAT\r\nFileSpec23=@LAST.DAT\r\n";
  members.emplace_back("LAST.DAT", "last");
  const std::vector<std::pair<std::string, std::string>> damaged{{"ABSENT.DAT", "cut short"}};
  WriteBaggage(members, damaged);
  const std::string script =
      "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + base_ +
      "\r\n[Application1]\r\nBaggage=<SrcDir>\\PRODUCT.BAG\r\nInstallDir=<SrcDir>\\";
  const std::string groups =
      "\r\n[Application1.FileGroup1]\r\nDestDir=[Application1.InstallDir]\r\n" + specs +
      "[Application1.RegEntry1]\r\nName=Level\r\nType=rdInteger\r\nValue=3\r\n";
  dir_.Write("SETUP.inf", script + "First" + groups);
  const auto& host = dir_.host();
  const std::string record = base_ + "\\RSE_3_4711";
  const auto recorded = [&] {
    std::vector<std::string> names;
    const auto key = platform::RegKey::Open(platform::RegRoot::CurrentUser, record);
    for (int n = 1; key; ++n) {
      const auto value = key->Read("FileGroup1File" + std::to_string(n));
      if (!value) break;
      names.push_back(value->text);
    }
    return names;
  };
  const auto incomplete = [&] {
    const auto key = platform::RegKey::Open(platform::RegRoot::CurrentUser, record);
    return key && key->HasValue("Incomplete");
  };
  const auto checkStopped = [&] {
    EXPECT_EQ(ReadHostFile(host / "First/FIRST.DAT"), members[0].second);
    for (std::size_t i = 1; i <= 20; ++i) {
      EXPECT_EQ(ReadHostFile(host / "First" / members[i].first), members[i].second);
    }
    EXPECT_FALSE(std::filesystem::exists(host / "First/LAST.DAT"));
    const std::vector<std::string> names = recorded();
    ASSERT_GE(names.size(), 21u);
    for (std::size_t i = 0; i <= 20; ++i) EXPECT_EQ(names[i], members[i].first);
    EXPECT_TRUE(incomplete());
    // The registry entries come after the files: not written.
    EXPECT_FALSE(platform::RegKey::Open(platform::RegRoot::CurrentUser, record)->HasValue("Level"));
  };

  EXPECT_EQ(Setup({"/silent"}), 3);
  std::string log = ReadHostFile(host / "setup.log");
  EXPECT_NE(log.find("ABSENT.DAT"), std::string::npos) << log;
  checkStopped();

  // The script now names another folder; completing keeps the recorded one.
  members.emplace_back("ABSENT.DAT", "came late");
  WriteBaggage(members);
  dir_.Write("SETUP.inf", script + "Second" + groups);
  ASSERT_EQ(Setup({"/silent"}), 0) << ReadHostFile(host / "setup.log");
  log = ReadHostFile(host / "setup.log");
  EXPECT_NE(log.find("Completing RSE_3_4711 'Reisesprache Englisch'..."), std::string::npos) << log;
  EXPECT_FALSE(std::filesystem::exists(host / "Second"));
  EXPECT_EQ(ReadHostFile(host / "First/ABSENT.DAT"), "came late");
  EXPECT_EQ(ReadHostFile(host / "First/LAST.DAT"), "last");
  EXPECT_EQ(recorded().size(), 23u);
  EXPECT_FALSE(incomplete());
  // Complete: a further run leaves it alone.
  ASSERT_EQ(Setup({"/silent"}), 0);
  log = ReadHostFile(host / "setup.log");
  log = log.substr(log.rfind("Setup "));
  EXPECT_EQ(log.find("Completing"), std::string::npos) << log;
  EXPECT_EQ(log.find("Installing"), std::string::npos) << log;
  ASSERT_EQ(Setup({"/silent", "/remove=RSE_3_4711"}), 0);
  EXPECT_FALSE(std::filesystem::exists(host / "First"));

  // Stopped again, then removed without being completed.
  members.pop_back();
  WriteBaggage(members, damaged);
  dir_.Write("SETUP.inf", script + "First" + groups);
  EXPECT_EQ(Setup({"/silent"}), 3);
  checkStopped();
  ASSERT_EQ(Setup({"/silent", "/remove=RSE_3_4711"}), 0) << ReadHostFile(host / "setup.log");
  EXPECT_FALSE(std::filesystem::exists(host / "First"));
  EXPECT_TRUE(SortedValues(record).empty());
}

// Runs of one product take turns: while another run holds the product's records, a run waits,
// says so in its log, and reads and changes nothing; then it does its work.
TEST_F(SetupProgram, WaitsWhileAnotherRunHoldsTheProductsRecords) {
  WriteBaggage();
  dir_.Write("SETUP.inf", "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + base_ +
                              "\r\n[Application1]\r\nBaggage=<SrcDir>\\PRODUCT.BAG\r\n"
                              "InstallDir=<SrcDir>\\Reise\r\n[Application1.FileGroup1]\r\n"
                              "DestDir=[Application1.InstallDir]\r\nFileSpec1=@LESSON.DAT\r\n");
  const std::string records = "HKEY_CURRENT_USER\\" + base_;
  std::unique_ptr<platform::RunLock> other = platform::RunLock::Take(records, false, {});
  int code = -1;
  std::thread run([&] { code = Setup({"/silent"}); });
  const std::string waiting =
      "Waiting for another setup run on the records " + records + " to end...";
  std::string log;
  for (int tries = 0; tries < 600 && log.find(waiting) == std::string::npos; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    log = ReadHostFile(dir_.host() / "setup.log");
  }
  EXPECT_NE(log.find(waiting), std::string::npos) << log;
  EXPECT_FALSE(std::filesystem::exists(dir_.host() / "Reise"));
  EXPECT_TRUE(SortedValues(base_ + "\\RSE_3_4711").empty());
  other.reset();
  run.join();
  EXPECT_EQ(code, 0) << ReadHostFile(dir_.host() / "setup.log");
  EXPECT_EQ(ReadHostFile(dir_.host() / "Reise/LESSON.DAT"), "lesson data");
  EXPECT_FALSE(SortedValues(base_ + "\\RSE_3_4711").empty());
}

TEST_F(SetupProgram, FailuresEndWithExitCodeThreeAndAreLogged) {
  dir_.Write("SETUP.inf", "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + base_ +
                              "\r\n[Application1]\r\nProductCode=BAD\r\n"
                              "[Application1.FileGroup1]\r\nDestDir=<NoSuchDir>\\x\r\n"
                              "FileSpec1=@NOTHING.DAT\r\n");
  EXPECT_EQ(Setup({"/silent"}), 3);
  std::string log = ReadHostFile(dir_.host() / "setup.log");
  EXPECT_NE(log.find("Error: Invalid directory reference '<NoSuchDir>\\x'"), std::string::npos)
      << log;
  // Nothing was recorded.
  EXPECT_TRUE(SortedValues(base_ + "\\BAD_0_0").empty());
  // A key that names no installed product changes nothing and says so: "not installed".
  EXPECT_EQ(Setup({"/silent", "/remove=NONE_1_1"}), 4);
#ifndef _WIN32
  // Without "/silent" and without a terminal there is nothing to show the window on. (On
  // Windows the setup window opens; the window's own tests drive it.)
  EXPECT_EQ(Setup({}), 3);
#endif
  log = ReadHostFile(dir_.host() / "setup.log");
  EXPECT_NE(log.find("Not installed: no installed application has the record 'NONE_1_1'"),
            std::string::npos);

  // A baggage that cannot be opened ends the run before the setup object: the log still ends
  // with the exit code.
  EXPECT_EQ(Setup({"/silent", "/BAG=" + dir_.win("MISSING.BAG")}), 3);
  log = testing::WithoutTimeStamps(ReadHostFile(dir_.host() / "setup.log"));
  EXPECT_TRUE(log.ends_with("Exit code 3\r\n")) << log;
}

}  // namespace
}  // namespace valise
