// The project table: required and optional fields, the translation language and the load and
// unload cycle.
#include <gtest/gtest.h>

#include "course/project.h"
#include "course_fixtures.h"
#include "platform/errors.h"
#include "test_support.h"

namespace valise::course {
namespace {

using testing::Column;
using testing::ProjectTable;
using testing::StandardProject;
using testing::With;
using testing::Without;

class ProjectTest : public ::testing::Test {
 protected:
  // Writes the project table into the temporary folder and opens it from there.
  void OpenProject(const std::vector<Column>& columns, unsigned codePage = 1252) {
    project_.Close();
    ProjectTable(columns, codePage).WriteFiles(dir_.win("_PRJ.ADB"));
    project_.OpenFromDisk(dir_.win());
  }

  valise::testing::TempDir dir_;
  TProjectInterface project_;
};

TEST_F(ProjectTest, LoadsTheIdentityOfTheFirstRecord) {
  OpenProject(StandardProject());
  project_.Load();
  EXPECT_EQ(project_.ProjectId(), 4711);
  EXPECT_EQ(project_.Title(), "Reisesprache Englisch");
  EXPECT_EQ(project_.ProductCode(), "RSE");
  EXPECT_EQ(project_.Release(), 3);
  EXPECT_EQ(project_.CourseLanguage(), LANG_ENGLISH_UK);
  EXPECT_EQ(project_.TranslationLanguage(), LANG_GERMAN);
  const TProjectRecord& record = *project_.Project();
  EXPECT_EQ(record.ancestorId, 4700);
  EXPECT_EQ(record.version, "2.1");
  EXPECT_EQ(record.copyright, "(c) Demo Verlag");
  EXPECT_EQ(record.videoStill, "still.png");
  EXPECT_EQ(record.introId, "intro");
  EXPECT_EQ(record.extroId, "extro");
  EXPECT_EQ(record.mapImage, "map.png");
  EXPECT_EQ(record.options.Value("Size"), "12");
  EXPECT_EQ(record.course.options.Value("name"), "Demo");
  EXPECT_EQ(record.course.UnitCount(), 2u);
}

TEST_F(ProjectTest, OptionalFieldsDefaultAndRequiredOnesFailTheLoad) {
  std::vector<Column> lean = StandardProject();
  for (const char* name : {"RELEASE", "VERSION", "COPYRIGHT", "ANCESTORID"}) {
    lean = Without(lean, name);
  }
  OpenProject(lean);
  project_.Load();
  EXPECT_EQ(project_.ProjectId(), 4711);
  EXPECT_EQ(project_.Release(), 0);
  EXPECT_EQ(project_.Project()->version, "");
  EXPECT_EQ(project_.Project()->copyright, "");
  EXPECT_EQ(project_.Project()->ancestorId, 0);

  for (const char* name : {"ID", "TITLE", "PRODUCTCODE", "COURSELANGUAGE", "VIDEOSTILL", "INTROID",
                           "EXTROID", "MAPIMAGE", "COURSE", "OPTIONS"}) {
    SCOPED_TRACE(name);
    OpenProject(StandardProject());
    project_.Load();
    ASSERT_EQ(project_.ProjectId(), 4711);
    OpenProject(Without(StandardProject(), name));
    EXPECT_THROW_MSG(project_.Load(), Error,
                     std::string("TATable: Feld ") + name + " existiert nicht");
    EXPECT_EQ(project_.Project(), nullptr) << "the old record is gone, no new one came";
    EXPECT_EQ(project_.ProjectId(), 0);
    EXPECT_EQ(project_.Title(), "");
  }
}

TEST_F(ProjectTest, TranslationLanguageComesFromTheListOrTheSingleField) {
  auto translation = [&](const std::vector<Column>& columns) {
    OpenProject(columns);
    project_.Load();
    return static_cast<int>(project_.TranslationLanguage());
  };
  std::vector<Column> single = With(Without(StandardProject(), "TRANSLATIONLANGUAGES"),
                                    {"TRANSLATIONLANGUAGE", adb::ftSmallInt, 0, 1});
  EXPECT_EQ(translation(single), 1);
  EXPECT_EQ(project_.Project()->translationLanguages, "1");
  EXPECT_EQ(
      translation(With(StandardProject(), {"TRANSLATIONLANGUAGES", adb::ftString, 41, "5,1"})), 5);
  EXPECT_EQ(translation(With(StandardProject(), {"TRANSLATIONLANGUAGES", adb::ftString, 41, ""})),
            127);
  EXPECT_EQ(translation(
                With(StandardProject(), {"TRANSLATIONLANGUAGES", adb::ftString, 41, " \"11\" 1"})),
            11);
  // The list wins over the single field when both are there.
  EXPECT_EQ(translation(With(single, {"TRANSLATIONLANGUAGES", adb::ftString, 41, "9"})), 9);

  EXPECT_THROW_MSG(
      translation(With(StandardProject(), {"TRANSLATIONLANGUAGES", adb::ftString, 41, "de,1"})),
      Error, "'de' is not a valid integer value");
  EXPECT_THROW_MSG(
      translation(With(StandardProject(), {"TRANSLATIONLANGUAGES", adb::ftString, 41, ",1"})),
      Error, "'' is not a valid integer value");
  OpenProject(Without(StandardProject(), "TRANSLATIONLANGUAGES"));
  EXPECT_THROW_MSG(project_.Load(), Error, "TATable: Feld TRANSLATIONLANGUAGE existiert nicht");

  EXPECT_EQ(FirstTranslationLanguage("$0E"), LANG_TURKISH);
  EXPECT_EQ(FirstTranslationLanguage("  \t "), kNoLanguage);
  EXPECT_THROW_MSG(FirstTranslationLanguage("99999999999"), Error,
                   "'99999999999' is not a valid integer value");
}

TEST_F(ProjectTest, TextsAreReadInTheTranslationLanguagesCodePage) {
  std::vector<Column> russian = StandardProject();
  russian = With(russian, {"TRANSLATIONLANGUAGES", adb::ftString, 41, "11"});
  russian = With(russian, {"TITLE", adb::ftString, 81, "Английский язык"});
  OpenProject(russian, 1251);
  project_.Load();
  EXPECT_EQ(project_.Title(), "Английский язык");

  std::vector<Column> polish = StandardProject();
  polish = With(polish, {"TRANSLATIONLANGUAGES", adb::ftString, 41, "9,1"});
  polish = With(polish, {"TITLE", adb::ftString, 81, "Język angielski"});
  OpenProject(polish, 1250);
  project_.Load();
  EXPECT_EQ(project_.Title(), "Język angielski");
}

TEST_F(ProjectTest, BadOptionsCourseOrFieldTypesFailTheLoad) {
  OpenProject(With(StandardProject(), {"OPTIONS", adb::ftMemo, 0, "a=\"1\" b=\"2"}));
  EXPECT_THROW_MSG(project_.Load(), Error, "\"\"\" expected!");
  OpenProject(With(StandardProject(), {"COURSE", adb::ftMemo, 0, "<LESSON ID=\"1\">"}));
  EXPECT_THROW_MSG(project_.Load(), Error, "Tag identifier expected!");
  OpenProject(With(StandardProject(), {"COURSE", adb::ftString, 41, "<STATION>"}));
  EXPECT_THROW_MSG(project_.Load(), Error, "TAField COURSE: nicht nach BlobStream konvertierbar");
  OpenProject(With(StandardProject(), {"ID", adb::ftBoolean, 0, true}));
  EXPECT_THROW_MSG(project_.Load(), Error, "TAField ID: nicht nach Integer konvertierbar");
  EXPECT_EQ(project_.Project(), nullptr);

  // An empty course memo and an empty option text are allowed.
  OpenProject(With(With(StandardProject(), {"COURSE", adb::ftMemo, 0, adb::FieldValue()}),
                   {"OPTIONS", adb::ftString, 41, ""}));
  project_.Load();
  EXPECT_TRUE(project_.Project()->course.Empty());
  EXPECT_TRUE(project_.Project()->options.Empty());
}

TEST_F(ProjectTest, NothingLoadedBeforeALoadAndAfterAnUnload) {
  struct Listener : TProjectListener {
    std::vector<std::int32_t> ids;
    void ProjectChanged(std::int32_t id) override { ids.push_back(id); }
  } listener;
  project_.Attach(&listener);

  EXPECT_EQ(project_.Title(), "");
  EXPECT_EQ(project_.ProductCode(), "");
  EXPECT_EQ(project_.Release(), 0);
  EXPECT_EQ(project_.ProjectId(), 0);
  EXPECT_EQ(project_.CourseLanguage(), LANG_NONE);
  EXPECT_EQ(project_.TranslationLanguage(), kNoLanguage);
  project_.Load(true);
  EXPECT_EQ(project_.Project(), nullptr) << "a closed table loads nothing";

  OpenProject(StandardProject());
  project_.Load(false);
  project_.Load(true);
  project_.Close();
  EXPECT_EQ(project_.ProjectId(), 4711) << "closing keeps the record";
  project_.Load(true);
  EXPECT_EQ(project_.ProjectId(), 4711);
  project_.Unload(true);
  EXPECT_EQ(project_.Project(), nullptr);
  project_.Unload(true);
  EXPECT_EQ(listener.ids, (std::vector<std::int32_t>{4711, 0}));

  // A project whose ID is 0 stays loaded through an unload.
  OpenProject(With(StandardProject(), {"ID", adb::ftInteger, 0, 0}));
  project_.Load();
  project_.Unload(true);
  EXPECT_NE(project_.Project(), nullptr);
  project_.Detach(&listener);
  EXPECT_EQ(project_.AttachedCount(), 0u);
}

}  // namespace
}  // namespace valise::course
