#include "setup_test_support.h"

#include <gtest/gtest.h>

#include <optional>

namespace valise::setup::testing {

TestRegistry::TestRegistry()
    : path_(std::string("Software\\ValiseTests\\") +
            ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "." +
            ::testing::UnitTest::GetInstance()->current_test_info()->name()) {
  platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, path_);
}

TestRegistry::~TestRegistry() {
  platform::DeleteRegKeyTree(platform::RegRoot::CurrentUser, path_);
}

std::vector<std::string> KeyValues(platform::RegRoot root, const std::string& path) {
  std::vector<std::string> lines;
  const std::optional<platform::RegKey> key = platform::RegKey::Open(root, path);
  if (!key) return lines;
  for (const std::string& name : key->ValueNames()) {
    const std::optional<platform::RegValue> value = key->Read(name);
    std::string text;
    if (value->type == platform::RegType::DWord) {
      text = std::to_string(static_cast<std::int32_t>(value->number));
    } else if (value->type == platform::RegType::ExpandString) {
      text = "(expand)" + value->text;
    } else {
      text = value->text;
    }
    lines.push_back(name + "=" + text);
  }
  return lines;
}

bool KeyExists(platform::RegRoot root, const std::string& path) {
  return platform::RegKey::Open(root, path).has_value();
}

}  // namespace valise::setup::testing
