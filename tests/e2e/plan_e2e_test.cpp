// "/plan" as a publisher uses it before shipping: the plan of a small product printed as text
// and as JSON changes nothing, and the silent run after it installs exactly the planned files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include "baggage/bag_writer.h"
#include "course/app_strings.h"
#include "course_fixtures.h"
#include "platform/registry.h"
#include "run_program.h"
#include "setup/cached_program.h"
#include "test_support.h"

namespace valise {
namespace {

using testing::ReadHostFile;
using testing::TempDir;

constexpr const char* kProgramName = testing::kSetupProgramName;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Whether the text is one JSON value as far as its brackets and strings go: strings closed,
// escapes valid, brackets balanced and properly nested, nothing after the outer value.
bool BalancedJson(const std::string& text) {
  std::string stack;
  bool inString = false;
  bool done = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c == '"') inString = false;
      if (c == '\\') {
        if (++i == text.size()) return false;
        if (std::string_view("\"\\/bfnrtu").find(text[i]) == std::string_view::npos) return false;
      }
      continue;
    }
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    if (done) return false;
    if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      stack += c;
    } else if (c == '}' || c == ']') {
      if (stack.empty() || stack.back() != (c == '}' ? '{' : '[')) return false;
      stack.pop_back();
      done = stack.empty();
    }
  }
  return done && !inString;
}

std::string JsonPath(const std::string& path) {
  return Replaced(path, "\\", "\\\\");
}

class PlanProgram : public ::testing::Test {
 protected:
  PlanProgram() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    base_ = std::string("Software\\ValiseTests\\e2e.") + info->name();
    platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, base_);
    std::filesystem::copy_file(testing::HostPath(VALISE_SETUP_PROGRAM), dir_.host() / kProgramName);
  }
  ~PlanProgram() override { platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, base_); }

  int Setup(std::vector<std::string> args) {
    args.push_back("/nomsg");
    args.push_back("/log=" + dir_.win("setup.log"));
    return testing::RunProgram(testing::Utf8Path(dir_.host() / kProgramName), args);
  }

  // The Windows paths of every file below the folders, relative to the scenario's folder.
  std::set<std::string> FilesBelow(std::initializer_list<const char*> folders) const {
    std::set<std::string> files;
    for (const char* folder : folders) {
      if (!std::filesystem::exists(dir_.host() / folder)) continue;
      for (const auto& entry :
           std::filesystem::recursive_directory_iterator(dir_.host() / folder)) {
        if (!entry.is_regular_file()) continue;
        files.insert(dir_.win(Replaced(
            testing::Utf8Path(std::filesystem::relative(entry.path(), dir_.host())), "/", "\\")));
      }
    }
    return files;
  }

  TempDir dir_;
  std::string base_;
};

TEST_F(PlanProgram, PrintsTheSilentRunAndChangesNothing) {
  BagWriter writer;
  testing::AddProductTables(writer);
  writer.AddData("LESSON.DAT", "lesson data");
  writer.WriteStandalone(dir_.win("PRODUCT.BAG"));
  dir_.Write("files/tool.exe", "tool");
  dir_.Write("files/notes.txt", "new notes");
  // Installed before: kept by the group's update method.
  dir_.Write("Programs/Reise/notes.txt", "old notes");
  dir_.Write("old.ini", "deleted at installation");
  dir_.Write("SETUP.inf",
             "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + base_ +
                 "\r\n"
                 "[Application1]\r\nBaggage=<SrcDir>\\PRODUCT.BAG\r\n"
                 "InstallDir=<SrcDir>\\Programs\\Reise\r\nDeleteFile1=<SrcDir>\\old.ini\r\n"
                 "[Application1.FileGroup1]\r\nDestDir=[Application1.InstallDir]\\Data\r\n"
                 "FileSpec1=@LESSON.DAT\r\n"
                 "[Application1.FileGroup2]\r\nDestDir=[Application1.InstallDir]\r\n"
                 "UpdateMethod=updNever\r\nFileSpec1=files\\tool.exe\r\n"
                 "FileSpec2=files\\notes.txt\r\n"
                 "[Application1.ShellLink1]\r\nFolder=<SrcDir>\\Menu\\Reise\r\n"
                 "Description=[Application1.Title]\r\n"
                 "Command=[Application1.InstallDir]\\tool.exe\r\nCommandParams=/lesson 1\r\n"
                 "[Application1.RegEntry1]\r\nKey=\\" +
                 base_ +
                 "\\Settings\r\nName=Path \"1\"\r\nValue=[Application1.InstallDir]\r\n"
                 "[Application1.RegEntry2]\r\nName=Level\r\nType=rdInteger\r\nValue=0x10\r\n");

  ASSERT_EQ(Setup({"/plan=" + dir_.win("plan.txt")}), 0) << ReadHostFile(dir_.host() / "setup.log");
  ASSERT_EQ(Setup({"/PLAN=" + dir_.win("plan.json"), "/what"}), 0)
      << ReadHostFile(dir_.host() / "setup.log");

  const std::string d = dir_.win();
  const std::string key = "HKEY_CURRENT_USER\\" + base_;
  const std::string kept = setup::CachedProgramFolder(platform::RegRoot::CurrentUser, base_);
  const std::string expected =
      "Setup plan (nothing has been changed)\n"
      "Script: D\\SETUP.inf\n"
      "Kept for removal: " +
      kept + "\\setup.exe, " + kept +
      "\\setup.inf\n"
      "\n"
      "Application1 'Reisesprache Englisch': install\n"
      "  Record: K\\RSE_3_4711\n"
      "  Install folder: D\\Programs\\Reise\n"
      "  Baggage: D\\PRODUCT.BAG\n"
      "  Delete file: D\\old.ini\n"
      "  File group 1: D\\Programs\\Reise\\Data (updAlways)\n"
      "    new     D\\Programs\\Reise\\Data\\LESSON.DAT <- member LESSON.DAT\n"
      "  File group 2: D\\Programs\\Reise (updNever)\n"
      "    new     D\\Programs\\Reise\\tool.exe <- D\\files\\tool.exe\n"
      "    keep    D\\Programs\\Reise\\notes.txt <- D\\files\\notes.txt\n"
      "  Shortcut: D\\Menu\\Reise\\Reisesprache Englisch.lnk -> D\\Programs\\Reise\\tool.exe "
      "/lesson 1\n"
      "  Registry: K\\Settings, Path \"1\" (rdString) = D\\Programs\\Reise\n"
      "  Registry: K\\RSE_3_4711, Level (rdInteger) = 16\n"
      "\n"
      // The sizes of the sources (11 + 4 + 9) and 1024 for the shortcut.
      "Drive " +
      d.substr(0, 1) + ": 1048 bytes needed, # bytes free\n";
  const std::string text = std::regex_replace(ReadHostFile(dir_.host() / "plan.txt"),
                                              std::regex(", [0-9]+ bytes free"), ", # bytes free");
  EXPECT_EQ(text, Replaced(Replaced(expected, "D\\", d + "\\"), "K\\", key + "\\"));

  const std::string json = ReadHostFile(dir_.host() / "plan.json");
  EXPECT_TRUE(BalancedJson(json)) << json;
  for (const std::string& part : {
           std::string("\"script\": \"") + JsonPath(d) + "\\\\SETUP.inf\"",
           std::string("\"section\": \"Application1\""),
           std::string("\"action\": \"install\""),
           std::string("\"deleteFiles\": [\n        \"") + JsonPath(d) + "\\\\old.ini\"",
           std::string("\"member\": \"LESSON.DAT\""),
           std::string("\"update\": \"keep\""),
           std::string("\"source\": \"") + JsonPath(d) + "\\\\files\\\\tool.exe\"",
           std::string("\"parameters\": \"/lesson 1\""),
           std::string("\"name\": \"Path \\\"1\\\"\""),
           std::string("\"value\": \"") + JsonPath(d) + "\\\\Programs\\\\Reise\"",
           std::string("\"bytes\": 1048"),
           std::string("\"freeBytes\": "),
       }) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
  }

  // "/?" prints the switches (on Windows also in a box, which "/nomsg" sends to the log).
  EXPECT_EQ(Setup({"/?"}), 0);
  const std::string log = ReadHostFile(dir_.host() / "setup.log");
  EXPECT_NE(log.find("Ignored unknown switch /what"), std::string::npos) << log;
#ifdef _WIN32
  EXPECT_NE(log.find("Message 'Setup': Usage: setup"), std::string::npos) << log;
#endif

  // Nothing changed: no file, no shortcut, no record, no entry.
  EXPECT_EQ(FilesBelow({"Programs", "Menu"}),
            std::set<std::string>{d + "\\Programs\\Reise\\notes.txt"});
  EXPECT_TRUE(std::filesystem::exists(dir_.host() / "old.ini"));
  EXPECT_FALSE(platform::RegKey::Open(platform::RegRoot::CurrentUser, base_));

  // The run installs exactly the files the plan lists, and keeps what it said it keeps.
  ASSERT_EQ(Setup({"/silent"}), 0) << ReadHostFile(dir_.host() / "setup.log");
  std::set<std::string> planned;
  const std::regex fileLine("^    (new|replace|keep) +(.*) <- .*$|^  Shortcut: (.*) -> .*$");
  std::istringstream lines(ReadHostFile(dir_.host() / "plan.txt"));
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (std::regex_match(line, match, fileLine)) {
      planned.insert(match[2].matched ? match[2].str() : match[3].str());
    }
  }
  EXPECT_EQ(planned.size(), 4u);
  EXPECT_EQ(FilesBelow({"Programs", "Menu"}), planned);
  EXPECT_EQ(ReadHostFile(dir_.host() / "Programs/Reise/notes.txt"), "old notes");
  EXPECT_FALSE(std::filesystem::exists(dir_.host() / "old.ini"));
  const auto level =
      platform::RegKey::Open(platform::RegRoot::CurrentUser, base_ + "\\RSE_3_4711")->Read("Level");
  ASSERT_TRUE(level);
  EXPECT_EQ(level->number, 16u);
}

}  // namespace
}  // namespace valise
