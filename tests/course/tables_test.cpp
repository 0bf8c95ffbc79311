// The application-string table and the language table.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "course/app_strings.h"
#include "course/languages.h"

namespace valise::course {
namespace {

TEST(AppStrings, RowsAscendUniquelyAndKeepTheSetupsFixedIds) {
  auto rows = AppStrings();
  ASSERT_EQ(rows.size(), 265u);
  std::set<std::string> names;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (i > 0) {
      EXPECT_LT(rows[i - 1].id, rows[i].id) << rows[i].identifier;
    }
    EXPECT_TRUE(names.insert(rows[i].identifier).second) << rows[i].identifier;
  }
  EXPECT_STREQ(rows.front().identifier, "MsgVersionNotice");
  EXPECT_STREQ(rows.back().identifier, "HiColorMsg");

  const std::pair<std::uint32_t, const char*> fixed[] = {
      {277037, "MsgMultipleInstance"}, {277040, "MsgInstall"},
      {295279, "ButtonCancel"},        {295280, "ButtonContinue"},
      {388520, "SYesButtonCaption"},   {388521, "SNoButtonCaption"},
      {388811, "LabelDirectory"},      {388815, "MsgCaptionInformation"},
      {388816, "MsgCaptionError"},     {388817, "MsgCaptionConfirmation"},
      {388818, "MsgCaptionWarning"},   {389536, "SConfirmCancel"},
      {389537, "SOutOfDiskSpace"},     {389553, "SSetupCompleted"},
      {389555, "SLanguage"},           {389557, "MenuEmpty"},
  };
  for (const auto& [id, name] : fixed) {
    const TAppString* row = FindAppString(id);
    ASSERT_NE(row, nullptr) << name;
    EXPECT_STREQ(row->identifier, name);
  }
  for (std::uint32_t id : kWindowTextIds) EXPECT_NE(FindAppString(id), nullptr) << id;

  // Neighbours in the listed order sit between the fixed IDs.
  EXPECT_STREQ(rows[3].identifier, "MsgCouldNotLaunch");
  EXPECT_GT(rows[3].id, 277037u);
  EXPECT_LT(rows[3].id, 277040u);
  EXPECT_EQ(FindAppString(0), nullptr);
  EXPECT_EQ(FindAppString(389556), nullptr);
  EXPECT_EQ(FindAppString(0xFFFFFFFFu), nullptr);
}

TEST(Languages, NamesAndCodePages) {
  EXPECT_EQ(LanguageName(LANG_NONE), "None");
  EXPECT_EQ(LanguageName(LANG_GERMAN), "German");
  EXPECT_EQ(LanguageName(LANG_ENGLISH_US), "US English");
  EXPECT_EQ(LanguageName(LANG_ENGLISH_UK), "British English");
  EXPECT_EQ(LanguageName(LANG_FINISH), "Finnish");
  EXPECT_EQ(LanguageName(18), "Language 18");
  EXPECT_EQ(LanguageName(kNoLanguage), "Language 127");
  EXPECT_EQ(LanguageName(-1), "Language -1");

  EXPECT_EQ(LanguageCodePage(LANG_POLISH), 1250u);
  EXPECT_EQ(LanguageCodePage(LANG_CZECH), 1250u);
  EXPECT_EQ(LanguageCodePage(LANG_RUSSIAN), 1251u);
  EXPECT_EQ(LanguageCodePage(LANG_GREEK), 1253u);
  EXPECT_EQ(LanguageCodePage(LANG_TURKISH), 1254u);
  EXPECT_EQ(LanguageCodePage(LANG_JAPANESE), 932u);
  EXPECT_EQ(LanguageCodePage(LANG_GERMAN), 1252u);
  EXPECT_EQ(LanguageCodePage(kNoLanguage), 1252u);

  EXPECT_EQ(LanguageText("Gr\xFC\xDF"
                         "e",
                         LANG_GERMAN),
            "Grüße");
  EXPECT_EQ(LanguageText("\xCF\xF0\xE8\xE2\xE5\xF2", LANG_RUSSIAN), "Привет");
  EXPECT_EQ(LanguageText("\xB3\xF3\xBF", LANG_POLISH), "łóż");
}

}  // namespace
}  // namespace valise::course
