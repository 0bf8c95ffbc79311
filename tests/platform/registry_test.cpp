// The registry: the same cases hold on Windows and in the posix backend's Wine prefix.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/errors.h"
#include "test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/posix/prefix.h"
#endif

namespace valise::platform {
namespace {

// A key of its own for each test below HKEY_CURRENT_USER\Software\ValiseTest, removed after.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    key_ = std::string("Software\\ValiseTest\\") + info->name() + "-" +
           std::to_string(std::random_device()() % 1000000);
    DeleteRegKeyTree(RegRoot::CurrentUser, key_);
  }
  void TearDown() override { DeleteRegKeyTree(RegRoot::CurrentUser, key_); }
  std::string key_;
};

TEST_F(RegistryTest, ValuesOfEveryTypeAreStoredAndReadBack) {
  {
    RegKey key = RegKey::Create(RegRoot::CurrentUser, key_);
    key.WriteString("Title", "Ein Produkt");
    key.WriteExpandString("Path", "%ProgramFiles%\\Vantorel");
    key.WriteDWord("Count", 4000000000u);
    key.WriteBinary("Blob", {0, 1, 0xfe, 0xff});
    key.WriteString("", "default");
    key.WriteString("Empty", "");
    // The session sees its own changes before they are stored.
    EXPECT_EQ(key.Read("Title")->text, "Ein Produkt");
    key.Close();
  }
  const auto key = RegKey::Open(RegRoot::CurrentUser, key_);
  ASSERT_TRUE(key);
  const auto title = key->Read("Title");
  ASSERT_TRUE(title);
  EXPECT_EQ(title->type, RegType::String);
  EXPECT_EQ(title->text, "Ein Produkt");
  EXPECT_EQ(key->Read("Path")->type, RegType::ExpandString);
  EXPECT_EQ(key->Read("Path")->text, "%ProgramFiles%\\Vantorel");
  EXPECT_EQ(key->Read("Count")->type, RegType::DWord);
  EXPECT_EQ(key->Read("Count")->number, 4000000000u);
  EXPECT_EQ(key->Read("Blob")->type, RegType::Binary);
  EXPECT_EQ(key->Read("Blob")->bytes, (std::vector<std::uint8_t>{0, 1, 0xfe, 0xff}));
  EXPECT_EQ(key->Read("")->text, "default");
  EXPECT_EQ(key->Read("Empty")->text, "");
  EXPECT_TRUE(key->HasValue("Empty"));
  EXPECT_FALSE(key->HasValue("Missing"));
  EXPECT_FALSE(key->Read("Missing"));
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirCase) {
  {
    RegKey key = RegKey::Create(RegRoot::CurrentUser, key_ + "\\Łukasz");
    key.WriteString("Ελένη", "Łukasz");
    key.WriteString("MixedCase", "1");
    key.WriteString("MIXEDCASE", "2");  // the same value
  }
  const auto key = RegKey::Open(RegRoot::CurrentUser, key_ + "\\łUKASZ");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->Read("ελένη")->text, "Łukasz");
  EXPECT_EQ(key->Read("mixedcase")->text, "2");
  EXPECT_EQ(key->ValueNames(), (std::vector<std::string>{"MixedCase", "Ελένη"}));
  const auto parent = RegKey::Open(RegRoot::CurrentUser, key_);
  ASSERT_TRUE(parent);
  EXPECT_EQ(parent->SubKeyNames(), (std::vector<std::string>{"Łukasz"}));
}

TEST_F(RegistryTest, SubkeysAreListedInTheRegistrysOrder) {
  for (const char* name : {"beta", "Alpha", "gamma", "Beta2"}) {
    RegKey::Create(RegRoot::CurrentUser, key_ + "\\" + name).Close();
  }
  const auto key = RegKey::Open(RegRoot::CurrentUser, key_);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->SubKeyNames(), (std::vector<std::string>{"Alpha", "beta", "Beta2", "gamma"}));
  EXPECT_TRUE(key->ValueNames().empty());
}

TEST_F(RegistryTest, MissingKeysAndReadOnlyKeys) {
  SetLastError(0);
  EXPECT_FALSE(RegKey::Open(RegRoot::CurrentUser, key_ + "\\Nothing"));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  RegKey::Create(RegRoot::CurrentUser, key_).Close();
  auto key = RegKey::Open(RegRoot::CurrentUser, key_);
  ASSERT_TRUE(key);
  EXPECT_THROW(key->WriteString("a", "b"), OSError);
  EXPECT_THROW(key->DeleteValue("a"), OSError);
}

TEST_F(RegistryTest, DeletingValuesAndTrees) {
  {
    RegKey key = RegKey::Create(RegRoot::CurrentUser, key_ + "\\Sub\\Deeper");
    key.WriteString("a", "1");
    key.WriteString("b", "2");
  }
  {
    RegKey key = RegKey::Create(RegRoot::CurrentUser, key_ + "\\Sub\\Deeper");
    EXPECT_TRUE(key.DeleteValue("A"));
    EXPECT_FALSE(key.DeleteValue("a"));
    EXPECT_FALSE(key.HasValue("a"));
  }
  EXPECT_EQ(RegKey::Open(RegRoot::CurrentUser, key_ + "\\Sub\\Deeper")->ValueNames(),
            std::vector<std::string>{"b"});
  EXPECT_TRUE(DeleteRegKeyTree(RegRoot::CurrentUser, key_ + "\\Sub"));
  EXPECT_FALSE(RegKey::Open(RegRoot::CurrentUser, key_ + "\\Sub\\Deeper"));
  EXPECT_FALSE(RegKey::Open(RegRoot::CurrentUser, key_ + "\\Sub"));
  EXPECT_TRUE(RegKey::Open(RegRoot::CurrentUser, key_));  // the parent stays
  SetLastError(0);
  EXPECT_FALSE(DeleteRegKeyTree(RegRoot::CurrentUser, key_ + "\\Sub"));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

TEST_F(RegistryTest, ClassesRootIsTheMachinesSoftwareClasses) {
  const std::string name = ".valisetest-" + key_.substr(key_.rfind('-') + 1);
  {
    RegKey key = RegKey::Create(RegRoot::ClassesRoot, name);
    key.WriteString("", "Valise.Test");
  }
  const auto key = RegKey::Open(RegRoot::LocalMachine, "Software\\Classes\\" + name);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->Read("")->text, "Valise.Test");
  EXPECT_TRUE(DeleteRegKeyTree(RegRoot::ClassesRoot, name));
  EXPECT_FALSE(RegKey::Open(RegRoot::LocalMachine, "Software\\Classes\\" + name));
}

#ifndef _WIN32

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

#endif

}  // namespace
}  // namespace valise::platform
