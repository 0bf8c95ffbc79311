// The setup program's interactive run in a terminal, driven through a pseudo-terminal of 80 x 24
// as a user drives it: keys go in, and the test waits for texts to appear on the screen.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "setup_test_support.h"
#include "test_support.h"

namespace valise::ui {
namespace {

using setup::testing::KeyExists;
using setup::testing::KeyValues;
using setup::testing::TestRegistry;
using valise::testing::ReadHostFile;
using valise::testing::TempDir;
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = std::chrono::seconds(30);
constexpr const char* kUp = "\x1bOA";  // as xterm sends it in the application key mode
constexpr const char* kTab = "\t";
constexpr const char* kBackTab = "\x1b[Z";
constexpr const char* kEnter = "\r";
constexpr const char* kEscape = "\x1b";

// A variable of the environment and its value.
using Variable = std::pair<std::string, std::string>;

// The program on the pseudo-terminal's far side, with TERM=xterm and no locale (the program
// falls back to UTF-8 by itself) unless `locale` sets one.
class Terminal {
 public:
  Terminal(const std::filesystem::path& program, const std::vector<std::string>& args,
           const std::vector<Variable>& locale = {}) {
    winsize size{24, 80, 0, 0};
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      setenv("TERM", "xterm", 1);
      for (const char* name : {"LANG", "LC_ALL", "LC_CTYPE", "LC_MESSAGES"}) unsetenv(name);
      for (const auto& [name, value] : locale) setenv(name.c_str(), value.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
  }
  ~Terminal() {
    if (pid_ > 0 && exitCode_ == kRunning) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  // Waits until `text` appears in what the program wrote after the previous match.
  bool WaitFor(const std::string& text) {
    const auto end = Clock::now() + kPatience;
    for (;;) {
      const std::size_t at = output_.find(text, consumed_);
      if (at != std::string::npos) {
        consumed_ = at + text.size();
        return true;
      }
      if (Clock::now() >= end || !ReadSome(100)) {
        ADD_FAILURE() << "'" << text << "' did not appear; the screen had:\n"
                      << output_.substr(consumed_);
        return false;
      }
    }
  }

  void Type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  void Resize(unsigned short rows, unsigned short columns) {
    winsize size{rows, columns, 0, 0};
    ioctl(master_, TIOCSWINSZ, &size);
  }

  // Everything the program wrote so far.
  const std::string& Output() const { return output_; }

  // The exit code, reading the screen meanwhile so that the program never blocks on it.
  int ExitCode() {
    const auto end = Clock::now() + kPatience;
    while (exitCode_ == kRunning && Clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      } else {
        ReadSome(50);
      }
    }
    return exitCode_;
  }

 private:
  static constexpr int kRunning = -2;

  // Reads what is there within `milliseconds`; false once the program has closed the terminal.
  bool ReadSome(int milliseconds) {
    pollfd fd{master_, POLLIN, 0};
    if (poll(&fd, 1, milliseconds) <= 0) return true;
    char buffer[4096];
    const ssize_t count = read(master_, buffer, sizeof buffer);
    if (count <= 0) return false;
    output_.append(buffer, static_cast<std::size_t>(count));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  int exitCode_ = kRunning;
  std::string output_;
  std::size_t consumed_ = 0;
};

class TerminalUI : public ::testing::Test {
 protected:
  TerminalUI() {
    std::filesystem::copy_file(VALISE_SETUP_PROGRAM, dir_.host() / "SETUP");
    dir_.Write("files/a.txt", "alpha");
    dir_.Write("Old/old.txt", "old");
    dir_.Write("Blocked", "a file where Beta's folder would go");
    auto record =
        platform::RegKey::Create(platform::RegRoot::CurrentUser, registry_.Path() + "\\OLD_1_1");
    record.WriteString("Title", "Altes Produkt");
    record.WriteString("FileGroup1", dir_.win("Old"));
    record.WriteString("FileGroup1File1", "old.txt");
    record.Close();
    // The script is stored in the ANSI code page: "Grüße" in Windows-1252.
    const std::string group = "FileSpec1=files\\a.txt\r\n";
    dir_.Write("SETUP.inf",
               "[Globals]\r\nLanguage=1\r\nRegBaseKey=" + registry_.Rooted() +
                   "\r\n"
                   "[Application1]\r\nTitle=Gr\xFC\xDF"
                   "e\r\nProductCode=GR\r\nVersion=1\r\nProductID=1\r\n"
                   "AllowCustomInstallDir=1\r\nInstallDir=<SrcDir>\\Programs\\Gruesse\r\n"
                   "[Application1.FileGroup1]\r\nDestDir=[Application1.InstallDir]\r\n" +
                   group +
                   "[Application2]\r\nTitle=Beta\r\nProductCode=BE\r\n"
                   "InstallDir=<SrcDir>\\Blocked\\Beta\r\n"
                   "[Application2.FileGroup1]\r\nDestDir=[Application2.InstallDir]\r\n" +
                   group);
  }

  std::string Log() const { return ReadHostFile(dir_.host() / "setup.log"); }

  TempDir dir_;
  TestRegistry registry_;
  const std::vector<std::string> args_{"/log=" + dir_.win("setup.log")};
};

TEST_F(TerminalUI, InstallsOneApplicationAndRemovesAnother) {
  Terminal terminal(dir_.host() / "SETUP", args_);
  // Rows: "Altes Produkt" (installed), "Beta", "Grüße" (selected: the first one not installed).
  ASSERT_TRUE(terminal.WaitFor("\xC2\xABMsgInstall|German\xC2\xBB"));
  ASSERT_TRUE(
      terminal.WaitFor("Gr\xC3\xBC\xC3\x9F"
                       "e"));
  ASSERT_TRUE(terminal.WaitFor("\\Programs\\Gruesse"));
  // Tab skips the read-only folder field to the "..." button; the folder's parent is typed
  // in place of the shell's browser, and the application's own folder name stays.
  terminal.Type(std::string(kTab) + kEnter);
  ASSERT_TRUE(terminal.WaitFor("Enter: choose"));
  terminal.Type(std::string("2") + kEnter);
  // Enter in the list is Continue. Beta's folder cannot be made, so the run fails: the error
  // comes in a box, and the window stays for another try.
  terminal.Type(std::string(kBackTab) + kEnter);
  ASSERT_TRUE(terminal.WaitFor("Cannot copy"));
  terminal.Type(kEnter);
  // Untick Beta and the installed product, then Continue again.
  terminal.Type(std::string(kUp) + " " + kUp + " " + kEnter);
  ASSERT_TRUE(terminal.WaitFor("\xC2\xABSSetupCompleted|German\xC2\xBB"));
  terminal.Type(kEnter);
  ASSERT_EQ(terminal.ExitCode(), 0) << Log();
  // The log said where the failure was, after the box, as a silent run's does.
  EXPECT_NE(Log().find("Where: [Application2] 'Beta'; [Application2.FileGroup1]"),
            std::string::npos)
      << Log();

  EXPECT_EQ(ReadHostFile(dir_.host() / "Programs2/Gruesse/a.txt"), "alpha");
  EXPECT_FALSE(std::filesystem::exists(dir_.host() / "Programs")) << "the browser's parent stays";
  EXPECT_FALSE(std::filesystem::exists(dir_.host() / "Old/old.txt"));
  EXPECT_FALSE(KeyExists(platform::RegRoot::CurrentUser, registry_.Path() + "\\OLD_1_1"));
  std::vector<std::string> record =
      KeyValues(platform::RegRoot::CurrentUser, registry_.Path() + "\\GR_1_1");
  std::sort(record.begin(), record.end());
  EXPECT_EQ(record, (std::vector<std::string>{"FileGroup1=" + dir_.win("Programs2\\Gruesse"),
                                              "FileGroup1File1=a.txt",
                                              "InstallDir=" + dir_.win("Programs2\\Gruesse"),
                                              "Title=Gr\xC3\xBC\xC3\x9F"
                                              "e"}));
}

TEST_F(TerminalUI, CancelAsksFirstAndEndsWithExitCodeOne) {
  Terminal terminal(dir_.host() / "SETUP", args_);
  ASSERT_TRUE(terminal.WaitFor("\xC2\xABMsgInstall|German\xC2\xBB"));
  // Escape presses Cancel; the question speaks the product's language. No keeps the window.
  terminal.Type(kEscape);
  ASSERT_TRUE(terminal.WaitFor("MsgCaptionWarning|German"));
  ASSERT_TRUE(terminal.WaitFor("SConfirmCancel|German"));
  ASSERT_TRUE(terminal.WaitFor("SYesButtonCaption|German"));
  ASSERT_TRUE(terminal.WaitFor("SNoButtonCaption|German"));
  terminal.Type(std::string(kTab) + kEnter);
  // A new size redraws the whole window.
  terminal.Resize(30, 100);
  ASSERT_TRUE(terminal.WaitFor("\xC2\xABMsgInstall|German\xC2\xBB"));
  // Escape does not answer the question; Enter answers with the focused button, Yes.
  terminal.Type(std::string("\t\t") + kEscape);
  ASSERT_TRUE(terminal.WaitFor("SConfirmCancel|German"));
  terminal.Type(std::string(kEscape));
  terminal.Type(kEnter);
  EXPECT_EQ(terminal.ExitCode(), 1) << Log();
  EXPECT_FALSE(std::filesystem::exists(dir_.host() / "Programs"));
  EXPECT_FALSE(KeyExists(platform::RegRoot::CurrentUser, registry_.Path() + "\\GR_1_1"));
  EXPECT_TRUE(KeyExists(platform::RegRoot::CurrentUser, registry_.Path() + "\\OLD_1_1"));
}

// The demo product greets the user in the language of the locale (LC_ALL before LANG), with
// its own texts and never a marker text «IDENTIFIER|LANGUAGE»; the C locale is US English.
TEST(TerminalDemo, SpeaksTheLanguageOfEveryLocale) {
  struct Case {
    std::vector<Variable> locale;
    std::vector<std::string> texts;  // the first one greets
    std::string question;            // asked on Escape
    std::string absent;              // a text of a neighbouring language
  };
  const std::vector<Case> cases = {
      {{{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "C"}},
       {"Welcome!", "Check", "Cancel", "Continue", "Warning", "Yes", "No"},
       "Do you really want to cancel the installation?",
       "Tick"},
      {{{"LANG", "en_US.UTF-8"}},
       {"Welcome!", "Check", "Cancel", "Continue", "Warning", "Yes", "No"},
       "Do you really want to cancel the installation?",
       "Tick"},
      {{{"LANG", "en_GB.UTF-8"}},
       {"Welcome!", "Tick", "Cancel", "Continue", "Warning", "Yes", "No"},
       "Do you really want to cancel the installation?",
       "Check"},
      {{{"LANG", "en_GB.UTF-8"}, {"LC_ALL", "de_DE.UTF-8"}},
       {"Willkommen!", "Abbrechen", "Weiter", "Warnung", "Ja", "Nein"},
       "Wollen Sie die Installation wirklich abbrechen?",
       "Welcome"},
  };
  for (const Case& test : cases) {
    const std::string name = test.locale.back().first + "=" + test.locale.back().second;
    SCOPED_TRACE(name);
    Terminal terminal(VALISE_DEMO_DIST "/SETUP", {}, test.locale);
    ASSERT_TRUE(terminal.WaitFor(test.texts.front()));
    // Escape asks whether to cancel; Enter answers Yes.
    terminal.Type(kEscape);
    ASSERT_TRUE(terminal.WaitFor(test.question));
    terminal.Type(kEnter);
    EXPECT_EQ(terminal.ExitCode(), 1);
    const std::string& screen = terminal.Output();
    for (const std::string& text : test.texts) {
      EXPECT_NE(screen.find(text), std::string::npos) << text << "\n" << screen;
    }
    EXPECT_EQ(screen.find(test.absent), std::string::npos) << screen;
    const std::size_t marker = screen.find("\xC2\xAB");
    EXPECT_EQ(marker, std::string::npos) << screen.substr(marker == std::string::npos ? 0 : marker);
  }
}

// The copy of the setup program that the uninstall entries start has no baggage: its window
// speaks the language the install used, with the product's own texts, in any locale.
TEST(TerminalDemo, TheKeptProgramSpeaksTheLanguageOfTheInstall) {
  TempDir dir;
  const Variable prefix{"WINEPREFIX", valise::testing::Utf8Path(dir.host() / "prefix")};
  Terminal install(VALISE_DEMO_DIST "/SETUP", {"/silent", "/nomsg"},
                   {prefix, {"LANG", "de_DE.UTF-8"}});
  ASSERT_EQ(install.ExitCode(), 0) << install.Output();
  std::filesystem::path kept;
  for (const auto& user :
       std::filesystem::directory_iterator(dir.host() / "prefix/drive_c/users")) {
    if (std::filesystem::exists(user.path() / "AppData/Local/Vantorel Setup/setup.exe"))
      kept = user.path() / "AppData/Local/Vantorel Setup";
  }
  ASSERT_FALSE(kept.empty());

  // The entry's command: the window opens with the named application unticked.
  Terminal removal(kept / "setup.exe", {"/remove=VDEMO_1_1001"}, {prefix, {"LANG", "en_US.UTF-8"}});
  ASSERT_TRUE(removal.WaitFor("Willkommen!"));
  ASSERT_TRUE(removal.WaitFor("Weiter"));
  removal.Type(kEnter);
  ASSERT_TRUE(removal.WaitFor("Die Installation ist abgeschlossen."));
  removal.Type(kEnter);
  ASSERT_EQ(removal.ExitCode(), 0) << removal.Output();
  const std::string& screen = removal.Output();
  for (const char* text : {"Abbrechen", "Installationsordner:", "Valise Demo Tools"}) {
    EXPECT_NE(screen.find(text), std::string::npos) << text << "\n" << screen;
  }
  EXPECT_EQ(screen.find("Cancel"), std::string::npos) << screen;
  const std::size_t marker = screen.find("\xC2\xAB");
  EXPECT_EQ(marker, std::string::npos) << screen.substr(marker == std::string::npos ? 0 : marker);
  const std::filesystem::path programs = dir.host() / "prefix/drive_c/Program Files/Vantorel";
  EXPECT_FALSE(std::filesystem::exists(programs / "Valise Demo"));
  EXPECT_TRUE(std::filesystem::exists(programs / "Valise Demo Tools"));

  // The quiet command of the others removes the rest, and the kept copy with the last.
  Terminal rest(kept / "setup.exe",
                {"/silent", "/nomsg", "/remove=VTOOLS_2_2001", "/remove=VGERMAN_1_1002",
                 "/remove=VGERMAN_1_1003"},
                {prefix});
  ASSERT_EQ(rest.ExitCode(), 0) << rest.Output();
  EXPECT_FALSE(std::filesystem::exists(programs));
  EXPECT_FALSE(std::filesystem::exists(kept));
}

TEST_F(TerminalUI, WithoutATerminalFailsWithExitCodeThree) {
  const std::string command = (dir_.host() / "SETUP").string() + " </dev/null 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  const int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_NE(output.find("Setup: An interactive run needs a terminal, and standard input and "
                        "output are none: start the setup program in a terminal, or with /silent."),
            std::string::npos)
      << output;
}

}  // namespace
}  // namespace valise::ui
