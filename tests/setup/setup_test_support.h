// A scenario folder for the engine's tests: a script, source files and a baggage, a fake of
// the engine's user interface that records what the engine asked of it, and readers of what an
// installation left in the registry.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "setup/data_module.h"
#include "setup/setup_ui.h"
#include "test_support.h"

namespace valise::setup::testing {

class FakeUI : public TSetupUI {
 public:
  void ProcessMessages() override { ++pumps; }
  void WaitPumping(std::uint32_t milliseconds) override { waits.push_back(milliseconds); }
  void SetProgressVisible(bool visible) override { progressVisible = visible; }
  void SetProgressMax(int maximum) override { progressMax = maximum; }
  void SetProgressPosition(int position) override { progress = position; }
  int ProgressPosition() const override { return progress; }
  void ShowError(std::string_view text) override { boxes.emplace_back(text); }
  void ShowInformation(std::string_view text, std::string_view caption) override {
    boxes.push_back(std::string(caption) + ": " + std::string(text));
  }

  int pumps = 0;
  std::vector<std::uint32_t> waits;
  bool progressVisible = false;
  int progressMax = 0;
  int progress = 0;
  std::vector<std::string> boxes;
};

// The records key of one test: below HKEY_CURRENT_USER\Software\ValiseTests, named after the
// running test, emptied when the object is made and when it goes.
class TestRegistry {
 public:
  TestRegistry();
  ~TestRegistry();
  // "HKEY_CURRENT_USER\Software\ValiseTests\<test>"
  std::string Rooted() const { return "HKEY_CURRENT_USER\\" + path_; }
  // "Software\ValiseTests\<test>" below HKEY_CURRENT_USER.
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The values of a key as "name=value" lines in enumeration order (numbers in decimal); empty
// when the key does not exist.
std::vector<std::string> KeyValues(platform::RegRoot root, const std::string& path);
bool KeyExists(platform::RegRoot root, const std::string& path);

}  // namespace valise::setup::testing
