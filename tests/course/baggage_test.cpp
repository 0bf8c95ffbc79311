// A product's two tables packed into a baggage: the process-wide project and text pool open
// them out of the current baggage, as the setup does for each application with a baggage.
#include <gtest/gtest.h>

#include "baggage/bag_writer.h"
#include "baggage/baggage.h"
#include "course/app_strings.h"
#include "course/project.h"
#include "course/textpool.h"
#include "course_fixtures.h"
#include "platform/errors.h"
#include "test_support.h"

namespace valise::course {
namespace {

using testing::Column;
using testing::TextRow;

// The eleven window texts in German and English, in the order of kWindowTextIds.
const char* const kGerman[] = {
    "Abbrechen",
    "Weiter",
    "Information",
    "Warnung",
    "Wirklich abbrechen?",
    "%s installieren",
    "Zielordner:",
    "Nein",
    "Auf Laufwerk %s: ist nicht genug Platz.",
    "Installation beendet.",
    "Ja",
};
const char* const kEnglish[] = {
    "Cancel",
    "Continue",
    "Information",
    "Warning",
    "Really cancel?",
    "Install %s",
    "Target folder:",
    "No",
    "Not enough space on drive %s:.",
    "Setup completed.",
    "Yes",
};

class BaggageTest : public ::testing::Test {
 protected:
  // Records the identifier of every missing string the process-wide text pool reports.
  struct Warnings : TTextWarnings {
    void MissingString(std::uint32_t id) override {
      identifiers.push_back(TTextpoolInterface::IdentifierOf(id));
    }
    std::vector<std::string> identifiers;
  };

  void SetUp() override { Textpool().SetWarnings(&warnings_); }
  void TearDown() override {
    Project().Close();
    Project().Unload();
    Textpool().Close();
    Textpool().LoadAppStrings(LANG_NONE, LANG_NONE);
    BagDone();
    Textpool().SetWarnings(nullptr);
  }

  // Packs the tables (and a payload file) into a baggage document and makes it current.
  void SelectBaggage(const std::string& name, bool withProject, bool withTextpool) {
    BagWriter writer;
    writer.AddData("README.TXT", "payload");
    if (withProject) {
      std::vector<Column> columns = testing::StandardProject();
      columns = testing::With(columns, {"TITLE", adb::ftString, 81, "Englisch für Reisende"});
      auto project = testing::ProjectTable(columns);
      writer.AddData("_PRJ.ADB", project.TableBytes());
      writer.AddData("_PRJ.AMB", project.MemoBytes());
    }
    if (withTextpool) {
      std::vector<TextRow> rows;
      for (std::size_t i = 0; i < kWindowTextIds.size(); ++i) {
        rows.emplace_back(kWindowTextIds[i], LANG_GERMAN, kGerman[i]);
        rows.emplace_back(kWindowTextIds[i], LANG_ENGLISH_UK, kEnglish[i]);
      }
      // Strings the setup does not ask for, and other languages, around them.
      for (const TAppString& row : AppStrings()) rows.emplace_back(row.id, LANG_FRENCH, "fr");
      rows.emplace_back(1, LANG_GERMAN, "vorne");
      rows.emplace_back(999999, LANG_GERMAN, "hinten");
      auto textpool = testing::TextpoolTable(rows);
      writer.AddData("_TXT.ADB", textpool.TableBytes());
    }
    std::string path = dir_.win(name);
    writer.WriteStandalone(path);
    std::vector<std::string> params{dir_.win("SETUP.EXE"), "/bag=" + path};
    BagInit(params);
  }

  valise::testing::TempDir dir_;
  Warnings warnings_;
};

TEST_F(BaggageTest, TheProductsIdentityAndWindowTextsComeOutOfItsBaggage) {
  SelectBaggage("PRODUCT.KQD", true, true);
  // The order of calls of an application that opens its baggage.
  Project().Close();
  Project().Open(false);
  Project().Load(false);
  EXPECT_EQ(Project().TranslationLanguage(), LANG_GERMAN);
  EXPECT_EQ(Project().Title(), "Englisch für Reisende");
  EXPECT_EQ(Project().ProductCode(), "RSE");
  EXPECT_EQ(Project().Release(), 3);
  EXPECT_EQ(Project().ProjectId(), 4711);
  EXPECT_EQ(Project().CourseLanguage(), LANG_ENGLISH_UK);

  Textpool().Close();
  Textpool().Open(false);
  Textpool().LoadAppStringsForProject();
  for (std::size_t i = 0; i < kWindowTextIds.size(); ++i) {
    EXPECT_EQ(Textpool().AppString(kWindowTextIds[i]), kGerman[i]) << kWindowTextIds[i];
  }
  // The second language of the product.
  Textpool().LoadAppStrings(LANG_ENGLISH_UK, LANG_GERMAN);
  for (std::size_t i = 0; i < kWindowTextIds.size(); ++i) {
    EXPECT_EQ(Textpool().AppString(kWindowTextIds[i]), kEnglish[i]) << kWindowTextIds[i];
  }
  // A language the product lacks for some strings falls back per string.
  Textpool().LoadAppStrings(LANG_FRENCH, LANG_ENGLISH_UK);
  EXPECT_EQ(Textpool().AppString(textid::ButtonCancel), "fr");
  EXPECT_EQ(Textpool().Cache().size(), AppStrings().size());
  EXPECT_TRUE(warnings_.identifiers.empty());
}

TEST_F(BaggageTest, ThePresenceFlagSkipsTablesTheBaggageLacks) {
  SelectBaggage("EMPTY.KQD", false, false);
  Project().Open(true);
  EXPECT_FALSE(Project().Active());
  Textpool().Open(true);
  EXPECT_FALSE(Textpool().Active());
  EXPECT_THROW(Project().Open(false), Error);
  EXPECT_FALSE(Project().Active());
  EXPECT_THROW(Textpool().Open(false), Error);

  // Reopening for the next product replaces what the previous one opened.
  SelectBaggage("PRODUCT.KQD", true, true);
  Project().Open(true);
  Project().Load();
  Textpool().Open(true);
  Textpool().LoadAppStringsForProject();
  EXPECT_EQ(Textpool().AppString(textid::ButtonContinue), "Weiter");

  SelectBaggage("NOTEXTS.KQD", true, false);
  Project().Close();
  Project().Open();
  Project().Load();
  Textpool().Close();
  Textpool().Open(true);
  Textpool().LoadAppStringsForProject();
  EXPECT_EQ(Textpool().AppString(textid::ButtonContinue), "«ButtonContinue|German»");
  EXPECT_EQ(warnings_.identifiers, std::vector<std::string>{"ButtonContinue"});
}

}  // namespace
}  // namespace valise::course
