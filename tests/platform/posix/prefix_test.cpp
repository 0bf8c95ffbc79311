// The posix backend's prefix: made on first use with what Wine would have made, and made once
// even when several processes start at the same time.
#include "platform/posix/prefix.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/posix/prefix_layout.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "test_support.h"

namespace valise::platform::posix {
namespace {

namespace fs = std::filesystem;
using testing::ReadHostFile;
using testing::TempDir;

class PrefixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("WINEPREFIX")) previous_ = old;
    prefix_ = dir_.host() / "nested" / "prefix";
    ::setenv("WINEPREFIX", prefix_.c_str(), 1);
  }
  void TearDown() override {
    if (previous_.empty()) {
      ::unsetenv("WINEPREFIX");
    } else {
      ::setenv("WINEPREFIX", previous_.c_str(), 1);
    }
  }

  TempDir dir_;
  fs::path prefix_;
  std::string previous_;
};

TEST_F(PrefixTest, MissingPrefixIsMadeWithWinesLayout) {
  EXPECT_EQ(PrefixDir(), prefix_);
  const fs::path c = prefix_ / "drive_c";
  const std::string user = PrefixUserName();
  for (const fs::path& folder :
       {c / "windows" / "system32", c / "windows" / "Fonts", c / "Program Files" / "Common Files",
        c / "users" / user / "Desktop",
        c / "users" / user / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup",
        c / "users" / user / "AppData/Roaming/Microsoft/Windows/SendTo"}) {
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
  }
  EXPECT_EQ(fs::read_symlink(prefix_ / "dosdevices" / "c:"), fs::path("../drive_c"));
  EXPECT_EQ(fs::read_symlink(prefix_ / "dosdevices" / "z:"), fs::path("/"));

  const std::string system = ReadHostFile(prefix_ / "system.reg");
  EXPECT_EQ(system.rfind(
                "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n", 0),
            0u);
  EXPECT_NE(system.find("\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion] "),
            std::string::npos);
  EXPECT_NE(system.find("\n#time="), std::string::npos);
  EXPECT_NE(system.find("\n\"ProgramFilesDir\"=\"C:\\\\Program Files\"\n"), std::string::npos);
  EXPECT_NE(system.find("\n\"CommonFilesDir\"=\"C:\\\\Program Files\\\\Common Files\"\n"),
            std::string::npos);

  const std::string userReg = ReadHostFile(prefix_ / "user.reg");
  EXPECT_EQ(
      userReg.rfind(
          "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n", 0),
      0u);
  EXPECT_NE(userReg.find("[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell "
                         "Folders] "),
            std::string::npos);
  for (const char* name : {"Desktop", "Programs", "Startup", "SendTo", "Start Menu", "Fonts"}) {
    EXPECT_NE(userReg.find("\n\"" + std::string(name) + "\"=\"C:\\\\"), std::string::npos) << name;
  }
  EXPECT_NE(userReg.find("\"Desktop\"=\"C:\\\\users\\\\"), std::string::npos);
}

TEST_F(PrefixTest, AnExistingPrefixIsLeftAlone) {
  fs::create_directories(prefix_ / "dosdevices");
  fs::create_directories(prefix_ / "drive_c");
  TempDir elsewhere;
  fs::create_directory_symlink(elsewhere.host(), prefix_ / "dosdevices" / "c:");
  {
    std::FILE* file = std::fopen((prefix_ / "system.reg").c_str(), "w");
    std::fputs("WINE REGISTRY Version 2\n;; mine\n", file);
    std::fclose(file);
    file = std::fopen((prefix_ / "user.reg").c_str(), "w");
    std::fputs("WINE REGISTRY Version 2\n", file);
    std::fclose(file);
  }
  EXPECT_EQ(PrefixDir(), prefix_);
  EXPECT_EQ(ReadHostFile(prefix_ / "system.reg"), "WINE REGISTRY Version 2\n;; mine\n");
  EXPECT_EQ(fs::read_symlink(prefix_ / "dosdevices" / "c:"), elsewhere.host());
  EXPECT_FALSE(fs::exists(prefix_ / "drive_c" / "windows"));
}

TEST_F(PrefixTest, AnEmptyFolderIsCompleted) {
  fs::create_directories(prefix_);
  EXPECT_EQ(PrefixDir(), prefix_);
  EXPECT_TRUE(fs::exists(prefix_ / "system.reg"));
  EXPECT_TRUE(fs::exists(prefix_ / "user.reg"));
  EXPECT_TRUE(fs::is_directory(prefix_ / "drive_c" / "windows"));
}

TEST_F(PrefixTest, ProcessesStartingTogetherMakeOnePrefix) {
  constexpr int kProcesses = 6;
  pid_t children[kProcesses];
  for (pid_t& child : children) {
    child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const bool ok = PrefixDir() == prefix_ && fs::exists(prefix_ / "system.reg") &&
                      fs::exists(prefix_ / "user.reg") && fs::exists(prefix_ / "dosdevices" / "c:");
      ::_exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  // Nothing half-made is left beside the prefix, and the registry files are whole.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(prefix_.parent_path()))
    ++entries;
  EXPECT_EQ(entries, 1);
  EXPECT_NE(ReadHostFile(prefix_ / "user.reg").find("\"Startup\""), std::string::npos);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(prefix_)) ++files;
  EXPECT_EQ(files, 4);  // dosdevices, drive_c, system.reg, user.reg
}

TEST_F(PrefixTest, ShellFoldersComeFromTheUserRegistry) {
  const std::string user = PrefixUserName();
  EXPECT_EQ(GetSpecialFolderPath(kFolderDesktop), "C:\\users\\" + user + "\\Desktop");
  EXPECT_EQ(GetSpecialFolderPath(kFolderFonts), "C:\\windows\\Fonts");
  // The folders of all users are in the machine's key.
  EXPECT_EQ(GetSpecialFolderPath(kFolderLocalAppData), "C:\\users\\" + user + "\\AppData\\Local");
  EXPECT_EQ(GetSpecialFolderPath(kFolderCommonAppData), "C:\\ProgramData");
  EXPECT_EQ(GetSpecialFolderPath(12345), "");
  {
    RegKey key =
        RegKey::Create(RegRoot::CurrentUser,
                       "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    key.WriteString("SendTo", "D:\\Elsewhere\\SendTo");
    EXPECT_TRUE(key.DeleteValue("Startup"));
  }
  EXPECT_EQ(GetSpecialFolderPath(kFolderSendTo), "D:\\Elsewhere\\SendTo");
  // Without the value, the folder is where a new prefix has it, made when missing.
  fs::remove_all(prefix_ / "drive_c/users" / user /
                 "AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup");
  EXPECT_EQ(GetSpecialFolderPath(kFolderStartup),
            "C:\\users\\" + user +
                "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
  EXPECT_TRUE(fs::is_directory(prefix_ / "drive_c/users" / user /
                               "AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup"));
  EXPECT_EQ(GetWindowsDirectory(), "C:\\windows");
  EXPECT_EQ(GetSystemDirectory(), "C:\\windows\\system32");
}

}  // namespace
}  // namespace valise::platform::posix
