// The setup program broken on purpose: killed at seeded points of a 2,000-file install and of
// its removal, stopped by a full disk, by a registry file it cannot store, by a member missing, a
// source it cannot read, a file in place of a folder and a read-only file, and run many times at
// once on one prefix. After each fault: every file of the product on disk is named in the record,
// no file under a final name is incomplete, the record reads; then the next runs complete the
// install and a removal leaves nothing. The suite ends with a table of what each fault cost.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
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
#include "run_program.h"
#include "test_support.h"

namespace valise {
namespace {

namespace fs = std::filesystem;
using testing::ReadHostFile;
using testing::TempDir;

constexpr const char* kBaseKey = "Software\\ValiseFaults";

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
    std::printf("\n%-48s %5s %17s %10s %11s\n", "fault", "runs", "lost or orphaned", "truncated",
                "unreadable");
    for (const FaultRow& row : Table()) {
      std::printf("%-48s %5d %17d %10d %11d\n", row.fault.c_str(), row.runs, row.lostOrOrphaned,
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

// Which product a helper means: its product code (so its record key), the folder it installs
// into below the test's folder, its script and its baggage.
struct Product {
  std::string code;
  std::string folder;  // relative, with '/'
  std::string script;
  std::string bag;
  std::string RecordKey() const { return code + "_3_4711"; }
  // The switch that makes a run use this product's script.
  std::string Inf(const TempDir& dir) const { return "/inf=" + dir.win(script); }
};
const Product kMain{"RSE", "Product", "SETUP.inf", "PRODUCT.BAG"};
// The product installed into a folder of a tmpfs where the test may mount one: many runs of
// thousands of files take seconds there instead of minutes on a busy disk.
const Product kFast{"RSE", "Fast/Product", "SETUP.inf", "PRODUCT.BAG"};
// A second product beside it.
const Product kOther{"OTH", "Fast/Other", "OTHER.inf", "OTHER.BAG"};

// A group's file: its name and bytes; a loose file lies beside the program instead of in the
// baggage.
using GroupFiles = std::vector<std::pair<std::string, std::string>>;

class SetupFaults : public ::testing::Test {
 protected:
  SetupFaults() {
    // A prefix of its own: the registry file's size and faults concern this test alone.
    if (const char* previous = std::getenv("WINEPREFIX")) previousPrefix_ = previous;
    ::setenv("WINEPREFIX", (dir_.host() / "prefix").c_str(), 1);
    fs::copy_file(testing::HostPath(VALISE_SETUP_PROGRAM), dir_.host() / "SETUP");
  }
  ~SetupFaults() override {
    for (const fs::path& mount : mounts_) ::umount2(mount.c_str(), MNT_DETACH);
    if (previousPrefix_.empty()) {
      ::unsetenv("WINEPREFIX");
    } else {
      ::setenv("WINEPREFIX", previousPrefix_.c_str(), 1);
    }
  }

  // Starts the program; `fileLimit` bytes, when given, is the largest file it may write. Each
  // run appends to the log file `log`.
  pid_t Start(std::vector<std::string> args, rlim_t fileLimit = 0,
              const std::string& log = "setup.log") {
    args.push_back("/nomsg");
    args.push_back("/log=" + dir_.win(log));
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
    if (child <= 0 || ::waitpid(child, &status, 0) != child) return -1;
    // Only the test kills a run; any other signal is a crash.
    if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
      ADD_FAILURE() << "the program crashed: signal " << WTERMSIG(status);
    }
    if (!WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
  int Run(std::vector<std::string> args, rlim_t fileLimit = 0) {
    return Wait(Start(std::move(args), fileLimit));
  }
  // The last run's part of a log.
  std::string LastLog(const std::string& log = "setup.log") const {
    const std::string text = ReadHostFile(dir_.host() / log);
    const std::size_t start = text.rfind("Setup ");
    return start == std::string::npos ? text : text.substr(start);
  }
  std::string RemoveSwitch(const Product& product = kMain) const {
    return "/remove=" + product.RecordKey();
  }

  // The product: groups of members (name and content) installed into its folder and
  // subfolders G1, G2, ..., and a script that installs them, with `settings` registry entries
  // of 1,000 characters each. Names in `loose` are files beside the program, named by the
  // script as they are; members in `damaged` come last in the baggage, which is cut short one
  // byte into their data, so that they are listed and cannot be read; a loose file in `damaged`
  // is not written (the test puts what cannot be read in its place).
  void WriteProduct(const std::vector<GroupFiles>& groups,
                    const std::set<std::string>& damaged = {}, int settings = 0,
                    const Product& product = kMain, const std::set<std::string>& loose = {}) {
    BagWriter writer;
    writer.SetSorted(false);  // the data follows in the order the entries were added
    std::vector<std::pair<std::string, std::string>> last;
    testing::AddProductTables(writer, product.code);
    std::string folder = product.folder;
    std::replace(folder.begin(), folder.end(), '/', '\\');
    std::string script = "[Globals]\r\nRegBaseKey=HKEY_CURRENT_USER\\" + std::string(kBaseKey) +
                         "\r\n[Application1]\r\nBaggage=<SrcDir>\\" + product.bag +
                         "\r\nInstallDir=<SrcDir>\\" + folder + "\r\n";
    std::vector<Group>& written = groups_[product.code];
    written.clear();
    for (std::size_t g = 0; g < groups.size(); ++g) {
      const std::string sub = g == 0 ? "" : "G" + std::to_string(g);
      script += "[Application1.FileGroup" + std::to_string(g + 1) +
                "]\r\nDestDir=[Application1.InstallDir]" + (sub.empty() ? "" : "\\" + sub) + "\r\n";
      std::map<std::string, std::string> contents;
      for (std::size_t i = 0; i < groups[g].size(); ++i) {
        const auto& [name, content] = groups[g][i];
        const bool isLoose = loose.contains(name);
        script += "FileSpec" + std::to_string(i + 1) + "=" + (isLoose ? "" : "@") + name + "\r\n";
        if (isLoose) {
          if (!damaged.contains(name)) dir_.Write(name, content);
        } else if (damaged.contains(name)) {
          last.emplace_back(name, content);
        } else {
          writer.AddData(name, content);
        }
        contents[Upper(name)] = content;
      }
      written.push_back(
          {sub.empty() ? dir_.host() / product.folder : dir_.host() / product.folder / sub,
           std::move(contents)});
    }
    for (int n = 1; n <= settings; ++n) {
      script += "[Application1.RegEntry" + std::to_string(n) + "]\r\nKey=\\" +
                std::string(kBaseKey) + "\\Settings\r\nName=Note" + std::to_string(n) +
                "\r\nValue=" + std::string(1000, 'n') + "\r\n";
    }
    std::uintmax_t cut = 0;
    for (const auto& [name, content] : last) {
      writer.AddData(name, content);
      cut += content.size();
    }
    writer.WriteStandalone(dir_.win(product.bag));
    if (cut > 0) {
      const fs::path bag = dir_.host() / product.bag;
      fs::resize_file(bag, fs::file_size(bag) - cut + 1);
    }
    dir_.Write(product.script, script);
  }

  Record ReadRecord(const Product& product = kMain) const {
    Record record;
    try {
      const auto key = platform::RegKey::Open(platform::RegRoot::CurrentUser,
                                              std::string(kBaseKey) + "\\" + product.RecordKey());
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
      // A record that a later run does not take for an installation names files no removal
      // finds.
      if (!key->HasValue("Title")) record.unreadable = true;
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
  Disk Inspect(const Record& record, const Product& product = kMain) const {
    Disk disk;
    const std::vector<Group>& groups = groups_.at(product.code);
    if (!fs::exists(dir_.host() / product.folder)) return disk;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.host() / product.folder)) {
      if (entry.is_directory()) continue;
      const std::string name = entry.path().filename().string();
      if (name.starts_with("~VL") && name.ends_with(".TMP")) {
        ++disk.temporary;
        continue;
      }
      std::size_t g = 0;
      while (g < groups.size() && entry.path().parent_path() != groups[g].folder) ++g;
      const auto content = g < groups.size() ? groups[g].contents.find(Upper(name))
                                             : std::map<std::string, std::string>::const_iterator{};
      if (g == groups.size() || content == groups[g].contents.end()) {
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
  int ProductFiles(const Product& product = kMain) const {
    int count = 0;
    for (const auto& group : groups_.at(product.code)) {
      count += static_cast<int>(group.contents.size());
    }
    return count;
  }
  // Nothing of the product is left: no file below its folder, no record.
  int LeftAfterRemoval(const Product& product = kMain) const {
    int left = ReadRecord(product).exists ? 1 : 0;
    if (fs::exists(dir_.host() / product.folder)) {
      for (const auto& entry : fs::recursive_directory_iterator(dir_.host() / product.folder)) {
        if (!entry.is_directory()) ++left;
      }
    }
    return left;
  }
  // Adds what a state of the disk and the record cost to a row of the table.
  static void Count(FaultRow& row, const Record& record, const Disk& disk) {
    row.lostOrOrphaned += disk.unrecorded;
    row.truncated += disk.truncated;
    row.unreadable += record.unreadable ? 1 : 0;
  }
  // A product removed: nothing of it left.
  void Gone(FaultRow& row, const Product& product = kMain) {
    SCOPED_TRACE(product.RecordKey() + " removed");
    const int left = LeftAfterRemoval(product);
    EXPECT_EQ(left, 0);
    row.lostOrOrphaned += left;
  }
  // The next run, with the fault gone, installs or completes the product (its log says
  // `logged`), every file complete and recorded; a removal then leaves nothing. The row goes
  // into the table.
  void FinishedThenRemoved(FaultRow& row, const Product& product, const std::string& logged) {
    EXPECT_EQ(Run({"/silent"}), 0) << LastLog();
    ++row.runs;
    EXPECT_NE(LastLog().find(logged), std::string::npos) << LastLog();
    const Record record = ReadRecord(product);
    const Disk disk = Inspect(record, product);
    const int files = ProductFiles(product);
    EXPECT_FALSE(record.incomplete);
    EXPECT_EQ(disk.complete, files);
    Count(row, record, disk);
    row.lostOrOrphaned += files - disk.complete;
    EXPECT_EQ(Run({"/silent", RemoveSwitch(product)}), 0) << LastLog();
    ++row.runs;
    Gone(row, product);
    Table().push_back(row);
  }

  // A tmpfs of `bytes` at `folder`, seen by this process and the programs it starts, or false
  // when this system does not let the test mount one (or VALISE_FAULTS_NO_TMPFS is set, to
  // try the suite as it runs there).
  bool MountSmallDisk(const fs::path& folder, std::size_t bytes) {
    if (std::getenv("VALISE_FAULTS_NO_TMPFS") != nullptr) return false;
    static const bool privateMounts = [] {
      // Mounts made from here on stay inside this process and its children.
      return ::unshare(CLONE_NEWNS) == 0 &&
             ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    if (!privateMounts) return false;
    fs::create_directories(folder);
    const std::string options = "size=" + std::to_string(bytes);
    if (::mount("valise-faults", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
    mounts_.push_back(folder);
    return true;
  }
  // Gives the tmpfs at `folder` room for `bytes`, keeping what it holds.
  static bool GrowSmallDisk(const fs::path& folder, std::size_t bytes) {
    const std::string options = "size=" + std::to_string(bytes);
    return ::mount("valise-faults", folder.c_str(), "tmpfs", MS_REMOUNT, options.c_str()) == 0;
  }

  struct Group {
    fs::path folder;
    std::map<std::string, std::string> contents;  // by upper-case name
  };

  TempDir dir_;
  std::string previousPrefix_;
  std::map<std::string, std::vector<Group>> groups_;  // by product code
  std::vector<fs::path> mounts_;
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

TEST_F(SetupFaults, KilledInstallsAndRemovalsAreFinishedByTheNextRuns) {
  std::mt19937 random(17);
  const bool fast = MountSmallDisk(dir_.host() / "Fast", std::size_t{1} << 30);
  std::printf("the product goes to %s\n", fast ? "a tmpfs" : "the test's folder");
  // 2,000 files: 1,990 small ones and ten of up to 2 MiB, so that a kill often lands in a copy.
  WriteProduct({Members("F", 1990, 8 * 1024, random), Members("BIG", 10, 2u << 20, random)}, {}, 0,
               kFast);
  const int files = ProductFiles(kFast);
  // How long an install and a removal take on this machine: the kills are spread over that.
  const auto timed = [&](std::vector<std::string> args) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(std::move(args)), 0) << LastLog();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  };
  const long long installTime = timed({"/silent"});
  ASSERT_EQ(Inspect(ReadRecord(), kFast).complete, files);
  const long long removalTime = timed({"/silent", RemoveSwitch()});
  ASSERT_EQ(LeftAfterRemoval(kFast), 0);
  std::printf("an install takes %lld ms, a removal %lld ms\n", installTime, removalTime);
  // Starts a run and kills it at a seeded point of the time it would take; true when the kill
  // came before its end.
  // Every other point lies in the first fifth, where a removal deletes the files.
  const auto killed = [&](std::vector<std::string> args, long long takes, bool early) {
    const long long delay = std::uniform_int_distribution<long long>(
        takes / 50, early ? takes / 5 : takes * 11 / 10)(random);
    const pid_t child = Start(std::move(args));
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    ::kill(child, SIGKILL);
    return Wait(child) == -1;
  };

  FaultRow installs{"kill -9 during a 2,000-file install"};
  FaultRow removals{"kill -9 during its removal"};
  int installsKilled = 0;
  int installsLeftIncomplete = 0;
  int removalsKilled = 0;
  int removalsLeftRecord = 0;
  int removalsAmidFiles = 0;
  constexpr int kPoints = 20;
  for (int point = 0; point < kPoints; ++point) {
    SCOPED_TRACE("point " + std::to_string(point));
    installsKilled += killed({"/silent"}, installTime, false) ? 1 : 0;
    ++installs.runs;
    Record record = ReadRecord();
    Disk disk = Inspect(record, kFast);
    EXPECT_FALSE(record.unreadable);
    EXPECT_EQ(disk.unrecorded, 0);
    EXPECT_EQ(disk.truncated, 0);
    EXPECT_EQ(disk.other, 0);
    Count(installs, record, disk);

    // The next run completes it (or finds it complete).
    const bool stopped = record.incomplete;
    installsLeftIncomplete += stopped ? 1 : 0;
    EXPECT_EQ(Run({"/silent"}), 0) << LastLog();
    ++installs.runs;
    if (stopped) {
      EXPECT_NE(LastLog().find("Completing RSE_3_4711"), std::string::npos);
    }
    record = ReadRecord();
    disk = Inspect(record, kFast);
    EXPECT_FALSE(record.incomplete);
    EXPECT_EQ(disk.complete, files);
    EXPECT_EQ(disk.temporary, 0);
    Count(installs, record, disk);
    installs.lostOrOrphaned += files - disk.complete;

    // A removal killed: what is left is still named by the record, which goes last.
    removalsKilled += killed({"/silent", RemoveSwitch()}, removalTime, point % 2 == 1) ? 1 : 0;
    ++removals.runs;
    record = ReadRecord();
    disk = Inspect(record, kFast);
    EXPECT_FALSE(record.unreadable);
    EXPECT_FALSE(record.incomplete);
    EXPECT_EQ(disk.unrecorded, 0);
    EXPECT_EQ(disk.truncated, 0);
    EXPECT_EQ(disk.temporary, 0);
    EXPECT_EQ(disk.other, 0);
    Count(removals, record, disk);
    removalsLeftRecord += record.exists ? 1 : 0;
    removalsAmidFiles += disk.complete > 0 && disk.complete < files ? 1 : 0;

    // The next removal finishes it; a removal that had deleted the record had finished.
    EXPECT_EQ(Run({"/silent", RemoveSwitch()}), record.exists ? 0 : 4) << LastLog();
    ++removals.runs;
    Gone(removals, kFast);
  }
  std::printf("installs: %d of %d killed before their end, %d left an incomplete record\n",
              installsKilled, kPoints, installsLeftIncomplete);
  std::printf("removals: %d of %d killed before their end, %d left the record, %d amid the files\n",
              removalsKilled, kPoints, removalsLeftRecord, removalsAmidFiles);
  Table().push_back(installs);
  Table().push_back(removals);
}

// Members of `size` bytes each, every one different.
GroupFiles Sized(const std::string& stem, int first, int count, std::size_t size) {
  GroupFiles members;
  for (int i = first; i < first + count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%s%04d.DAT", stem.c_str(), i);
    std::string content(size, static_cast<char>('a' + i % 26));
    content.replace(0, std::string_view(name).size(), name);
    members.emplace_back(name, std::move(content));
  }
  return members;
}

TEST_F(SetupFaults, DiskFullBetweenFilesAndInTheMiddleOfAFile) {
  const Product product{"RSE", "Disk/Product", "SETUP.inf", "PRODUCT.BAG"};
  // Files of whole pages, so that a disk of so many pages holds exactly so many files.
  constexpr std::size_t kPart = 64 * 1024;
  const bool mounted = MountSmallDisk(dir_.host() / "Disk", 4 * kPart);
  if (!mounted) {
    std::printf("no tmpfs could be mounted: the disk is full where the file size limit says\n");
  }
  // Behind the huge file, more small ones than are copied ahead at a time.
  GroupFiles huge = Sized("PART", 1, 4, kPart);
  huge.push_back(Sized("HUGE", 1, 1, 2u << 20)[0]);
  for (auto& tail : Sized("TAIL", 1, 40, 4096)) huge.push_back(std::move(tail));
  struct Fault {
    const char* name;
    GroupFiles files;
    std::size_t room;   // the disk's size, or the largest file the run may write without a disk
    std::string stops;  // the file that does not fit
  };
  const Fault faults[] = {
      // Four files fill the disk; the fifth has no room for its first byte.
      {"disk full between files", Sized("PART", 1, 8, kPart), 4 * kPart, "PART0005.DAT"},
      // The disk fills up in the middle of the fifth file.
      {"disk full in the middle of a file", huge, 16 * kPart, "HUGE0001.DAT"},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    FaultRow row{fault.name};
    if (!mounted && &fault == &faults[0]) {
      // A file size limit stops a file in its middle; only a full disk stops between files.
      row.fault += " (skipped: no tmpfs)";
      Table().push_back(row);
      continue;
    }
    WriteProduct({fault.files}, {}, 0, product);
    const int files = ProductFiles(product);
    if (mounted) {
      ASSERT_TRUE(GrowSmallDisk(dir_.host() / "Disk", fault.room));
    }
    EXPECT_EQ(Run({"/silent"}, mounted ? 0 : fault.room), 3);
    ++row.runs;
    const std::string log = LastLog();
    EXPECT_NE(log.find(fault.stops), std::string::npos) << log;
    EXPECT_NE(log.find(mounted ? "There is not enough space on the disk."
                               : "The file size exceeds the limit allowed"),
              std::string::npos)
        << log;
    Record record = ReadRecord(product);
    Disk disk = Inspect(record, product);
    EXPECT_FALSE(record.unreadable);
    EXPECT_TRUE(record.incomplete);
    // The files before the one that did not fit are there whole, it is not; a file after it
    // may have been copied meanwhile, into the room its failed copy left. Copies run side by
    // side, so a later file may take the last room before an earlier one has its bytes: the
    // run then stops at that earlier one, which the error names, and the files before it are
    // whole.
    int whole = 0;
    for (; whole < 4; ++whole) {
      const auto& [name, content] = fault.files[whole];
      const fs::path path = dir_.host() / product.folder / name;
      if (!fs::exists(path)) {
        EXPECT_NE(log.find("Error: "), std::string::npos) << log;
        EXPECT_NE(log.find(name, log.find("Error: ")), std::string::npos) << log;
        break;
      }
      EXPECT_EQ(ReadHostFile(path), content);
    }
    EXPECT_FALSE(fs::exists(dir_.host() / product.folder / fault.stops));
    EXPECT_GE(disk.complete, whole);
    EXPECT_LT(disk.complete, files);
    EXPECT_EQ(disk.unrecorded, 0);
    EXPECT_EQ(disk.truncated, 0);
    EXPECT_EQ(disk.temporary, 0);
    EXPECT_EQ(disk.other, 0);
    Count(row, record, disk);
    row.lostOrOrphaned += 4 - std::min(disk.complete, 4);

    // With room again, the next run completes the install, and a removal leaves nothing.
    if (mounted) {
      ASSERT_TRUE(GrowSmallDisk(dir_.host() / "Disk", 64 * kPart));
    }
    FinishedThenRemoved(row, product, "Completing RSE_3_4711");
  }
}

TEST_F(SetupFaults, UnreadableMemberStopsTheGroupAfterTheFilesBeforeIt) {
  WriteProduct({{{"FIRST.DAT", std::string(1u << 20, 'f')},
                 {"ABSENT.DAT", "never whole in the baggage"},
                 {"LAST.DAT", "last"}}},
               {"ABSENT.DAT"});
  FaultRow row{"member unreadable in a group"};
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

  EXPECT_EQ(Run({"/silent", RemoveSwitch()}), 0) << LastLog();
  ++row.runs;
  Gone(row);
  Table().push_back(row);
}

TEST_F(SetupFaults, RegistryUnwritableAtTheFirstStoreInTheMiddleAndAtTheEnd) {
  std::mt19937 random(3);
  MountSmallDisk(dir_.host() / "Fast", std::size_t{1} << 30);
  // 700 files, whose names are stored in batches of 64, 256 and 380 (together far beyond 16 KiB
  // of names), and 200 registry entries of 1,000 characters written at the end.
  WriteProduct({Members("F", 700, 2 * 1024, random)}, {}, 200, kFast);
  const int files = ProductFiles(kFast);
  ASSERT_EQ(Run({"/silent", "/remove=NONE_1_1"}), 4);  // makes the prefix; changes nothing
  // A quarter of a MiB of other settings: the registry file is larger than any log a run writes
  // under the same limit.
  platform::RegKey::Create(platform::RegRoot::CurrentUser, "Software\\ValiseBallast")
      .WriteString("Ballast", std::string(256 * 1024, 'b'));
  struct Fault {
    const char* name;
    std::uintmax_t room;  // what the registry file may grow by
    int recordedAtLeast;  // names the record holds after the fault, at least
    int recordedAtMost;
  };
  const Fault faults[] = {
      // Not even the record's first values fit.
      {"registry file unwritable at the first store", 16, 0, 0},
      // The record's first values fit, the store of the files' names does not.
      {"registry file unwritable at the names' store", 16 * 1024, 0, 0},
      // Every store of the record fits; the registry entries written last do not.
      {"registry file unwritable at the end", 96 * 1024, 700, 700},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    FaultRow row{fault.name};
    // The registry entries stay after a removal; new ones make the registry file grow.
    platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser,
                               std::string(kBaseKey) + "\\Settings");
    const auto registrySize = fs::file_size(dir_.host() / "prefix" / "user.reg");
    // A log of its own: the limit holds for every file the run writes.
    const std::string faultLog = "fault" + std::to_string(&fault - faults) + ".log";
    EXPECT_EQ(Wait(Start({"/silent"}, registrySize + fault.room, faultLog)), 3);
    ++row.runs;
    const std::string log = LastLog(faultLog);
    EXPECT_NE(log.find("user.reg"), std::string::npos) << log;
    Record record = ReadRecord();
    Disk disk = Inspect(record, kFast);
    EXPECT_FALSE(record.unreadable);
    EXPECT_EQ(record.exists, fault.recordedAtMost > 0);
    const int recorded = record.groups.empty() ? 0 : static_cast<int>(record.groups[0].size());
    EXPECT_GE(recorded, fault.recordedAtLeast);
    EXPECT_LE(recorded, fault.recordedAtMost);
    EXPECT_EQ(record.incomplete, record.exists);
    // A file made is a file recorded; the files of a batch that was stored are made when the
    // copy behind them had the time, and never half.
    EXPECT_EQ(disk.unrecorded, 0);
    EXPECT_EQ(disk.truncated, 0);
    EXPECT_EQ(disk.temporary, 0);
    EXPECT_LE(disk.complete, recorded);
    if (recorded == files) {
      EXPECT_EQ(disk.complete, files);
    }
    Count(row, record, disk);

    // The next run, with room again, installs or completes it.
    FinishedThenRemoved(row, kFast,
                        (record.exists ? "Completing " : "Installing ") + kFast.RecordKey());
  }
}

TEST_F(SetupFaults, UnreadableSourceFolderInTheWayAndReadOnlyFileStopTheInstall) {
  const fs::path product = dir_.host() / kMain.folder;
  // Checks a stopped install: exit code, the error naming `culprit`, an incomplete record
  // naming every file made, `complete` files whole and `absent` ones not there.
  const auto stopped = [&](FaultRow& row, const std::string& culprit, int complete,
                           const std::vector<std::string>& absent, int other) {
    EXPECT_EQ(Run({"/silent"}), 3);
    ++row.runs;
    // The error the run stopped at names the culprit.
    const std::string log = LastLog();
    const std::size_t error = log.find("Error: ");
    EXPECT_NE(error, std::string::npos) << log;
    if (error != std::string::npos) {
      const std::string line = log.substr(error, log.find('\n', error) - error);
      EXPECT_NE(line.find(culprit), std::string::npos) << line;
    }
    const Record record = ReadRecord();
    const Disk disk = Inspect(record);
    EXPECT_TRUE(record.incomplete);
    EXPECT_EQ(disk.complete, complete);
    for (const std::string& name : absent) EXPECT_FALSE(fs::exists(product / name)) << name;
    EXPECT_EQ(disk.unrecorded, 0);
    EXPECT_EQ(disk.temporary, 0);
    EXPECT_EQ(disk.other, other);
    Count(row, record, disk);
    return disk;
  };

  {
    // A source file that cannot be read: every read of it fails with an I/O error, as on a
    // damaged medium (root reads files of any mode, so the mode cannot make one).
    SCOPED_TRACE("unreadable source");
    FaultRow row{"source file unreadable (I/O error)"};
    WriteProduct({{{"GOOD1.DAT", "good 1"}, {"UNREAD.DAT", "readable"}, {"GOOD2.DAT", "good 2"}}},
                 {"UNREAD.DAT"}, 0, kMain, {"GOOD1.DAT", "UNREAD.DAT", "GOOD2.DAT"});
    fs::create_symlink("/proc/self/mem", dir_.host() / "UNREAD.DAT");
    stopped(row, "UNREAD.DAT", 1, {"UNREAD.DAT", "GOOD2.DAT"}, 0);
    fs::remove(dir_.host() / "UNREAD.DAT");
    dir_.Write("UNREAD.DAT", "readable");
    FinishedThenRemoved(row, kMain, "Completing RSE_3_4711");
  }
  {
    // The folder of the second group is a file of the user's: the first group is installed, the
    // file stays as it is, also through the removal of what the record names.
    SCOPED_TRACE("folder in the way");
    FaultRow row{"group folder exists as a file"};
    WriteProduct({{{"A1.DAT", "a1"}, {"A2.DAT", "a2"}}, {{"B1.DAT", "b1"}, {"B2.DAT", "b2"}}});
    dir_.Write(kMain.folder + "/G1", "in the way");
    stopped(row, "\\G1\\", 2, {}, 1);
    EXPECT_EQ(Run({"/silent", RemoveSwitch()}), 0) << LastLog();
    ++row.runs;
    EXPECT_EQ(ReadHostFile(product / "G1"), "in the way");
    EXPECT_FALSE(ReadRecord().exists);
    EXPECT_EQ(LeftAfterRemoval(), 1);
    fs::remove(product / "G1");
    FinishedThenRemoved(row, kMain, "Installing RSE_3_4711");
  }
  {
    // A read-only file where a member goes: it is not replaced (nor is a temporary file left
    // beside it); once writable, the next run replaces it. A removal deletes the files the
    // record names, read-only ones too.
    SCOPED_TRACE("read-only destination");
    FaultRow row{"read-only destination file"};
    WriteProduct({{{"R1.DAT", "r1"}, {"RO.DAT", "the product's"}, {"R3.DAT", "r3"}}});
    const fs::path readOnly = dir_.Write(kMain.folder + "/RO.DAT", "the user's");
    const auto readOnlyMode =
        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(readOnly, readOnlyMode);
    const Disk disk = stopped(row, "RO.DAT", 1, {"R3.DAT"}, 0);
    // The one file whose bytes are not the member's is the read-only one, untouched.
    row.truncated -= disk.truncated;
    EXPECT_EQ(disk.truncated, 1);
    EXPECT_EQ(ReadHostFile(readOnly), "the user's");
    EXPECT_TRUE(ReadRecord().groups.at(0).contains("RO.DAT"));
    fs::permissions(readOnly, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(Run({"/silent"}), 0) << LastLog();
    ++row.runs;
    EXPECT_NE(LastLog().find("Completing RSE_3_4711"), std::string::npos) << LastLog();
    EXPECT_EQ(Inspect(ReadRecord()).complete, 3);
    fs::permissions(readOnly, readOnlyMode);
    EXPECT_EQ(Run({"/silent", RemoveSwitch()}), 0) << LastLog();
    ++row.runs;
    Gone(row);
    Table().push_back(row);
  }
}

// Runs at once on one prefix: installs and removals of products A, B and P1 to P8 (each of 100
// small files and a larger one).
class RunsAtOnce : public SetupFaults {
 protected:
  static Product Numbered(int n) {
    const std::string code = "P" + std::to_string(n);
    return {code, "Fast/" + code, code + ".inf", code + ".BAG"};
  }

  RunsAtOnce() {
    MountSmallDisk(dir_.host() / "Fast", std::size_t{1} << 30);
    std::mt19937 random(5);
    WriteProduct({Members("A", 400, 4 * 1024, random), Members("ABIG", 2, 1u << 20, random)}, {}, 0,
                 kFast);
    WriteProduct({Members("B", 400, 4 * 1024, random), Members("BBIG", 2, 1u << 20, random)}, {}, 0,
                 kOther);
    for (int n = 1; n <= 8; ++n) {
      WriteProduct({Members("F", 100, 4 * 1024, random), Members("BIG", 1, 1u << 20, random)}, {},
                   0, Numbered(n));
    }
  }

  // Starts every run at once, each with a log of its own: an install of a product (true) or its
  // removal (false). An install succeeds; a removal succeeds, or finds the product removed by
  // another one already.
  // Returns how many of the runs waited for another one.
  int AtOnce(FaultRow& row, const std::vector<std::pair<Product, bool>>& runs) {
    std::vector<std::pair<pid_t, std::string>> started;
    for (const auto& [product, install] : runs) {
      std::vector<std::string> args{"/silent", product.Inf(dir_)};
      if (!install) args.push_back(RemoveSwitch(product));
      const std::string log = "run" + std::to_string(++logs_) + ".log";
      started.emplace_back(Start(std::move(args), 0, log), log);
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const int code = Wait(started[i].first);
      ++row.runs;
      if (runs[i].second) {
        EXPECT_EQ(code, 0) << LastLog(started[i].second);
      } else {
        EXPECT_TRUE(code == 0 || code == 4) << code << " " << LastLog(started[i].second);
      }
    }
    int waited = 0;
    for (const auto& run : started) {
      waited += LastLog(run.second).find("Waiting for another setup run") != std::string::npos;
    }
    return waited;
  }
  // A product installed whole: its record complete, every file there and recorded.
  void Whole(FaultRow& row, const Product& product) {
    SCOPED_TRACE(product.RecordKey() + " installed");
    const Record record = ReadRecord(product);
    const Disk disk = Inspect(record, product);
    EXPECT_TRUE(record.exists);
    EXPECT_FALSE(record.unreadable);
    EXPECT_FALSE(record.incomplete);
    EXPECT_EQ(disk.complete, ProductFiles(product));
    EXPECT_EQ(disk.temporary, 0);
    EXPECT_EQ(disk.other, 0);
    Count(row, record, disk);
    row.lostOrOrphaned += ProductFiles(product) - disk.complete;
  }

  int logs_ = 0;
};

TEST_F(RunsAtOnce, InstallsAndRemovalsOfOtherProductsLeaveEveryRecordWhole) {
  ASSERT_EQ(Run({"/silent", kFast.Inf(dir_)}), 0) << LastLog();
  {
    FaultRow row{"two runs at once: a removal, an install"};
    AtOnce(row, {{kFast, false}, {kOther, true}});
    Gone(row, kFast);
    Whole(row, kOther);
    Table().push_back(row);
  }
  {
    // Four installs and four removals, each of a product of its own, all in one registry file.
    for (int n = 5; n <= 8; ++n) {
      ASSERT_EQ(Run({"/silent", Numbered(n).Inf(dir_)}), 0) << LastLog();
    }
    FaultRow row{"eight runs at once: four installs, four removals"};
    AtOnce(row, {{Numbered(1), true},
                 {Numbered(5), false},
                 {Numbered(2), true},
                 {Numbered(6), false},
                 {Numbered(3), true},
                 {Numbered(7), false},
                 {Numbered(4), true},
                 {Numbered(8), false}});
    for (int n = 1; n <= 4; ++n) Whole(row, Numbered(n));
    for (int n = 5; n <= 8; ++n) Gone(row, Numbered(n));
    Whole(row, kOther);
    Table().push_back(row);
  }
}

// Runs at once on one product take turns: without that, one install deleted as a leftover the
// file another was about to name, and a removal deleted the files, the folder and then the
// record of an install going on, which left files without a record. Every order the runs take
// leaves the product whole or gone, its record readable, and the next runs complete it and
// remove it.
TEST_F(RunsAtOnce, InstallsAndRemovalsOfOneProductAtOnce) {
  const std::pair<Product, bool> install{kFast, true}, removal{kFast, false};
  {
    FaultRow row{"four installs of one product at once"};
    // Started together, they overlap: all but the first wait for their turn.
    EXPECT_GT(AtOnce(row, {install, install, install, install}), 0);
    Whole(row, kFast);
    Table().push_back(row);
  }
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    FaultRow row{"installs and removals of one product at once"};
    AtOnce(row, {install, removal, install, removal, install, removal, install, removal});
    const Record record = ReadRecord(kFast);
    const Disk disk = Inspect(record, kFast);
    EXPECT_FALSE(record.unreadable);
    EXPECT_EQ(disk.unrecorded, 0);
    EXPECT_EQ(disk.truncated, 0);
    Count(row, record, disk);
    // Whatever the runs left, the next install completes it and a removal removes it all.
    EXPECT_EQ(Run({"/silent", kFast.Inf(dir_)}), 0) << LastLog();
    Whole(row, kFast);
    EXPECT_EQ(Run({"/silent", kFast.Inf(dir_), RemoveSwitch(kFast)}), 0) << LastLog();
    Gone(row, kFast);
    Table().push_back(row);
  }
}

}  // namespace
}  // namespace valise
