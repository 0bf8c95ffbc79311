// The registry: the same cases hold on Windows and in the posix backend's Wine prefix.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/errors.h"
#include "test_support.h"

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
  // All values in one pass: the names in the order listed, each with what a read gives.
  const auto values = key->Values();
  std::vector<std::string> names;
  for (const auto& [name, value] : values) {
    names.push_back(name);
    const auto read = key->Read(name);
    ASSERT_TRUE(read) << name;
    EXPECT_EQ(value.type, read->type) << name;
    EXPECT_EQ(value.text, read->text) << name;
    EXPECT_EQ(value.number, read->number) << name;
    EXPECT_EQ(value.bytes, read->bytes) << name;
  }
  EXPECT_EQ(names, key->ValueNames());
  EXPECT_EQ(names.size(), 6u);
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

}  // namespace
}  // namespace valise::platform
