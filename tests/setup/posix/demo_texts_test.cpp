// The demo product's window speaks the user's language: started in a German, US English,
// British English or C locale, the setup finds every window text in that language in the
// baggages of the built demo, and none is a marker text.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <string>

#include "../setup_test_support.h"
#include "platform/host_paths.h"
#include "setup/data_module.h"

namespace valise::setup {
namespace {

using testing::FakeUI;

// Sets LANG for the object's life, with LC_ALL and LC_MESSAGES out of the way; restores all three.
class Locale {
 public:
  explicit Locale(const char* lang) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
      const char* value = std::getenv(kNames[i]);
      if (value != nullptr) saved_[i] = value;
      unsetenv(kNames[i]);
    }
    setenv("LANG", lang, 1);
  }
  ~Locale() {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
      if (saved_[i]) {
        setenv(kNames[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(kNames[i]);
      }
    }
  }

 private:
  static constexpr std::array<const char*, 3> kNames{"LC_ALL", "LC_MESSAGES", "LANG"};
  std::array<std::optional<std::string>, 3> saved_;
};

TEST(DemoProduct, EveryLocaleGetsItsOwnWindowTexts) {
  struct Case {
    const char* lang;
    course::TLanguage language;
    const char* continueButton;
    const char* descriptionPart;  // tells US from British English
  };
  const Case cases[] = {
      {"de_DE.UTF-8", course::LANG_GERMAN, "Weiter", "Willkommen!"},
      {"en_US.UTF-8", course::LANG_ENGLISH_US, "Continue", "Check the parts"},
      {"en_GB.UTF-8", course::LANG_ENGLISH_UK, "Continue", "Tick the parts"},
      {"C", course::LANG_ENGLISH_US, "Continue", "Check the parts"},
  };
  const std::string program = platform::ToWindowsPath(VALISE_DEMO_DIST "/SETUP");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lang);
    const Locale locale(c.lang);
    FakeUI ui;
    TSetupDataModule dm(ui, program, {});
    dm.Create();
    EXPECT_EQ(dm.Language, c.language);
    ASSERT_GE(dm.LanguageIndex, 0);
    EXPECT_EQ(dm.Applications[static_cast<std::size_t>(dm.LanguageIndex)]->Language, c.language);
    for (const TWindowTexts::Field& field : TWindowTexts::kFields) {
      const std::string& text = dm.Texts.*field.text;
      EXPECT_FALSE(text.empty() || text.rfind("\xC2\xAB", 0) == 0)
          << "text " << field.id << ": '" << text << "'";
    }
    EXPECT_EQ(dm.Texts.ButtonContinue, c.continueButton);
    EXPECT_NE(dm.Texts.MsgInstall.find(c.descriptionPart), std::string::npos)
        << dm.Texts.MsgInstall;
    EXPECT_TRUE(ui.boxes.empty()) << ::testing::PrintToString(ui.boxes);
  }
}

}  // namespace
}  // namespace valise::setup
