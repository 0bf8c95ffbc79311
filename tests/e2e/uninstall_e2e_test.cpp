// Uninstalling as administrators and the list of installed programs do it: each installed
// application has an entry below the records' root that names it and holds the commands that
// remove it, which start the setup program kept in the application data folder; a remove-only
// run needs neither the baggage nor the source files and installs nothing; a key of no
// installed application ends the run with exit code 4; the last removal takes the kept program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>

#include "baggage/bag_writer.h"
#include "course/app_strings.h"
#include "course/textpool.h"
#include "course_fixtures.h"
#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/utf.h"
#include "run_program.h"
#include "setup/cached_program.h"
#include "test_support.h"

namespace valise {
namespace {

using testing::ReadHostFile;
using testing::SortedValues;
using testing::TempDir;

constexpr const char* kProgramName = testing::kSetupProgramName;

constexpr const char* kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// The two applications' record keys: the baggage's product, and one named by "AltRegKey".
constexpr const char* kKeyA = "UNI_3_4711";
constexpr const char* kKeyB = "ValiseE2EHelper";

bool KeyExists(const std::string& path) {
  return platform::RegKey::Open(platform::RegRoot::CurrentUser, path).has_value();
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d", std::localtime(&now));
  return text;
}

class Uninstall : public ::testing::Test {
 protected:
  Uninstall() {
    base_ = std::string("Software\\ValiseTests\\e2e.Uninstall.") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Clean();
    std::filesystem::copy_file(testing::HostPath(VALISE_SETUP_PROGRAM), dir_.host() / kProgramName);
  }
  ~Uninstall() override { Clean(); }

  void Clean() {
    platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, base_);
    platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, std::string(kUninstall) + kKeyA);
    platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, std::string(kUninstall) + kKeyB);
    std::filesystem::remove_all(Kept());
  }

  // The folder of the kept setup program, as the host sees it.
  std::filesystem::path Kept() const {
    return testing::HostPath(
        platform::ToHostPath(setup::CachedProgramFolder(platform::RegRoot::CurrentUser, base_)));
  }

  int Run(const std::string& program, std::vector<std::string> args) {
    args.push_back("/log=" + dir_.win("setup.log"));
    return testing::RunProgram(program, args);
  }
  int Setup(std::vector<std::string> args) {
    args.push_back("/nomsg");
    return Run(testing::Utf8Path(dir_.host() / kProgramName), std::move(args));
  }
  std::string Log() const { return ReadHostFile(dir_.host() / "setup.log"); }

  // The product's media: a baggage with the tables of "UNI" release 3, ID 4711, version
  // "2.1", and two members; a loose source file of 3000 bytes.
  void WriteMedia() {
    BagWriter writer;
    testing::AddProductTables(writer, "UNI");
    writer.AddData("LESSON.DAT", std::string(1500, 'l'));
    writer.AddData("READ ME.TXT", "Grüße");
    writer.WriteStandalone(dir_.win("PRODUCT.BAG"));
    dir_.Write("files/help.txt", std::string(3000, 'h'));
  }

  TempDir dir_;
  std::string base_;
};

TEST_F(Uninstall, RemoveOnlyRunsNeedNoMediaInstallNothingAndDeleteTheEntries) {
  WriteMedia();
  const std::string appA = dir_.win("Programs\\Reise");
  const std::string appB = dir_.win("Programs\\Helper");
  dir_.Write("SETUP.inf", "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + base_ +
                              "\r\nPublisher=Vantorel Test\r\n"
                              "[Application1]\r\nBaggage=<SrcDir>\\PRODUCT.BAG\r\n"
                              "InstallDir=<SrcDir>\\Programs\\Reise\r\n"
                              "[Application1.FileGroup1]\r\nDestDir=[Application1.InstallDir]\r\n"
                              "FileSpec1=@LESSON.DAT\r\nFileSpec2=@READ ME.TXT\r\n"
                              "[Application2]\r\nTitle=Helper\r\nProductCode=HLP\r\nVersion=1\r\n"
                              "ProductID=2\r\nAltRegKey=" +
                              std::string(kKeyB) +
                              "\r\nInstallDir=<SrcDir>\\Programs\\Helper\r\n"
                              "[Application2.FileGroup1]\r\nDestDir=[Application2.InstallDir]\r\n"
                              "FileSpec1=files\\help.txt\r\n");

  const std::string before = Today();
  ASSERT_EQ(Setup({"/silent"}), 0) << Log();
  const std::string after = Today();
  const auto& host = dir_.host();
  ASSERT_TRUE(std::filesystem::exists(host / "Programs/Reise/LESSON.DAT"));
  ASSERT_TRUE(std::filesystem::exists(host / "Programs/Helper/help.txt"));

  // The setup program is kept, without the baggage, beside a script that names the records key.
  const std::string program =
      setup::CachedProgramFolder(platform::RegRoot::CurrentUser, base_) + "\\setup.exe";
  EXPECT_EQ(ReadHostFile(Kept() / "setup.exe"), ReadHostFile(host / kProgramName));
  // The script holds the run's window texts, for the copy has no baggage to take them from;
  // it is UTF-16, so that they keep their characters in any language.
  const std::string script = ReadHostFile(Kept() / "setup.inf");
  ASSERT_TRUE(script.starts_with("\xFF\xFE") && script.size() % 2 == 0);
  std::u16string units;
  for (std::size_t i = 2; i < script.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<unsigned char>(script[i]) |
                                   static_cast<unsigned char>(script[i + 1]) << 8);
  }
  std::string texts;
  for (const std::uint32_t id : course::kWindowTextIds) {
    texts +=
        course::TTextpoolInterface::IdentifierOf(id) + "=\"text " + std::to_string(id) + "\"\r\n";
  }
  EXPECT_EQ(platform::Utf16ToUtf8(units),
            "; Kept by the setup program beside its copy, for removing what it installed.\r\n"
            "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" +
                base_ + "\r\nLanguage=2\r\n[Texts]\r\n" + texts);

  // The entries: named after the records, beside them; the records hold nothing of them.
  const auto entry = [&](const char* key) {
    std::vector<std::string> values = SortedValues(std::string(kUninstall) + key);
    // The date and the program's path are checked on their own.
    std::string date;
    std::string quiet;
    std::string interactive;
    std::erase_if(values, [&](const std::string& line) {
      for (auto [prefix, into] : {std::pair{"InstallDate=", &date},
                                  {"QuietUninstallString=", &quiet},
                                  {"UninstallString=", &interactive}}) {
        if (line.starts_with(prefix)) {
          *into = line.substr(std::string_view(prefix).size());
          return true;
        }
      }
      return false;
    });
    EXPECT_TRUE(date == before || date == after) << key << ": " << date;
    EXPECT_EQ(platform::UpperCase(quiet),
              platform::UpperCase("\"" + program + "\" /silent /nomsg /remove=" + key));
    EXPECT_EQ(platform::UpperCase(interactive),
              platform::UpperCase("\"" + program + "\" /remove=" + key));
    return values;
  };
  EXPECT_EQ(entry(kKeyA),
            (std::vector<std::string>{"DisplayName=Reisesprache Englisch", "DisplayVersion=2.1",
                                      // 1500 + 7 bytes: 2 KiB.
                                      "EstimatedSize=2", "InstallLocation=" + appA, "NoModify=1",
                                      "NoRepair=1", "Publisher=Vantorel Test"}));
  EXPECT_EQ(entry(kKeyB),
            (std::vector<std::string>{"DisplayName=Helper", "DisplayVersion=1", "EstimatedSize=3",
                                      "InstallLocation=" + appB, "NoModify=1", "NoRepair=1",
                                      "Publisher=Vantorel Test"}));
  EXPECT_EQ(SortedValues(base_ + "\\" + kKeyA),
            (std::vector<std::string>{"FileGroup1=" + appA, "FileGroup1File1=LESSON.DAT",
                                      "FileGroup1File2=READ ME.TXT", "InstallDir=" + appA,
                                      "Title=Reisesprache Englisch"}));
  EXPECT_EQ(
      SortedValues(base_ + "\\" + kKeyB),
      (std::vector<std::string>{"AltRegKey=1", "FileGroup1=" + appB, "FileGroup1File1=help.txt",
                                "InstallDir=" + appB, "Title=Helper"}));

  // Without the script the records are looked for below the default key, where this product's
  // are not: its entry says it is installed, so the run fails rather than say "not installed".
  std::filesystem::rename(host / "SETUP.inf", host / "SETUP.away");
  EXPECT_EQ(Setup({"/silent", std::string("/remove=") + kKeyA}), 3) << Log();
  EXPECT_NE(Log().find("Error: The record '" + std::string(kKeyA) +
                       "' is not below HKEY_CURRENT_USER\\Software\\Vantorel, yet the list of "
                       "installed programs names it"),
            std::string::npos)
      << Log();
  EXPECT_TRUE(std::filesystem::exists(host / "Programs/Reise/LESSON.DAT"));
  EXPECT_TRUE(KeyExists(base_ + "\\" + kKeyA));
  std::filesystem::rename(host / "SETUP.away", host / "SETUP.inf");

  // The media are gone; the command line still names the baggage it was installed with.
  std::filesystem::remove(host / "PRODUCT.BAG");
  std::filesystem::remove_all(host / "files");
  EXPECT_EQ(Setup({"/silent", "/bag=" + dir_.win("PRODUCT.BAG"), std::string("/remove=") + kKeyA,
                   "/remove=NONE_9_9"}),
            4)
      << Log();
  EXPECT_NE(Log().find("Not installed: no installed application has the record 'NONE_9_9'"),
            std::string::npos)
      << Log();
  EXPECT_FALSE(std::filesystem::exists(host / "Programs/Reise"));
  EXPECT_FALSE(KeyExists(base_ + "\\" + kKeyA));
  EXPECT_FALSE(KeyExists(std::string(kUninstall) + kKeyA));
  EXPECT_EQ(ReadHostFile(host / "Programs/Helper/help.txt"), std::string(3000, 'h'));
  EXPECT_TRUE(KeyExists(base_ + "\\" + kKeyB));
  EXPECT_TRUE(KeyExists(std::string(kUninstall) + kKeyB));

  // With the media back, the entry's silent command removes the other application and
  // installs nothing, although the script offers the one just removed; the kept program knows
  // the records key from its own script, and goes with the last application.
  WriteMedia();
  const std::vector<std::string> b = SortedValues(std::string(kUninstall) + kKeyB);
  const auto quiet = std::find_if(b.begin(), b.end(), [](const std::string& line) {
    return line.starts_with("QuietUninstallString=\"");
  });
  ASSERT_NE(quiet, b.end());
  const std::string command = quiet->substr(std::string_view("QuietUninstallString=\"").size());
  const std::size_t close = command.find('"');
  ASSERT_NE(close, std::string::npos);
  std::vector<std::string> args;
  for (std::size_t at = close + 1; at < command.size();) {
    const std::size_t next = std::min(command.find(' ', at + 1), command.size());
    if (next > at + 1) args.push_back(command.substr(at + 1, next - at - 1));
    at = next;
  }
  std::filesystem::remove(host / "setup.log");
  EXPECT_TRUE(platform::CompareTextIgnoreCase(command.substr(0, close), program) == 0) << command;
  // A file in use when it is removed: Windows refuses to delete it, and the run has the system
  // delete it at its next start and asks for that restart (Linux deletes it at once).
  const auto inUse = platform::File::OpenRead(dir_.win("Programs\\Helper\\help.txt"));
  ASSERT_TRUE(inUse);
#ifdef _WIN32
  EXPECT_EQ(Run(platform::ToHostPath(command.substr(0, close)), args), 3010) << Log();
  EXPECT_NE(Log().find("Deleting at the next restart: " + dir_.win("Programs\\Helper\\help.txt")),
            std::string::npos)
      << Log();
  const auto pending = platform::RegKey::Open(
      platform::RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\Session Manager");
  ASSERT_TRUE(pending);
  const auto operations = pending->Read("PendingFileRenameOperations");
  ASSERT_TRUE(operations);
  // A list of UTF-16 names, each deleted file followed by an empty one.
  std::string names;
  for (std::size_t i = 0; i + 1 < operations->bytes.size(); i += 2) {
    names += operations->bytes[i + 1] == 0 && operations->bytes[i] != 0
                 ? static_cast<char>(operations->bytes[i])
                 : '|';
  }
  EXPECT_NE(platform::UpperCase(names).find(platform::UpperCase(appB + "\\help.txt")),
            std::string::npos)
      << names;
#else
  EXPECT_EQ(Run(platform::ToHostPath(command.substr(0, close)), args), 0) << Log();
  EXPECT_FALSE(std::filesystem::exists(host / "Programs/Helper"));
#endif
  EXPECT_FALSE(std::filesystem::exists(Kept())) << Log();
  EXPECT_FALSE(std::filesystem::exists(host / "Programs/Reise"));
  const auto records = platform::RegKey::Open(platform::RegRoot::CurrentUser, base_);
  EXPECT_TRUE(!records || records->SubKeyNames().empty());
  EXPECT_FALSE(KeyExists(std::string(kUninstall) + kKeyA));
  EXPECT_FALSE(KeyExists(std::string(kUninstall) + kKeyB));
  EXPECT_EQ(Log().find("Installing"), std::string::npos) << Log();
}

#ifndef _WIN32
// The demo product in a prefix of its own: installed from a copy of its distribution folder,
// which is then deleted; each uninstall entry's silent command, run as the registry holds it,
// removes its application, and the last one takes the kept program: the prefix holds the same
// files and folders as before the install, and no record or entry is left.
class OwnPrefix {
 public:
  explicit OwnPrefix(const std::filesystem::path& prefix) {
    if (const char* value = std::getenv("WINEPREFIX")) saved_ = value;
    setenv("WINEPREFIX", prefix.c_str(), 1);
  }
  ~OwnPrefix() {
    if (saved_) {
      setenv("WINEPREFIX", saved_->c_str(), 1);
    } else {
      unsetenv("WINEPREFIX");
    }
  }
  OwnPrefix(const OwnPrefix&) = delete;
  OwnPrefix& operator=(const OwnPrefix&) = delete;

 private:
  std::optional<std::string> saved_;
};

std::vector<std::string> Tree(const std::filesystem::path& root) {
  std::vector<std::string> entries;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    entries.push_back(std::filesystem::relative(entry.path(), root).string());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

TEST(DemoUninstall, EveryEntryRemovesItsApplicationWithoutTheDistributionFolder) {
  TempDir dir;
  const OwnPrefix prefix(dir.host() / "prefix");
  const std::filesystem::path driveC = dir.host() / "prefix" / "drive_c";
  const std::string kept =
      setup::CachedProgramFolder(platform::RegRoot::CurrentUser, "Software\\Vantorel");
  ASSERT_FALSE(kept.empty());
  const std::vector<std::string> before = Tree(driveC);

  const std::filesystem::path dist = dir.host() / "dist";
  std::filesystem::copy(VALISE_DEMO_DIST, dist, std::filesystem::copy_options::recursive);
  const std::string log = "/log=" + testing::Utf8Path(dir.host() / "setup.log");
  const auto Log = [&] { return ReadHostFile(dir.host() / "setup.log"); };
  ASSERT_EQ(testing::RunProgram(testing::Utf8Path(dist / "SETUP"), {"/silent", "/nomsg", log}), 0)
      << Log();
  EXPECT_TRUE(std::filesystem::exists(driveC / "Program Files/Vantorel/Valise Demo/README.TXT"));
  EXPECT_EQ(ReadHostFile(testing::HostPath(platform::ToHostPath(kept + "\\setup.exe"))),
            ReadHostFile(dist / "SETUP"));
  std::filesystem::remove_all(dist);
  // The list shows the icon of the first application's shortcut; the second one's shortcut
  // names a document and no icon, so its entry has none.
  EXPECT_EQ(platform::RegKey::Open(platform::RegRoot::CurrentUser,
                                   std::string(kUninstall) + "VDEMO_1_1001")
                ->Read("DisplayIcon")
                ->text,
            "C:\\windows\\notepad.exe,0");
  EXPECT_FALSE(platform::RegKey::Open(platform::RegRoot::CurrentUser,
                                      std::string(kUninstall) + "VTOOLS_2_2001")
                   ->Read("DisplayIcon"));

  const std::vector<std::string> keys = {"VDEMO_1_1001", "VTOOLS_2_2001", "VGERMAN_1_1002",
                                         "VGERMAN_1_1003"};
  for (const std::string& key : keys) {
    SCOPED_TRACE(key);
    const auto entry =
        platform::RegKey::Open(platform::RegRoot::CurrentUser, std::string(kUninstall) + key);
    ASSERT_TRUE(entry.has_value());
    const std::string command = entry->Read("QuietUninstallString")->text;
    const std::string expected = "\"" + kept + "\\setup.exe\" ";
    ASSERT_EQ(command.substr(0, expected.size()), expected);
    EXPECT_EQ(command.substr(expected.size()), "/silent /nomsg /remove=" + key);
    std::vector<std::string> args = {"/silent", "/nomsg", "/remove=" + key, log};
    EXPECT_EQ(testing::RunProgram(platform::ToHostPath(kept + "\\setup.exe"), args), 0) << Log();
  }

  EXPECT_EQ(Tree(driveC), before) << Log();
  EXPECT_FALSE(KeyExists("Software\\Vantorel"));
  const auto entries = platform::RegKey::Open(platform::RegRoot::CurrentUser, kUninstall);
  EXPECT_TRUE(!entries || entries->SubKeyNames().empty());
}
#endif

}  // namespace
}  // namespace valise
