// The registry files of the posix backend's Wine prefix: how values are written, when a key is
// stored, damaged files, a running wineserver, and changes of keys that go without Close().
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "platform/debug.h"
#include "platform/errors.h"
#include "platform/host_paths.h"
#include "platform/posix/prefix.h"
#include "platform/registry.h"
#include "test_support.h"

namespace valise::platform {
namespace {

// A Wine prefix of its own in a temporary folder for the tests that look at the files.
class RegistryPrefixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("WINEPREFIX")) previous_ = old;
    ::setenv("WINEPREFIX", dir_.host().c_str(), 1);
    prefix_ = posix::PrefixDir();
  }
  void TearDown() override {
    if (previous_) {
      ::setenv("WINEPREFIX", previous_->c_str(), 1);
    } else {
      ::unsetenv("WINEPREFIX");
    }
  }
  std::string UserReg() const { return testing::ReadHostFile(prefix_ / "user.reg"); }

  testing::TempDir dir_;
  std::filesystem::path prefix_;
  std::optional<std::string> previous_;
};

TEST_F(RegistryPrefixTest, ValuesAreWrittenAsWineWritesThem) {
  {
    RegKey key = RegKey::Create(RegRoot::CurrentUser, "Software\\Vantorel\\Łukasz");
    key.WriteString("Ελένη", "a \"quoted\" C:\\path");
    key.WriteExpandString("Dir", "%ProgramFiles%");
    key.WriteDWord("N", 10);
    key.WriteBinary("B", {1, 0xab});
  }
  RegKey::Create(RegRoot::LocalMachine, "Software\\Vantorel").WriteDWord("M", 1);
  const std::string user = UserReg();
  EXPECT_TRUE(user.starts_with("WINE REGISTRY Version 2\n")) << user;
  EXPECT_NE(user.find("\n[Software\\\\Vantorel\\\\\\x141ukasz] "), std::string::npos) << user;
  EXPECT_NE(user.find("\n\"B\"=hex:01,ab\n\"Dir\"=str(2):\"%ProgramFiles%\"\n\"N\"=dword:0000000a\n"
                      "\"\\x395\\x3bb\\x3ad\\x3bd\\x3b7\"=\"a \\\"quoted\\\" C:\\\\path\"\n"),
            std::string::npos)
      << user;
  EXPECT_NE(testing::ReadHostFile(prefix_ / "system.reg").find("\n\"M\"=dword:00000001\n"),
            std::string::npos);
}

TEST_F(RegistryPrefixTest, AKeyIsStoredOnceWhenItCloses) {
  RegKey::Create(RegRoot::CurrentUser, "Software\\Other").WriteString("x", "1");
  struct stat before {};
  ASSERT_EQ(::stat((prefix_ / "user.reg").c_str(), &before), 0);
  RegKey key = RegKey::Create(RegRoot::CurrentUser, "Software\\Many");
  for (int i = 0; i < 2000; ++i) key.WriteDWord("Value" + std::to_string(i), i);
  struct stat during {};
  ASSERT_EQ(::stat((prefix_ / "user.reg").c_str(), &during), 0);
  EXPECT_EQ(during.st_ino, before.st_ino);  // nothing written yet
  EXPECT_FALSE(RegKey::Open(RegRoot::CurrentUser, "Software\\Many"));
  key.Close();
  const auto stored = RegKey::Open(RegRoot::CurrentUser, "Software\\Many");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->ValueNames().size(), 2000u);
  EXPECT_EQ(stored->Read("Value1999")->number, 1999u);
  // No temporary files stay behind.
  for (const auto& entry : std::filesystem::directory_iterator(prefix_)) {
    const std::string name = entry.path().filename().string();
    EXPECT_FALSE(name.starts_with("user.reg.") || name.starts_with("system.reg.")) << name;
  }
}

TEST_F(RegistryPrefixTest, ChangesOfOthersMadeMeanwhileAreKept) {
  RegKey first = RegKey::Create(RegRoot::CurrentUser, "Software\\Shared");
  first.WriteString("first", "1");
  {
    RegKey second = RegKey::Create(RegRoot::CurrentUser, "Software\\Shared");
    second.WriteString("second", "2");
    RegKey third = RegKey::Create(RegRoot::CurrentUser, "Software\\Elsewhere");
    third.WriteString("third", "3");
  }
  EXPECT_TRUE(DeleteRegKeyTree(RegRoot::CurrentUser, "Software\\Elsewhere"));
  first.Close();
  const auto key = RegKey::Open(RegRoot::CurrentUser, "Software\\Shared");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ValueNames(), (std::vector<std::string>{"first", "second"}));
  EXPECT_FALSE(RegKey::Open(RegRoot::CurrentUser, "Software\\Elsewhere"));
}

TEST_F(RegistryPrefixTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kValues = 200;
  pid_t children[2];
  for (int child = 0; child < 2; ++child) {
    children[child] = ::fork();
    ASSERT_GE(children[child], 0);
    if (children[child] == 0) {
      int failures = 0;
      for (int i = 0; i < kValues; ++i) {
        try {
          RegKey key = RegKey::Create(RegRoot::CurrentUser, "Software\\Race");
          key.WriteDWord("p" + std::to_string(child) + "v" + std::to_string(i), i);
          key.Close();
        } catch (...) {
          ++failures;
        }
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const auto key = RegKey::Open(RegRoot::CurrentUser, "Software\\Race");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ValueNames().size(), 2u * kValues);
  EXPECT_EQ(key->Read("p1v199")->number, 199u);
}

TEST_F(RegistryPrefixTest, ADamagedHiveIsReportedWithItsLine) {
  dir_.Write("user.reg", "WINE REGISTRY Version 2\n\n[Software] 1\n\"a\"=dword:\n");
  const std::string message = "The registry file " + (prefix_ / "user.reg").string() +
                              " is damaged at line 4: a dword has no hex digits";
  EXPECT_THROW_MSG(RegKey::Open(RegRoot::CurrentUser, "Software"), Error, message);
  EXPECT_THROW_MSG(RegKey::Create(RegRoot::CurrentUser, "Software"), Error, message);
  EXPECT_FALSE(DeleteRegKeyTree(RegRoot::CurrentUser, "Software"));
  EXPECT_EQ(LastError(), kErrorInvalidData);
}

TEST_F(RegistryPrefixTest, WritingIsRefusedWhileAWineserverRuns) {
  // A server's folder as Wine makes it, with a lock held by another process.
  struct stat info {};
  ASSERT_EQ(::stat(prefix_.c_str(), &info), 0);
  char server[64];
  std::snprintf(server, sizeof server, "server-%llx-%llx",
                static_cast<unsigned long long>(info.st_dev),
                static_cast<unsigned long long>(info.st_ino));
  testing::TempDir tmp;
  const auto folder = tmp.host() / "wine-test01" / server;
  std::filesystem::create_directories(folder);
  dir_.Write("wineserver", "wine-test01");
  const std::string oldTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  ::setenv("TMPDIR", tmp.host().c_str(), 1);

  RegKey::Create(RegRoot::CurrentUser, "Software\\Before").WriteString("a", "1");
  RegKey open = RegKey::Create(RegRoot::CurrentUser, "Software\\Before");
  open.WriteString("b", "2");

  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t server_pid = ::fork();
  ASSERT_GE(server_pid, 0);
  if (server_pid == 0) {
    const int fd = ::open((folder / "lock").c_str(), O_CREAT | O_WRONLY, 0600);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool locked = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0;
    if (::write(ready[1], locked ? "1" : "0", 1) != 1) ::_exit(1);
    ::pause();
    ::_exit(0);
  }
  char answer = 0;
  ASSERT_EQ(::read(ready[0], &answer, 1), 1);
  ASSERT_EQ(answer, '1');

  const std::string message = "The registry of the Wine prefix " + prefix_.string() +
                              " is in use by a running wineserver; close the Wine programs of "
                              "that prefix first";
  EXPECT_THROW_MSG(RegKey::Create(RegRoot::CurrentUser, "Software\\During"), OSError, message);
  EXPECT_THROW_MSG(open.Close(), OSError, message);
  EXPECT_FALSE(DeleteRegKeyTree(RegRoot::CurrentUser, "Software\\Before"));
  EXPECT_EQ(LastError(), kErrorSharingViolation);
  EXPECT_EQ(RegKey::Open(RegRoot::CurrentUser, "Software\\Before")->Read("a")->text, "1");

  ::kill(server_pid, SIGTERM);
  ::waitpid(server_pid, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  RegKey::Create(RegRoot::CurrentUser, "Software\\After").WriteString("a", "1");
  EXPECT_TRUE(RegKey::Open(RegRoot::CurrentUser, "Software\\After"));
  if (oldTmp.empty()) {
    ::unsetenv("TMPDIR");
  } else {
    ::setenv("TMPDIR", oldTmp.c_str(), 1);
  }
}

TEST_F(RegistryPrefixTest, AKeyThatGoesWithoutCloseStoresItsChangesOrLogsTheLoss) {
  testing::TempDir logDir;
  const std::filesystem::path log = logDir.host() / "debug.log";
  SetDebugLogFile(ToWindowsPath(log.string()));
  {
    // Close() is not needed: the key stores its changes when it goes.
    RegKey key = RegKey::Create(RegRoot::CurrentUser, "Software\\Kept");
    key.WriteString("a", "1");
  }
  EXPECT_EQ(RegKey::Open(RegRoot::CurrentUser, "Software\\Kept")->Read("a")->text, "1");
  EXPECT_EQ(testing::ReadHostFile(log), "");

  // When storing fails (here the hive is damaged meanwhile), the destructor cannot throw; the
  // loss is written to the debug log with the key's name and the reason. Assigning another key
  // to a variable closes the key it held the same way.
  {
    RegKey key = RegKey::Create(RegRoot::LocalMachine, "Software\\Replaced");
    key.WriteString("c", "3");
    std::optional<RegKey> other = RegKey::Open(RegRoot::CurrentUser, "Software\\Kept");
    ASSERT_TRUE(other);
    dir_.Write("system.reg", "WINE REGISTRY Version 2\n\n[Software] 1\n\"a\"=dword:\n");
    key = std::move(*other);
  }
  {
    RegKey key = RegKey::Create(RegRoot::CurrentUser, "Software\\Lost");
    key.WriteString("b", "2");
    dir_.Write("user.reg", "WINE REGISTRY Version 2\n\n[Software] 1\n\"a\"=dword:\n");
  }
  SetDebugLogFile("");
  const std::string damaged = " is damaged at line 4: a dword has no hex digits";
  EXPECT_EQ(testing::WithoutTimeStamps(testing::ReadHostFile(log)),
            "The changes to the registry key Software\\Replaced in " +
                (prefix_ / "system.reg").string() + " were not stored: The registry file " +
                (prefix_ / "system.reg").string() + damaged + "\r\n" +
                "The changes to the registry key Software\\Lost in " +
                (prefix_ / "user.reg").string() + " were not stored: The registry file " +
                (prefix_ / "user.reg").string() + damaged + "\r\n");
}

// Root may write anywhere, so a store that fails is made by a limit on the size of the files
// this process writes (RLIMIT_FSIZE): writing past it fails with EFBIG, as on a full volume.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousSignal_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousSignal_);
  }

 private:
  rlimit previous_{};
  void (*previousSignal_)(int) = nullptr;
};

TEST_F(RegistryPrefixTest, AFailedStoreKeepsTheChangesPendingAndLeavesNoTemporary) {
  RegKey::Create(RegRoot::CurrentUser, "Software\\Big").WriteString("text", std::string(4096, 'x'));
  RegKey::Create(RegRoot::CurrentUser, "Software\\Other").WriteDWord("n", 1);
  // What a save killed half way leaves: a temporary beside the hive. The next save removes it;
  // names of other patterns and other hives' temporaries stay.
  dir_.Write("user.reg.Ab12Cd", "");
  dir_.Write("user.reg.bak", "b");
  dir_.Write("user.reg.Ab12C", "c");
  dir_.Write("system.reg.Xy98Zz", "");

  RegKey key = RegKey::Create(RegRoot::CurrentUser, "Software\\Pending");
  key.WriteString("a", "1");
  const std::string failure = "Cannot write " + (prefix_ / "user.reg").string() +
                              ": The file size exceeds the limit allowed and cannot be saved.";
  {
    FileSizeLimit limit(1024);
    EXPECT_THROW_MSG(key.Flush(), OSError, failure);
    EXPECT_THROW_MSG(key.Close(), OSError, failure);
    EXPECT_FALSE(DeleteRegKeyTree(RegRoot::CurrentUser, "Software\\Other"));
    EXPECT_EQ(LastError(), kErrorFileTooLarge);
  }
  EXPECT_FALSE(RegKey::Open(RegRoot::CurrentUser, "Software\\Pending"));
  EXPECT_TRUE(RegKey::Open(RegRoot::CurrentUser, "Software\\Other"));

  // The key stayed open with its change, and stores it once it can.
  key.Close();
  EXPECT_EQ(RegKey::Open(RegRoot::CurrentUser, "Software\\Pending")->Read("a")->text, "1");
  EXPECT_EQ(RegKey::Open(RegRoot::CurrentUser, "Software\\Big")->Read("text")->text.size(), 4096u);
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(prefix_)) {
    names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names.count("user.reg.Ab12Cd"), 0u);
  EXPECT_EQ(names.count("user.reg.bak"), 1u);
  EXPECT_EQ(names.count("user.reg.Ab12C"), 1u);
  EXPECT_EQ(names.count("system.reg.Xy98Zz"), 1u);
  EXPECT_EQ(std::count_if(names.begin(), names.end(),
                          [](const std::string& name) {
                            return name.starts_with("user.reg.") && name.size() == 15;
                          }),
            0);
}

}  // namespace
}  // namespace valise::platform
