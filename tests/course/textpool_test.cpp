// The text pool: language fallback, «empty», marker texts and the missing-string warnings.
#include <gtest/gtest.h>

#include "course/app_strings.h"
#include "course/project.h"
#include "course/textpool.h"
#include "course_fixtures.h"
#include "platform/debug.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "test_support.h"

namespace valise::course {
namespace {

using testing::TextpoolTable;
using testing::TextRow;

constexpr std::uint32_t kCancel = textid::ButtonCancel;
constexpr std::uint32_t kContinue = textid::ButtonContinue;

// Records the identifier of every missing string reported.
class Warnings : public TTextWarnings {
 public:
  void MissingString(std::uint32_t id) override {
    identifiers.push_back(TTextpoolInterface::IdentifierOf(id));
  }
  std::vector<std::string> identifiers;
};

class TextpoolTest : public ::testing::Test {
 protected:
  TextpoolTest() : textpool_(&project_) { textpool_.SetWarnings(&warnings_); }

  void OpenTextpool(std::vector<TextRow> rows, bool memo = false) {
    textpool_.Close();
    TextpoolTable(std::move(rows), memo).WriteFiles(dir_.win("_TXT.ADB"));
    textpool_.OpenFromDisk(dir_.win());
  }

  // Loads a project whose translation language list is `languages`.
  void LoadProject(const std::string& languages, int course) {
    auto columns = testing::With(testing::StandardProject(),
                                 {"TRANSLATIONLANGUAGES", adb::ftString, 41, languages});
    columns = testing::With(columns, {"COURSELANGUAGE", adb::ftSmallInt, 0, course});
    project_.Close();  // an open table denies writers
    testing::ProjectTable(columns).WriteFiles(dir_.win("_PRJ.ADB"));
    project_.OpenFromDisk(dir_.win());
    project_.Load();
  }

  valise::testing::TempDir dir_;
  TProjectInterface project_;
  Warnings warnings_;
  TTextpoolInterface textpool_;
};

TEST_F(TextpoolTest, PrefersTheFirstLanguageAndFallsBackToTheSecond) {
  OpenTextpool({
      {kCancel, LANG_GERMAN, "Abbrechen"},
      {kCancel, LANG_ENGLISH_US, "Cancel"},
      {kContinue, LANG_ENGLISH_US, "Continue"},
      {textid::MsgInstall, LANG_FRENCH, "Installer"},
  });
  textpool_.LoadAppStrings(LANG_GERMAN, LANG_ENGLISH_US);
  EXPECT_EQ(textpool_.AppString(kCancel), "Abbrechen");
  EXPECT_EQ(textpool_.AppString(kContinue), "Continue");
  EXPECT_EQ(textpool_.Cache().size(), 2u) << "French is neither language";
  EXPECT_TRUE(warnings_.identifiers.empty());

  textpool_.LoadAppStrings(LANG_ENGLISH_US, LANG_GERMAN);
  EXPECT_EQ(textpool_.AppString(kCancel), "Cancel");
  textpool_.LoadAppStrings(LANG_FRENCH, LANG_FRENCH);
  EXPECT_EQ(textpool_.AppString(textid::MsgInstall), "Installer");
  EXPECT_EQ(textpool_.Cached(kCancel), nullptr) << "a load replaces the whole cache";
}

TEST_F(TextpoolTest, EmptyMarkerInTheFirstLanguageHidesTheSecond) {
  for (bool memo : {false, true}) {
    SCOPED_TRACE(memo ? "memo texts" : "string texts");
    warnings_.identifiers.clear();
    OpenTextpool(
        {
            {kCancel, LANG_GERMAN, "«empty»"},
            {kCancel, LANG_ENGLISH_US, "Cancel"},
            {kContinue, LANG_GERMAN, "Weiter"},
            {kContinue, LANG_ENGLISH_US, "«empty»"},
            {textid::MsgInstall, LANG_ENGLISH_US, "«empty»"},
        },
        memo);
    LoadProject("1", LANG_ENGLISH_US);
    textpool_.LoadAppStringsForProject();
    EXPECT_EQ(textpool_.AppString(kContinue), "Weiter");
    EXPECT_EQ(textpool_.AppString(kCancel), "«ButtonCancel|German»");
    EXPECT_EQ(textpool_.AppString(textid::MsgInstall), "«MsgInstall|German»");
    EXPECT_EQ(warnings_.identifiers, (std::vector<std::string>{"ButtonCancel", "MsgInstall"}));
    for (const auto& entry : textpool_.Cache()) EXPECT_NE(entry.second, "«empty»");
  }
}

TEST_F(TextpoolTest, UnknownIdsAlwaysWarnAndGiveTheUnknownMarker) {
  OpenTextpool({{12345, LANG_GERMAN, "Nicht in der Tabelle"}, {kCancel, LANG_GERMAN, "Abbrechen"}});
  LoadProject("1,2", LANG_ENGLISH_US);
  textpool_.LoadAppStringsForProject();
  EXPECT_EQ(textpool_.AppString(12345), "«unknown|German»");
  EXPECT_EQ(textpool_.AppString(12345), "«unknown|German»");
  EXPECT_EQ(warnings_.identifiers, (std::vector<std::string>(2, "«unknown")));

  EXPECT_EQ(TTextpoolInterface::IdentifierOf(kCancel), "ButtonCancel");
  EXPECT_EQ(TTextpoolInterface::IdentifierOf(0), "«unknown");
  EXPECT_EQ(TTextpoolInterface::MarkerText(LANG_ENGLISH_UK, kContinue),
            "«ButtonContinue|British English»");
  EXPECT_EQ(TTextpoolInterface::MarkerText(kNoLanguage, kCancel), "«ButtonCancel|Language 127»");
  EXPECT_EQ(TTextpoolInterface::MarkerText(LANG_NONE, 7), "«unknown|None»");
}

TEST_F(TextpoolTest, WithoutWarningsAMissingStringIsOnlyADebugLine) {
  LoadProject("1", LANG_GERMAN);
  textpool_.LoadAppStrings(LANG_GERMAN, LANG_GERMAN);  // closed table: nothing cached
  EXPECT_TRUE(textpool_.Cache().empty());
  EXPECT_EQ(textpool_.AppString(kCancel), "«ButtonCancel|German»");
  EXPECT_EQ(warnings_.identifiers, std::vector<std::string>{"ButtonCancel"});

  const std::string log = dir_.win("debug.log");
  platform::SetDebugLogFile(log);
  textpool_.SetWarnings(nullptr);
  EXPECT_EQ(textpool_.AppString(kContinue), "«ButtonContinue|German»") << "markers still come";
  EXPECT_EQ(textpool_.AppString(99), "«unknown|German»");
  platform::SetDebugLogFile("");
  EXPECT_EQ(warnings_.identifiers.size(), 1u);
  EXPECT_EQ(valise::testing::WithoutTimeStamps(platform::ReadWholeFile(log)),
            "Application string missing (ButtonContinue)!\r\n"
            "Application string missing («unknown)!\r\n");
}

TEST_F(TextpoolTest, ClosingWithAttachedComponentsFailsAndKeepsTheTableOpen) {
  OpenTextpool({{kCancel, LANG_GERMAN, "Abbrechen"}});
  struct Client : TTextpoolClient {
    int loads = 0;
    void TextpoolChanged() override { ++loads; }
  } first, second;
  textpool_.Attach(&first);
  textpool_.Attach(&second);
  textpool_.Attach(&second);
  EXPECT_THROW_MSG(textpool_.Close(), Error, "TTextpoolInterface  has 2 attached component(s)");
  EXPECT_TRUE(textpool_.Active());
  textpool_.LoadAppStrings(LANG_GERMAN, LANG_NONE);
  EXPECT_EQ(first.loads, 1);
  EXPECT_EQ(second.loads, 1);
  textpool_.Detach(&first);
  textpool_.Detach(&second);
  textpool_.Close();
  EXPECT_FALSE(textpool_.Active());
  EXPECT_EQ(textpool_.AppString(kCancel), "Abbrechen") << "the cache outlives the table";
  textpool_.LoadAppStrings(LANG_GERMAN, LANG_NONE);
  EXPECT_TRUE(textpool_.Cache().empty());
}

TEST_F(TextpoolTest, TextsAreReadInTheCodePageOfTheirLanguage) {
  OpenTextpool({
      {kCancel, LANG_RUSSIAN, "Отмена"},
      {kContinue, LANG_POLISH, "Dalej, proszę"},
      {textid::MsgInstall, LANG_GREEK, "Εγκατάσταση"},
      {textid::LabelDirectory, LANG_TURKISH, "Klasör ğ"},
      {textid::SSetupCompleted, LANG_GERMAN, "Fertig – größer"},
  });
  textpool_.LoadAppStrings(LANG_RUSSIAN, LANG_POLISH);
  EXPECT_EQ(textpool_.AppString(kCancel), "Отмена");
  EXPECT_EQ(textpool_.AppString(kContinue), "Dalej, proszę");
  textpool_.LoadAppStrings(LANG_GREEK, LANG_TURKISH);
  EXPECT_EQ(textpool_.AppString(textid::MsgInstall), "Εγκατάσταση");
  EXPECT_EQ(textpool_.AppString(textid::LabelDirectory), "Klasör ğ");
  textpool_.LoadAppStrings(LANG_GERMAN, LANG_NONE);
  EXPECT_EQ(textpool_.AppString(textid::SSetupCompleted), "Fertig – größer");
  EXPECT_TRUE(warnings_.identifiers.empty());
}

TEST_F(TextpoolTest, ATextpoolWithoutTextFieldFailsTheLoad) {
  adb::TableBuilder builder;
  builder.AddField("ID", adb::ftInteger).AddField("LANGUAGE", adb::ftSmallInt);
  builder.AddField("STRING", adb::ftString, 40).SetKeyFieldCount(2);
  builder.AddRecord({static_cast<int>(kCancel), 1, "Abbrechen"});
  builder.WriteFiles(dir_.win("_TXT.ADB"));
  textpool_.OpenFromDisk(dir_.win());
  EXPECT_THROW_MSG(textpool_.LoadAppStrings(LANG_GERMAN, LANG_NONE), Error,
                   "TATable: Feld TEXT existiert nicht");
}

}  // namespace
}  // namespace valise::course
