// The deployment guides run as administrators will run them: every command line of
// docs/deploying.md and docs/command-line.md is read out of the markdown and run, in the order
// the guides give them, against the demo product's distribution folder in a fresh prefix. What
// each one shall do stands beside it in a comment that the rendered page does not show
// ("<!-- run: exit 0, installs all -->"); a command line without one fails the test, so the
// guides cannot show a command line that nobody has run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "run_program.h"
#include "setup/command_line.h"
#include "test_support.h"
#include "util/file_utils.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace valise {
namespace {

namespace fs = std::filesystem;
using platform::RegKey;
using platform::RegRoot;
using testing::ReadHostFile;

constexpr const char* kRecords = "Software\\Vantorel\\";
constexpr const char* kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// The record keys of the demo script's applications: "all" in an expectation.
const std::vector<std::string> kDemoKeys = {"VDEMO_1_1001", "VTOOLS_2_2001", "VGERMAN_1_1002",
                                            "VGERMAN_1_1003"};

fs::path Source(const std::string& relative) {
  return testing::HostPath(std::string(VALISE_SOURCE_DIR) + "/" + relative);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trimmed(std::string_view text) {
  const std::size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return {};
  return std::string(text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1));
}

// Blanks separate words and double quotes group blanks into one, as the Windows runtime and
// cmd.exe read these lines.
std::vector<std::string> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return Lower(slash == std::string::npos ? path : path.substr(slash + 1));
}

// "setup.exe" in any folder runs natively and under Wine; "setup" (the Linux build) natively.
bool IsSetupProgram(const std::string& word) {
  const std::string name = FileNameOf(word);
  return name == "setup.exe" || name == "setup";
}

bool IsAssignment(const std::string& word) {
  const std::size_t equals = word.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  return std::all_of(word.begin(), word.begin() + static_cast<std::ptrdiff_t>(equals), [](char c) {
    return std::isupper(static_cast<unsigned char>(c)) || c == '_';
  });
}

// What a command line of a guide shall do.
enum class Effect { Installs, Removes, ChangesNothing, Plans, Synopsis };

struct Expectation {
  int exitCode = 0;
  Effect effect = Effect::ChangesNothing;
  std::vector<std::string> keys;
};

struct GuideCommand {
  std::string where;  // "docs/deploying.md:12"
  std::string text;   // as the guide shows it
  std::vector<std::string> words;
  std::string block;  // the code block from this line to its end
  Expectation expect;
};

// "exit N, installs KEY...|all", "removes KEY...|all", "changes nothing", "plans", "synopsis".
std::optional<Expectation> ParseExpectation(const std::string& text) {
  Expectation expect;
  std::istringstream in(text);
  std::string word;
  in >> word;
  if (word == "synopsis") {
    expect.effect = Effect::Synopsis;
    return expect;
  }
  std::string comma;
  if (word != "exit" || !(in >> expect.exitCode) || !(in >> comma) || comma != ",") {
    return std::nullopt;
  }
  in >> word;
  std::vector<std::string> rest;
  for (std::string key; in >> key;) rest.push_back(key);
  if (word == "installs" || word == "removes") {
    expect.effect = word == "installs" ? Effect::Installs : Effect::Removes;
    expect.keys = rest.size() == 1 && rest[0] == "all" ? kDemoKeys : rest;
    if (expect.keys.empty()) return std::nullopt;
  } else if (word == "changes" && rest == std::vector<std::string>{"nothing"}) {
    expect.effect = Effect::ChangesNothing;
  } else if (word == "plans" && rest.empty()) {
    expect.effect = Effect::Plans;
  } else {
    return std::nullopt;
  }
  return expect;
}

// The command lines of a guide, each with the expectation written before it: lines of code
// blocks that start a setup program (after variable assignments), a YAML task's "path:" of a
// setup program with its "arguments:", and inline code that starts "setup.exe" with switches.
std::vector<GuideCommand> ReadGuide(const std::string& relative) {
  std::vector<std::string> lines;
  {
    std::istringstream in(ReadHostFile(Source(relative)));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  EXPECT_FALSE(lines.empty()) << relative;
  std::vector<GuideCommand> commands;
  std::deque<Expectation> pending;
  bool fenced = false, indentedBlock = false, previousBlank = true;
  auto add = [&](std::size_t index, std::string text, std::vector<std::string> words) {
    GuideCommand command{
        relative + ":" + std::to_string(index + 1), std::move(text), std::move(words), {}, {}};
    for (std::size_t j = index; j < lines.size() && !Trimmed(lines[j]).empty(); ++j) {
      command.block += lines[j] + "\n";
    }
    if (pending.empty()) {
      ADD_FAILURE() << command.where << ": no \"<!-- run: ... -->\" says what '" << command.text
                    << "' does";
      return;
    }
    command.expect = pending.front();
    pending.pop_front();
    commands.push_back(std::move(command));
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    for (std::size_t at = line.find("<!-- run:"); at != std::string::npos;
         at = line.find("<!-- run:", at + 1)) {
      const std::size_t end = line.find("-->", at);
      const std::string text = Trimmed(line.substr(at + 9, end - at - 9));
      const std::optional<Expectation> expect = ParseExpectation(text);
      if (!expect) {
        ADD_FAILURE() << relative << ":" << i + 1 << ": cannot read '" << text << "'";
      } else {
        pending.push_back(*expect);
      }
    }
    const std::string trimmed = Trimmed(line);
    if (trimmed.rfind("```", 0) == 0) {
      fenced = !fenced;
      previousBlank = false;
      continue;
    }
    const bool blank = trimmed.empty();
    const std::size_t indent = line.find_first_not_of(' ');
    if (!fenced && !blank) indentedBlock = indent >= 4 && (indentedBlock || previousBlank);
    previousBlank = blank;
    if (blank) continue;
    if (fenced || indentedBlock) {
      if (trimmed.rfind("path:", 0) == 0) {
        const std::string program = Trimmed(trimmed.substr(5));
        if (!IsSetupProgram(program)) continue;
        std::vector<std::string> words = {program};
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
          const std::string next = Trimmed(lines[j]);
          if (next.rfind("path:", 0) == 0 || next.rfind("- ", 0) == 0) break;
          if (next.rfind("arguments:", 0) == 0) {
            for (std::string& word : SplitWords(next.substr(10))) words.push_back(word);
            break;
          }
        }
        add(i, trimmed, words);
        continue;
      }
      const std::vector<std::string> words = SplitWords(trimmed);
      std::size_t k = 0;
      while (k < words.size() && IsAssignment(words[k])) ++k;
      // A program with switches (or none), not a line of text that starts with the word.
      if (k < words.size() && IsSetupProgram(words[k]) &&
          (k + 1 == words.size() ||
           std::string("/-[").find(words[k + 1][0]) != std::string::npos)) {
        add(i, trimmed, words);
      }
      continue;
    }
    for (std::size_t open = line.find('`'); open != std::string::npos;) {
      const std::size_t close = line.find('`', open + 1);
      if (close == std::string::npos) break;
      const std::string span = line.substr(open + 1, close - open - 1);
      const std::vector<std::string> words = SplitWords(span);
      if (words.size() > 1 && FileNameOf(words[0]) == "setup.exe") add(i, span, words);
      open = line.find('`', close + 1);
    }
  }
  for (std::size_t left = 0; left < pending.size(); ++left) {
    ADD_FAILURE() << relative << ": a \"<!-- run: ... -->\" comment has no command line after it";
  }
  return commands;
}

std::string Collapsed(std::string_view text) {
  std::istringstream in{std::string(text)};
  std::string out;
  for (std::string word; in >> word;) out += (out.empty() ? "" : " ") + word;
  return out;
}

std::string LastLine(const std::string& text) {
  std::istringstream in(text);
  std::string last;
  for (std::string line; std::getline(in, line);) {
    if (!Trimmed(line).empty()) last = Trimmed(line);
  }
  return last;
}

bool KeyExists(RegRoot root, const std::string& path) {
  return RegKey::Open(root, path).has_value();
}

// Points WINEPREFIX (the posix backend's Windows) elsewhere while it lives.
class PrefixScope {
 public:
  explicit PrefixScope(const std::string& prefix) {
#ifndef _WIN32
    if (const char* old = std::getenv("WINEPREFIX")) previous_ = old;
    if (!prefix.empty()) setenv("WINEPREFIX", prefix.c_str(), 1);
#else
    (void)prefix;
#endif
  }
  ~PrefixScope() {
#ifndef _WIN32
    if (previous_) {
      setenv("WINEPREFIX", previous_->c_str(), 1);
    } else {
      unsetenv("WINEPREFIX");
    }
#endif
  }
  PrefixScope(const PrefixScope&) = delete;
  PrefixScope& operator=(const PrefixScope&) = delete;

 private:
  std::optional<std::string> previous_;
};

class Guides : public ::testing::Test {
 protected:
  Guides() : prefix_(testing::Utf8Path(dir_.host() / "prefix")) {
    testing::MakeDemoDist(dir_, VALISE_SOURCE_DIR, VALISE_SETUP_PROGRAM);
    previousDir_ = fs::current_path();
    // Administrators start the program in its folder; relative paths are taken from there.
    fs::current_path(dir_.host() / "dist");
  }
  ~Guides() override { fs::current_path(previousDir_); }

  // Natively the prefix is fresh; under Wine, which has one prefix for every test, the demo's
  // records of an earlier run go first, below one root: the tests of the two roots may run
  // at the same time.
  static void Clean([[maybe_unused]] RegRoot root) {
#ifdef _WIN32
    for (const std::string& key : kDemoKeys) {
      platform::DeleteRegKeyTree(root, kRecords + key);
      platform::DeleteRegKeyTree(root, kUninstall + key);
    }
#endif
  }

  std::string Program() const {
    return testing::Utf8Path(dir_.host() / "dist" / testing::kSetupProgramName);
  }

  // The demo's applications installed per user (below the prefix WINEPREFIX names).
  static std::set<std::string> Installed() {
    std::set<std::string> installed;
    for (const std::string& key : kDemoKeys) {
      if (KeyExists(RegRoot::CurrentUser, kRecords + key)) installed.insert(key);
    }
    return installed;
  }

  // What the guides promise of every record: it and the uninstall entry stand together, the
  // record of a finished installation has no "Incomplete", the entry names the title and a
  // version, the install folder is there exactly while the application is; and the registry
  // paths the guides give for the demo's first application exist exactly while it is
  // installed.
  void CheckRecords(const std::vector<std::string>& guidePaths) {
    for (const std::string& key : kDemoKeys) {
      SCOPED_TRACE(key);
      const auto record = RegKey::Open(RegRoot::CurrentUser, kRecords + key);
      const auto entry = RegKey::Open(RegRoot::CurrentUser, kUninstall + key);
      EXPECT_EQ(record.has_value(), entry.has_value());
      if (record && entry) {
        EXPECT_FALSE(record->HasValue("Incomplete"));
        const auto title = record->Read("Title");
        const auto name = entry->Read("DisplayName");
        ASSERT_TRUE(title && name);
        EXPECT_EQ(title->text, name->text);
        const auto version = entry->Read("DisplayVersion");
        ASSERT_TRUE(version);
        EXPECT_FALSE(version->text.empty());
        const auto location = entry->Read("InstallLocation");
        ASSERT_TRUE(location);
        EXPECT_TRUE(DirExists(location->text)) << location->text;
        installFolders_.insert(location->text);
      }
    }
    if (Installed().empty()) {
      for (const std::string& folder : installFolders_) EXPECT_FALSE(DirExists(folder)) << folder;
    }
    const bool first = KeyExists(RegRoot::CurrentUser, kRecords + kDemoKeys[0]);
    for (const std::string& path : guidePaths) {
      const std::size_t slash = path.find('\\');
      EXPECT_EQ(KeyExists(RegRoot::CurrentUser, path.substr(slash + 1)), first) << path;
    }
  }

  // Runs one command line of a guide and checks what it did against its expectation.
  void Run(const GuideCommand& command, const std::vector<std::string>& guidePaths) {
    SCOPED_TRACE(command.where + ": " + command.text);
    const Expectation& expect = command.expect;
    if (expect.effect == Effect::Synopsis) {
      const std::string_view help = setup::HelpText();
      const std::string usage(help.substr(0, help.find("\n\n")));
      EXPECT_EQ(Collapsed(command.block), Collapsed(usage.substr(usage.find("setup"))));
      return;
    }
    std::size_t k = 0;
    std::string prefix = prefix_;
    for (; IsAssignment(command.words[k]); ++k) {
      const std::string& word = command.words[k];
      ASSERT_EQ(word.rfind("WINEPREFIX=", 0), 0u) << "no way to run it with " << word;
      prefix = Mapped(word.substr(11));
    }
#ifdef _WIN32
    if (FileNameOf(command.words[k]) != "setup.exe") return;  // the Linux program's line
#endif
    std::vector<std::string> args;
    std::string log, plan;
    for (std::size_t i = k + 1; i < command.words.size(); ++i) {
      std::string arg = command.words[i];
      // As cmd.exe expands a batch file's variables.
      for (std::size_t at = Lower(arg).find("%windir%"); at != std::string::npos;
           at = Lower(arg).find("%windir%")) {
        arg.replace(at, 8, GetWindowsDir());
      }
      if (arg.find('%') != std::string::npos) arg = platform::ExpandEnvironmentStrings(arg);
      const std::size_t equals = arg.find('=');
      if (equals != std::string::npos)
        arg = arg.substr(0, equals + 1) + Mapped(arg.substr(equals + 1));
      const std::string lower = Lower(arg);
      if (lower.rfind("/log=", 0) == 0) log = arg.substr(5);
      if (lower.rfind("/plan=", 0) == 0) plan = arg.substr(6);
      args.push_back(arg);
    }
    const PrefixScope scope(prefix);
    std::string program = Program();
    if (command.words[k].find('%') != std::string::npos) {
      // The copy an install keeps in the local application data folder.
      std::string kept = command.words[k];
      const std::size_t at = Lower(kept).find("%localappdata%");
      ASSERT_NE(at, std::string::npos) << "no way to run " << kept;
      kept.replace(at, 14, platform::GetSpecialFolderPath(platform::kFolderLocalAppData));
#ifdef _WIN32
      program = kept;
#else
      program = platform::ToHostPath(kept);
#endif
    }
    ForceDirs(GetWindowsDir() + "\\Temp");
    if (!plan.empty()) platform::DeleteFile(plan);
    const std::set<std::string> before = Installed();
    const int exitCode = testing::RunProgram(program, args);
    EXPECT_EQ(exitCode, expect.exitCode) << (log.empty() ? "" : ReadLog(log));
    std::set<std::string> expected = before;
    for (const std::string& key : expect.keys) {
      if (expect.effect == Effect::Installs) {
        EXPECT_EQ(expected.count(key), 0u) << key << " was installed before";
        expected.insert(key);
      } else {
        EXPECT_EQ(expected.count(key), 1u) << key << " was not installed before";
        expected.erase(key);
      }
    }
    EXPECT_EQ(Installed(), expected);
    CheckRecords(prefix == prefix_ ? guidePaths : std::vector<std::string>{});
    if (!log.empty()) {
      const std::string last = LastLine(ReadLog(log));
      EXPECT_TRUE(last.ends_with(" Exit code " + std::to_string(expect.exitCode))) << last;
    }
    if (expect.effect == Effect::Plans) {
      ASSERT_FALSE(plan.empty()) << "a plan shall be written to a file";
      const std::string text = ReadLog(plan);
      EXPECT_NE(text.find("\"action\": \"remove\""), std::string::npos) << text;
    }
  }

  // A host path of the guides' Linux lines ("/tmp/...") becomes one in the test's folder.
  std::string Mapped(const std::string& value) const {
#ifndef _WIN32
    if (value.rfind("/tmp/", 0) == 0) {
      fs::create_directories(dir_.host() / "tmp");
      return testing::Utf8Path(dir_.host() / "tmp" / value.substr(5));
    }
#endif
    return value;
  }

  static std::string ReadLog(const std::string& path) {
    try {
      return platform::ReadWholeFile(path[0] == '/' ? platform::ToWindowsPath(path) : path);
    } catch (const std::exception& error) {
      return std::string("(") + error.what() + ")";
    }
  }

  testing::TempDir dir_;
  std::string prefix_;
  const PrefixScope scope_{prefix_};
  fs::path previousDir_;
  std::set<std::string> installFolders_;
};

// The registry paths the guides give for the demo's first application below
// HKEY_CURRENT_USER, however they spell the root.
std::vector<std::string> GuidePathsOfFirstApplication(const std::string& relative) {
  std::vector<std::string> paths;
  const std::string text = ReadHostFile(Source(relative));
  for (const std::string root : {"HKEY_CURRENT_USER\\", "HKCU\\", "HKCU:\\"}) {
    for (std::size_t at = text.find(root); at != std::string::npos; at = text.find(root, at + 1)) {
      const std::size_t end = text.find_first_of("`\"' \n", at);
      const std::string path = text.substr(at, end - at);
      if (path.ends_with("\\" + kDemoKeys[0])) paths.push_back(path);
    }
  }
  return paths;
}

TEST_F(Guides, EveryCommandLineDoesWhatItsGuideSays) {
  const std::vector<std::string> guides = {"docs/deploying.md", "docs/command-line.md"};
  std::vector<std::string> paths;
  std::vector<GuideCommand> commands;
  for (const std::string& guide : guides) {
    for (const std::string& path : GuidePathsOfFirstApplication(guide)) paths.push_back(path);
    for (GuideCommand& command : ReadGuide(guide)) commands.push_back(std::move(command));
  }
  // The detection rules name the key in both places at least.
  EXPECT_GE(paths.size(), 4u) << ::testing::PrintToString(paths);
  EXPECT_GE(commands.size(), 15u);
  ASSERT_FALSE(HasFailure());
  Clean(RegRoot::CurrentUser);
  for (const GuideCommand& command : commands) {
    Run(command, paths);
    if (HasFatalFailure()) break;
  }
  EXPECT_EQ(Installed(), std::set<std::string>(kDemoKeys.begin(), kDemoKeys.end()));
  Clean(RegRoot::CurrentUser);
}

#ifndef _WIN32
// The posix backend refuses to write the registry of a prefix that a running wineserver holds.
// Holding the lock that such a server holds stands here for an account that may not write
// the records' root: a standard user's run of a product recorded below HKEY_LOCAL_MACHINE.
class RegistryRefusingWrites {
 public:
  explicit RegistryRefusingWrites(const fs::path& prefix) {
    struct stat info {};
    EXPECT_EQ(::stat(prefix.c_str(), &info), 0);
    char server[64];
    std::snprintf(server, sizeof server, "server-%llx-%llx",
                  static_cast<unsigned long long>(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    const fs::path base = fs::path("/tmp") / (".wine-" + std::to_string(::getuid()));
    if (!fs::exists(base)) {
      fs::create_directories(base);
      fs::permissions(base, fs::perms::owner_all);
    }
    folder_ = base / server;
    fs::create_directories(folder_);
    fd_ = ::open((folder_ / "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    EXPECT_EQ(::fcntl(fd_, F_SETLK, &lock), 0);
  }
  ~RegistryRefusingWrites() {
    ::close(fd_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  RegistryRefusingWrites(const RegistryRefusingWrites&) = delete;
  RegistryRefusingWrites& operator=(const RegistryRefusingWrites&) = delete;

 private:
  fs::path folder_;
  int fd_ = -1;
};

// Every file of a folder with its bytes.
std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    contents[entry.path().string()] = entry.is_regular_file() ? ReadHostFile(entry.path()) : "";
  }
  return contents;
}
#endif

// What deploying.md says of a product whose records lie below HKEY_LOCAL_MACHINE: records and
// uninstall entries there, none for the user; and a run that may not write the record fails
// with the error the guide shows, exit code 3, having changed nothing.
TEST_F(Guides, PerMachineProductRecordsBelowTheMachineOrChangesNothing) {
  const fs::path script = dir_.host() / "dist" / "SETUP.inf";
  std::string text = ReadHostFile(script);
  const std::string perUser = "RegBaseKey=HKEY_CURRENT_USER\\Software\\Vantorel";
  ASSERT_NE(text.find(perUser), std::string::npos);
  text.replace(text.find(perUser), perUser.size(),
               "RegBaseKey=HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantorel");
  // Folders of its own, away from the per-user test's.
  for (std::size_t at = text.find("<ProgramFilesDir>\\Vantorel\\"); at != std::string::npos;
       at = text.find("<ProgramFilesDir>\\Vantorel\\", at + 1)) {
    text.insert(at + 26, " Machine");
  }
  dir_.Write("dist/SETUP.inf", text);
  Clean(RegRoot::LocalMachine);
  const std::string log = dir_.win("setup.log");
  const std::vector<std::string> install = {"/silent", "/nomsg", "/log=" + log};
  std::vector<std::string> remove = {"/silent", "/nomsg", "/log=" + log};
  for (const std::string& key : kDemoKeys) remove.push_back("/remove=" + key);

#ifndef _WIN32
  {
    std::string guideError;
    std::istringstream guide(ReadHostFile(Source("docs/deploying.md")));
    for (std::string line; std::getline(guide, line);) {
      if (Trimmed(line).rfind("Error: Cannot write the installation record", 0) == 0) {
        guideError = Trimmed(line);
      }
    }
    ASSERT_NE(guideError.find(kDemoKeys[0] + ": "), std::string::npos) << guideError;
    guideError.resize(guideError.find(kDemoKeys[0] + ": ") + kDemoKeys[0].size() + 2);

    ForceDirs(GetWindowsDir() + "\\Temp");  // the prefix is made
    const auto before = Contents(prefix_);
    const RegistryRefusingWrites refusing(prefix_);
    EXPECT_EQ(testing::RunProgram(Program(), install), 3);
    const std::string written = ReadHostFile(dir_.host() / "setup.log");
    EXPECT_NE(written.find(guideError), std::string::npos) << written;
    EXPECT_TRUE(LastLine(written).ends_with(" Exit code 3")) << written;
    EXPECT_TRUE(Contents(prefix_) == before) << "the run changed the prefix";
  }
#endif

  ASSERT_EQ(testing::RunProgram(Program(), install), 0) << ReadLog(log);
  for (const std::string& key : kDemoKeys) {
    SCOPED_TRACE(key);
    const auto record =
        RegKey::Open(RegRoot::LocalMachine, std::string("SOFTWARE\\Vantorel\\") + key);
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->HasValue("Incomplete"));
    EXPECT_TRUE(KeyExists(RegRoot::LocalMachine, kUninstall + key));
    // (The first application's registry entry with an empty key writes a key of the record's
    // name below its own root, HKEY_CURRENT_USER: not a record.)
    const auto userKey = RegKey::Open(RegRoot::CurrentUser, kRecords + key);
    EXPECT_FALSE(userKey && userKey->HasValue("Title"));
    EXPECT_FALSE(KeyExists(RegRoot::CurrentUser, kUninstall + key));
  }
  ASSERT_EQ(testing::RunProgram(Program(), remove), 0) << ReadLog(log);
  for (const std::string& key : kDemoKeys) {
    EXPECT_FALSE(KeyExists(RegRoot::LocalMachine, std::string("SOFTWARE\\Vantorel\\") + key));
    EXPECT_FALSE(KeyExists(RegRoot::LocalMachine, kUninstall + key));
  }
  Clean(RegRoot::LocalMachine);
}

}  // namespace
}  // namespace valise
