// Text on the posix backend: the code pages it converts itself.
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "test_support.h"

namespace valise::platform {
namespace {

using testing::Bytes;

// Malformed input is replaced piece by piece; nothing is dropped silently and nothing crashes.
TEST(TextTest, MalformedInputIsReplaced) {
  EXPECT_EQ(AnsiToUtf8(Bytes({'a', 0x93}), 932), "a\xEF\xBF\xBD");  // cut-off double byte
  // A lead byte with a trail byte is one character even when it has no mapping.
  EXPECT_EQ(AnsiToUtf8(Bytes({0x85, 0x40, 'x', 0x81, 0x7F, 'y'}), 932),
            "\xEF\xBF\xBDx\xEF\xBF\xBDy");
  EXPECT_EQ(Utf8ToAnsi(Bytes({'a', 0xC3, 'b', 0xFF}), 1252), "a?b?");
  EXPECT_EQ(Utf8ToAnsi(Bytes({0xE2, 0x82}), 932), "??");
  EXPECT_EQ(Utf8ToAnsi(Bytes({0xED, 0xA0, 0x80}), 1252), "???");  // encoded surrogate
}

TEST(TextTest, UpperCaseKeepsWhatIsNotUtf8) {
  EXPECT_EQ(UpperCase(Bytes({'a', 0xE4, 'b'})), Bytes({'A', 0xE4, 'B'}));
}

// The language follows the locale of the environment: LC_ALL, then LC_MESSAGES, then LANG.
class LangIdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (std::size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) {
        setenv(kNames[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(kNames[i]);
      }
    }
  }
  static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(LangIdTest, FromLocaleNames) {
  const std::pair<const char*, std::uint16_t> cases[] = {
      {"de_DE.UTF-8", 0x0407},
      {"de_AT", 0x0C07},
      {"en_US.UTF-8", 0x0409},
      {"en_GB", 0x0809},
      {"fr_CA.UTF-8@x", 0x0C0C},
      {"fr_XX", 0x040C},
      {"ja_JP.eucJP", 0x0411},
      {"pt_BR", 0x0416},
      {"es_ES", 0x0C0A},
      {"C", 0x0409},
      {"POSIX", 0x0409},
      {"xx_YY", 0x0409},
      {"", 0x0409},
  };
  for (const auto& [locale, id] : cases) {
    setenv("LANG", locale, 1);
    EXPECT_EQ(UserDefaultLangID(), id) << locale;
    EXPECT_EQ(SystemDefaultLangID(), id) << locale;
  }
}

TEST_F(LangIdTest, Precedence) {
  EXPECT_EQ(UserDefaultLangID(), 0x0409);
  setenv("LANG", "nl_NL.UTF-8", 1);
  setenv("LC_MESSAGES", "it_IT.UTF-8", 1);
  EXPECT_EQ(UserDefaultLangID(), 0x0410);
  setenv("LC_ALL", "sv_SE.UTF-8", 1);
  EXPECT_EQ(UserDefaultLangID(), 0x041D);
  setenv("LC_ALL", "", 1);  // empty counts as unset
  EXPECT_EQ(UserDefaultLangID(), 0x0410);
}

}  // namespace
}  // namespace valise::platform
