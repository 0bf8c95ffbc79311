// The setup program broken on purpose: killed at seeded points of a 2,000-file install, stopped
// by a member missing in the middle of a group, unable to store the registry at the end. After
// each fault: every file of the product on disk is named in the record, no file under a final
// name is incomplete, the record reads; then the next run completes the install and a removal
// leaves nothing. The suite ends with a table of what each fault cost.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "baggage/bag_writer.h"
#include "course/app_strings.h"
#include "course_fixtures.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "test_support.h"

namespace valise {
namespace {

namespace fs = std::filesystem;
using testing::ReadHostFile;
using testing::TempDir;

constexpr const char* kBaseKey = "Software\\ValiseFaults";
constexpr const char* kRecordKey = "RSE_3_4711";

// One row of the table: what a fault cost over its runs.
struct FaultRow {
  std::string fault;
  int runs = 0;
  int lostOrOrphaned = 0;
  int truncated = 0;
  int unreadable = 0;
};

std::vector<FaultRow>& Table() {
  static std::vector<FaultRow> table;
  return table;
}

class PrintTable : public ::testing::Environment {
 public:
  void TearDown() override {
    std::printf("\n%-34s %5s %17s %10s %11s\n", "fault", "runs", "lost or orphaned", "truncated",
                "unreadable");
    for (const FaultRow& row : Table()) {
      std::printf("%-34s %5d %17d %10d %11d\n", row.fault.c_str(), row.runs, row.lostOrOrphaned,
                  row.truncated, row.unreadable);
    }
  }
};
[[maybe_unused]] ::testing::Environment* const kPrintTable =
    ::testing::AddGlobalTestEnvironment(new PrintTable);

// What the record names, group by group (upper-case names), read as a later run reads it.
struct Record {
  bool exists = false;
  bool unreadable = false;
  bool incomplete = false;
  std::vector<std::set<std::string>> groups;
};

std::string Upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  return text;
}

class SetupFaults : public ::testing::Test {
 protected:
  SetupFaults() {
    // A prefix of its own: the registry file's size and faults concern this test alone.
    if (const char* previous = std::getenv("WINEPREFIX")) previousPrefix_ = previous;
    ::setenv("WINEPREFIX", (dir_.host() / "prefix").c_str(), 1);
    fs::copy_file(testing::HostPath(VALISE_SETUP_PROGRAM), dir_.host() / "SETUP");
  }
  ~SetupFaults() override {
    if (previousPrefix_.empty()) {
      ::unsetenv("WINEPREFIX");
    } else {
      ::setenv("WINEPREFIX", previousPrefix_.c_str(), 1);
    }
  }

  // Starts the program; `fileLimit` bytes, when given, is the largest file it may write.
  pid_t Start(std::vector<std::string> args, rlim_t fileLimit = 0) {
    args.push_back("/nomsg");
    args.push_back("/log=" + dir_.win("setup.log"));
    const std::string program = (dir_.host() / "SETUP").string();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
      const int devNull = ::open("/dev/null", O_RDONLY);
      if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
      if (fileLimit != 0) {
        // A write beyond the limit fails (EFBIG) instead of ending the program.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{fileLimit, fileLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    return child;
  }
  // The exit code; -1 when the program was killed.
  static int Wait(pid_t child) {
    int status = 0;
    if (child <= 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
  int Run(std::vector<std::string> args, rlim_t fileLimit = 0) {
    return Wait(Start(std::move(args), fileLimit));
  }
  std::string LastLog() const {
    const std::string log = ReadHostFile(dir_.host() / "setup.log");
    const std::size_t start = log.rfind("Setup ");
    return start == std::string::npos ? log : log.substr(start);
  }

  // The product: groups of members (name and content) installed into Product and its
  // subfolders, and a script that installs them, with `settings` registry entries of 1,000
  // characters each.
  void WriteProduct(const std::vector<std::vector<std::pair<std::string, std::string>>>& groups,
                    const std::set<std::string>& leftOut = {}, int settings = 0) {
    BagWriter writer;
    auto project = course::testing::ProjectTable(course::testing::With(
        course::testing::StandardProject(), {"TRANSLATIONLANGUAGES", adb::ftString, 41, "2"}));
    writer.AddData("_PRJ.ADB", project.TableBytes());
    writer.AddData("_PRJ.AMB", project.MemoBytes());
    std::vector<course::testing::TextRow> rows;
    for (std::uint32_t id : course::kWindowTextIds) {
      rows.emplace_back(id, course::LANG_ENGLISH_US, "text " + std::to_string(id));
    }
    writer.AddData("_TXT.ADB", course::testing::TextpoolTable(rows).TableBytes());
    std::string script = "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + std::string(kBaseKey) +
                         "\r\n[Application1]\r\nBaggage=<SrcDir>\\PRODUCT.BAG\r\n"
                         "InstallDir=<SrcDir>\\Product\r\n";
    groups_.clear();
    for (std::size_t g = 0; g < groups.size(); ++g) {
      const std::string folder = g == 0 ? "" : "\\G" + std::to_string(g);
      script += "[Application1.FileGroup" + std::to_string(g + 1) +
                "]\r\nDestDir=[Application1.InstallDir]" + folder + "\r\n";
      std::map<std::string, std::string> contents;
      for (std::size_t i = 0; i < groups[g].size(); ++i) {
        const auto& [name, content] = groups[g][i];
        script += "FileSpec" + std::to_string(i + 1) + "=@" + name + "\r\n";
        if (!leftOut.contains(name)) writer.AddData(name, content);
        contents[Upper(name)] = content;
      }
      groups_.push_back(
          {g == 0 ? dir_.host() / "Product" : dir_.host() / "Product" / ("G" + std::to_string(g)),
           std::move(contents)});
    }
    for (int n = 1; n <= settings; ++n) {
      script += "[Application1.RegEntry" + std::to_string(n) + "]\r\nKey=\\" +
                std::string(kBaseKey) + "\\Settings\r\nName=Note" + std::to_string(n) +
                "\r\nValue=" + std::string(1000, 'n') + "\r\n";
    }
    writer.WriteStandalone(dir_.win("PRODUCT.BAG"));
    dir_.Write("SETUP.inf", script);
  }

  Record ReadRecord() const {
    Record record;
    try {
      const auto key = platform::RegKey::Open(platform::RegRoot::CurrentUser,
                                              std::string(kBaseKey) + "\\" + kRecordKey);
      if (!key) return record;
      record.exists = true;
      record.incomplete = key->HasValue("Incomplete");
      for (int g = 1; key->HasValue("FileGroup" + std::to_string(g)); ++g) {
        std::set<std::string> names;
        for (int n = 1;; ++n) {
          const auto value =
              key->Read("FileGroup" + std::to_string(g) + "File" + std::to_string(n));
          if (!value) break;
          names.insert(Upper(value->text));
        }
        record.groups.push_back(std::move(names));
      }
    } catch (const std::exception&) {
      record.unreadable = true;
    }
    return record;
  }

  // What is on disk against the record and the baggage.
  struct Disk {
    int unrecorded = 0;  // a file of the product under a final name that the record does not name
    int truncated = 0;   // a file under a final name whose bytes are not the member's
    int temporary = 0;   // temporary files
    int complete = 0;    // files under a final name with the member's bytes, recorded
    int other = 0;       // anything else in the product's folders
  };
  Disk Inspect(const Record& record) const {
    Disk disk;
    if (!fs::exists(dir_.host() / "Product")) return disk;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.host() / "Product")) {
      if (entry.is_directory()) continue;
      const std::string name = entry.path().filename().string();
      if (name.starts_with("~VL") && name.ends_with(".TMP")) {
        ++disk.temporary;
        continue;
      }
      std::size_t g = 0;
      while (g < groups_.size() && entry.path().parent_path() != groups_[g].folder) ++g;
      const auto content = g < groups_.size()
                               ? groups_[g].contents.find(Upper(name))
                               : std::map<std::string, std::string>::const_iterator{};
      if (g == groups_.size() || content == groups_[g].contents.end()) {
        ++disk.other;
        continue;
      }
      const bool recorded = g < record.groups.size() && record.groups[g].contains(Upper(name));
      const bool whole = ReadHostFile(entry.path()) == content->second;
      if (!recorded) ++disk.unrecorded;
      if (!whole) ++disk.truncated;
      if (recorded && whole) ++disk.complete;
    }
    return disk;
  }
  int ProductFiles() const {
    int count = 0;
    for (const auto& group : groups_) count += static_cast<int>(group.contents.size());
    return count;
  }
  // Nothing of the product is left: no file below its folder, no record.
  int LeftAfterRemoval() const {
    int left = ReadRecord().exists ? 1 : 0;
    if (fs::exists(dir_.host() / "Product")) {
      for (const auto& entry : fs::recursive_directory_iterator(dir_.host() / "Product")) {
        if (!entry.is_directory()) ++left;
      }
    }
    return left;
  }

  struct Group {
    fs::path folder;
    std::map<std::string, std::string> contents;  // by upper-case name
  };

  TempDir dir_;
  std::string previousPrefix_;
  std::vector<Group> groups_;
};

// Members of seeded random sizes (bytes that differ per file, so that a mix-up shows).
std::vector<std::pair<std::string, std::string>> Members(const std::string& stem, int count,
                                                         std::size_t largest,
                                                         std::mt19937& random) {
  std::vector<std::pair<std::string, std::string>> members;
  for (int i = 1; i <= count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%s%04d.DAT", stem.c_str(), i);
    const std::size_t size = std::uniform_int_distribution<std::size_t>(1, largest)(random);
    std::string content(size, static_cast<char>('a' + i % 26));
    content.replace(0, std::min<std::size_t>(size, std::string_view(name).size()), name, 0,
                    std::min<std::size_t>(size, std::string_view(name).size()));
    members.emplace_back(name, std::move(content));
  }
  return members;
}

TEST_F(SetupFaults, KilledInstallsAreCompletedAndRemoved) {
  std::mt19937 random(17);
  // 2,000 files: 1,990 small ones and ten of a few MiB, so that a kill often lands in a copy.
  WriteProduct({Members("F", 1990, 48 * 1024, random), Members("BIG", 10, 6u << 20, random)});
  const int files = ProductFiles();
  FaultRow row{"kill -9 during a 2,000-file install"};
  int killedInFlight = 0;
  int leftIncomplete = 0;
  for (int point = 0; point < 8; ++point) {
    const int delay = std::uniform_int_distribution<int>(20, 600)(random);
    SCOPED_TRACE("kill after " + std::to_string(delay) + " ms");
    const pid_t child = Start({"/silent"});
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    ::kill(child, SIGKILL);
    if (Wait(child) == -1) ++killedInFlight;
    ++row.runs;

    Record record = ReadRecord();
    Disk disk = Inspect(record);
    EXPECT_FALSE(record.unreadable);
    EXPECT_EQ(disk.unrecorded, 0);
    EXPECT_EQ(disk.truncated, 0);
    EXPECT_EQ(disk.other, 0);
    row.unreadable += record.unreadable ? 1 : 0;
    row.lostOrOrphaned += disk.unrecorded;
    row.truncated += disk.truncated;

    // The next run completes it (or finds it complete), then a removal leaves nothing.
    const bool stopped = record.incomplete;
    leftIncomplete += stopped ? 1 : 0;
    EXPECT_EQ(Run({"/silent"}), 0) << LastLog();
    ++row.runs;
    if (stopped) {
      EXPECT_NE(LastLog().find("Completing RSE_3_4711"), std::string::npos);
    }
    record = ReadRecord();
    disk = Inspect(record);
    EXPECT_FALSE(record.unreadable);
    EXPECT_FALSE(record.incomplete);
    EXPECT_EQ(disk.complete, files);
    EXPECT_EQ(disk.temporary, 0);
    EXPECT_EQ(disk.truncated, 0);
    row.unreadable += record.unreadable ? 1 : 0;
    row.lostOrOrphaned += files - disk.complete;
    row.truncated += disk.truncated;

    EXPECT_EQ(Run({"/silent", std::string("/remove=") + kRecordKey}), 0) << LastLog();
    ++row.runs;
    const int left = LeftAfterRemoval();
    EXPECT_EQ(left, 0);
    row.lostOrOrphaned += left;
  }
  std::printf("%d of 8 runs were killed before they ended, %d left an incomplete record\n",
              killedInFlight, leftIncomplete);
  Table().push_back(row);
}

TEST_F(SetupFaults, MissingMemberStopsTheGroupAfterTheFilesBeforeIt) {
  WriteProduct({{{"FIRST.DAT", std::string(1u << 20, 'f')},
                 {"ABSENT.DAT", "never in the baggage"},
                 {"LAST.DAT", "last"}}},
               {"ABSENT.DAT"});
  FaultRow row{"member missing in a group"};
  EXPECT_EQ(Run({"/silent"}), 3);
  ++row.runs;
  EXPECT_NE(LastLog().find("ABSENT.DAT"), std::string::npos) << LastLog();
  Record record = ReadRecord();
  Disk disk = Inspect(record);
  EXPECT_TRUE(record.incomplete);
  EXPECT_EQ(ReadHostFile(dir_.host() / "Product/FIRST.DAT"), std::string(1u << 20, 'f'));
  EXPECT_TRUE(record.groups.size() == 1 && record.groups[0].contains("FIRST.DAT"));
  EXPECT_FALSE(fs::exists(dir_.host() / "Product/LAST.DAT"));
  EXPECT_EQ(disk.complete, 1);
  EXPECT_EQ(disk.temporary, 0);
  row.lostOrOrphaned += disk.unrecorded + (1 - std::min(disk.complete, 1));
  row.truncated += disk.truncated;
  row.unreadable += record.unreadable ? 1 : 0;

  EXPECT_EQ(Run({"/silent", std::string("/remove=") + kRecordKey}), 0) << LastLog();
  ++row.runs;
  EXPECT_EQ(LeftAfterRemoval(), 0);
  row.lostOrOrphaned += LeftAfterRemoval();
  Table().push_back(row);
}

TEST_F(SetupFaults, RegistryUnwritableAtTheEnd) {
  std::mt19937 random(3);
  // The registry entry written last makes the registry file grow beyond what the run may write:
  // every store before it succeeds, the one at the end fails.
  WriteProduct({Members("F", 200, 32 * 1024, random)}, {}, 200);
  const int files = ProductFiles();
  ASSERT_EQ(Run({"/silent", "/remove=NONE_1_1"}), 4);  // makes the prefix; changes nothing
  const auto registrySize = fs::file_size(dir_.host() / "prefix" / "user.reg");
  FaultRow row{"registry file unwritable at the end"};
  EXPECT_EQ(Run({"/silent"}, registrySize + 96 * 1024), 3);
  ++row.runs;
  const std::string log = LastLog();
  EXPECT_NE(log.find("user.reg"), std::string::npos) << log;
  Record record = ReadRecord();
  Disk disk = Inspect(record);
  EXPECT_FALSE(record.unreadable);
  EXPECT_TRUE(record.incomplete);
  EXPECT_EQ(disk.complete, files);
  EXPECT_EQ(disk.unrecorded, 0);
  row.lostOrOrphaned += disk.unrecorded + files - disk.complete;
  row.truncated += disk.truncated;
  row.unreadable += record.unreadable ? 1 : 0;

  EXPECT_EQ(Run({"/silent"}), 0) << LastLog();
  ++row.runs;
  EXPECT_NE(LastLog().find("Completing RSE_3_4711"), std::string::npos) << LastLog();
  record = ReadRecord();
  EXPECT_FALSE(record.incomplete);
  EXPECT_EQ(Inspect(record).complete, files);
  EXPECT_EQ(Run({"/silent", std::string("/remove=") + kRecordKey}), 0) << LastLog();
  ++row.runs;
  EXPECT_EQ(LeftAfterRemoval(), 0);
  row.lostOrOrphaned += LeftAfterRemoval();
  Table().push_back(row);
}

}  // namespace
}  // namespace valise
