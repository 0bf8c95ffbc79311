// The posix backend's registry against Wine's own, in one prefix: what one writes, the other
// reads, and Wine's files pass through the backend unchanged.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/errors.h"
#include "platform/posix/wine_registry_file.h"
#include "platform/registry.h"
#include "test_support.h"
#include "wine_support.h"

namespace valise::platform {
namespace {

constexpr char kBase[] = "Software\\ValiseParity";

// Output of a Windows program without its carriage returns.
std::string Text(std::string output) {
  std::erase(output, '\r');
  return output;
}

class RegistryWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::WineAvailable()) GTEST_SKIP() << "Wine or the probe is missing";
    prefix_.emplace();
    DeleteRegKeyTree(RegRoot::CurrentUser, kBase);
  }
  void TearDown() override {
    if (prefix_) DeleteRegKeyTree(RegRoot::CurrentUser, kBase);
  }
  std::optional<testing::SharedWinePrefix> prefix_;
};

TEST_F(RegistryWineTest, ValuesWrittenByTheBackendAreReadUnderWine) {
  {
    RegKey key = RegKey::Create(RegRoot::CurrentUser, std::string(kBase) + "\\Posix");
    key.WriteString("Title", "Ein Produkt");
    key.WriteExpandString("Dir", "%ProgramFiles%\\Vantorel");
    key.WriteDWord("Count", 42);
  }
  {
    RegKey key = RegKey::Create(RegRoot::CurrentUser, std::string(kBase) + "\\Łukasz");
    key.WriteString("Ελένη", "Łukasz Ελένη");
    key.WriteExpandString("Łukasz", "%TEMP%\\Ελένη");
  }
  const auto query = prefix_->Run({"reg", "query", "HKCU\\Software\\ValiseParity\\Posix"});
  EXPECT_EQ(query.exitCode, 0);
  EXPECT_NE(query.output.find("Title    REG_SZ    Ein Produkt"), std::string::npos) << query.output;
  EXPECT_NE(query.output.find("Dir    REG_EXPAND_SZ    %ProgramFiles%\\Vantorel"),
            std::string::npos)
      << query.output;
  EXPECT_NE(query.output.find("Count    REG_DWORD    0x2a"), std::string::npos) << query.output;

  // reg.exe prints in the console's code page; the probe prints UTF-8.
  const std::string path = "Software\\ValiseParity\\Łukasz";
  EXPECT_EQ(Text(prefix_->Probe({"reg-read", "HKCU", path, "Ελένη"}).output), "1\nŁukasz Ελένη\n");
  EXPECT_EQ(Text(prefix_->Probe({"reg-read", "HKCU", path, "ŁUKASZ"}).output),
            "2\n%TEMP%\\Ελένη\n");
  EXPECT_EQ(Text(prefix_->Probe({"reg-values", "HKCU", path}).output), "Łukasz\nΕλένη\n");
}

// The block of a key in a registry file, from its key line to the next key line.
std::string Block(const std::string& file, const std::string& keyLine) {
  const auto start = file.find("\n" + keyLine);
  if (start == std::string::npos) return "";
  const auto end = file.find("\n[", start + 1);
  return file.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

TEST_F(RegistryWineTest, WineWritesBackWhatTheBackendWroteUnchanged) {
  std::vector<std::uint8_t> blob;
  for (int i = 0; i < 300; ++i) blob.push_back(static_cast<std::uint8_t>(i * 7));
  {
    RegKey key = RegKey::Create(RegRoot::CurrentUser, std::string(kBase) + "\\Ełement [1]");
    key.WriteString("", "default \"quoted\" C:\\dir\\");
    key.WriteString("Ελένη", "Łukasz\tTab");
    key.WriteString("Empty", "");
    key.WriteExpandString("Dir", "%ProgramFiles%\\Ełement");
    key.WriteDWord("Count", 0xdeadbeef);
    key.WriteBinary("Blob", blob);
    key.WriteBinary("None", {});
  }
  const std::string file = prefix_->path() + "/user.reg";
  const std::string keyLine = "[Software\\\\ValiseParity\\\\E\\x0142ement \\[1\\]] ";
  const std::string ours = Block(testing::ReadHostFile(file), keyLine);
  ASSERT_FALSE(ours.empty()) << testing::ReadHostFile(file);
  // Wine loads the files, changes another key and saves them again.
  EXPECT_EQ(
      prefix_
          ->Run({"reg", "add", "HKCU\\Software\\ValiseParity\\Other", "/v", "x", "/d", "y", "/f"})
          .exitCode,
      0);
  const std::string theirs = Block(testing::ReadHostFile(file), keyLine);
  EXPECT_EQ(theirs, ours);
  std::string hex;
  char digits[4];
  for (auto byte : blob) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    hex += digits;
  }
  EXPECT_EQ(Text(prefix_->Probe({"reg-read", "HKCU", "Software\\ValiseParity\\Ełement [1]", "Blob"})
                     .output),
            "3\n" + hex + "\n");
  EXPECT_EQ(
      Text(prefix_->Probe({"reg-read", "HKCU", "Software\\ValiseParity\\Ełement [1]", "Count"})
               .output),
      "4\n3735928559\n");
}

TEST_F(RegistryWineTest, ValuesWrittenUnderWineAreReadByTheBackend) {
  const std::string key = "HKCU\\Software\\ValiseParity\\Wine\\Łukasz";
  EXPECT_EQ(prefix_
                ->Run({"reg", "add", key, "/v", "Ελένη", "/t", "REG_SZ", "/d", "Łukasz \"q\" Ελένη",
                       "/f"})
                .exitCode,
            0);
  EXPECT_EQ(prefix_
                ->Run({"reg", "add", key, "/v", "Dir", "/t", "REG_EXPAND_SZ", "/d",
                       "%SystemRoot%\\Ελένη", "/f"})
                .exitCode,
            0);
  EXPECT_EQ(
      prefix_->Run({"reg", "add", key, "/v", "Count", "/t", "REG_DWORD", "/d", "4000000000", "/f"})
          .exitCode,
      0);
  EXPECT_EQ(prefix_->Run({"reg", "add", key, "/ve", "/d", "default", "/f"}).exitCode, 0);

  const auto read = RegKey::Open(RegRoot::CurrentUser, "Software\\ValiseParity\\Wine\\łukasz");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Read("ελένη")->type, RegType::String);
  EXPECT_EQ(read->Read("Ελένη")->text, "Łukasz \"q\" Ελένη");
  EXPECT_EQ(read->Read("Dir")->type, RegType::ExpandString);
  EXPECT_EQ(read->Read("Dir")->text, "%SystemRoot%\\Ελένη");
  EXPECT_EQ(read->Read("Count")->type, RegType::DWord);
  EXPECT_EQ(read->Read("Count")->number, 4000000000u);
  EXPECT_EQ(read->Read("")->text, "default");
  const auto parent = RegKey::Open(RegRoot::CurrentUser, "Software\\ValiseParity\\Wine");
  ASSERT_TRUE(parent);
  EXPECT_EQ(parent->SubKeyNames(), std::vector<std::string>{"Łukasz"});
}

TEST_F(RegistryWineTest, WinesFilesPassThroughUnchanged) {
  for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) {
    const std::string bytes = testing::ReadHostFile(prefix_->path() + "/" + name);
    ASSERT_FALSE(bytes.empty()) << name;
    EXPECT_TRUE(posix::WineRegistryFile::Parse(bytes, name).Serialize() == bytes) << name;
  }
  // A key added and deleted again leaves Wine's file as it was.
  const std::string before = testing::ReadHostFile(prefix_->path() + "/system.reg");
  RegKey::Create(RegRoot::LocalMachine, "Software\\ValiseParity").WriteDWord("x", 1);
  EXPECT_TRUE(DeleteRegKeyTree(RegRoot::LocalMachine, "Software\\ValiseParity"));
  const std::string after = testing::ReadHostFile(prefix_->path() + "/system.reg");
  // Software has subkeys and no values, so Wine writes no block for it that could change.
  EXPECT_TRUE(after == before);
  // And Wine still reads the whole file.
  EXPECT_EQ(prefix_
                ->Probe({"reg-read", "HKLM", "Software\\Microsoft\\Windows NT\\CurrentVersion",
                         "CurrentVersion"})
                .exitCode,
            0);
}

TEST_F(RegistryWineTest, WritingIsRefusedWhileTheWineserverRuns) {
  const std::string message = "The registry of the Wine prefix " + prefix_->path() +
                              " is in use by a running wineserver; close the Wine programs of "
                              "that prefix first";
  ASSERT_EQ(std::system("WINEDEBUG=-all wineserver -p10"), 0);
  bool refused = false;
  for (int i = 0; i < 50 && !refused; ++i) {
    try {
      RegKey::Create(RegRoot::CurrentUser, kBase).Close();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } catch (const OSError& error) {
      EXPECT_EQ(std::string(error.what()), message);
      refused = true;
    }
  }
  EXPECT_TRUE(refused);
  EXPECT_TRUE(RegKey::Open(RegRoot::CurrentUser, "Software"));  // reading goes on
  std::system("wineserver -k; wineserver -w");
  RegKey::Create(RegRoot::CurrentUser, kBase).WriteDWord("after", 1);
  EXPECT_EQ(RegKey::Open(RegRoot::CurrentUser, kBase)->Read("after")->number, 1u);
}

}  // namespace
}  // namespace valise::platform
