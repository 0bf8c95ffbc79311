// The option-list and course-structure readers.
#include <gtest/gtest.h>

#include "course/course_structure.h"
#include "course/options.h"
#include "platform/errors.h"
#include "test_support.h"

namespace valise::course {
namespace {

TEST(OptionList, ReadsEntriesSeparatedByBlanksTagEndsAndLineBreaks) {
  TOptionList options;
  options.Parse("a=\"1\" b=\"2\"");
  ASSERT_EQ(options.Count(), 2u);
  EXPECT_EQ(options[0].name, "a");
  EXPECT_EQ(options[0].value, "1");
  EXPECT_EQ(options[1].name, "b");
  EXPECT_EQ(options[1].value, "2");

  TOptionList lines;
  lines.Parse("Font=\"Arial\"\r\nSize=\"12\"\r\nEmpty=\"\"\r\n");
  ASSERT_EQ(lines.Count(), 3u);
  EXPECT_EQ(lines.Value("size"), "12");
  EXPECT_TRUE(lines.Has("EMPTY"));
  EXPECT_EQ(lines.Value("Empty"), "");
  EXPECT_EQ(lines.Value("missing"), "");

  // Values may hold blanks, equals signs and tag characters; a tag end after the last entry,
  // extra blanks between entries and trailing blanks are no entries of their own.
  TOptionList tag;
  tag.Parse("ID=\"7\"   title=\"x = <y>\" />  ");
  ASSERT_EQ(tag.Count(), 2u);
  EXPECT_EQ(tag.Value("title"), "x = <y>");
  TOptionList closed;
  closed.Parse("ID=\"7\">");
  EXPECT_EQ(closed.Count(), 1u);

  TOptionList empty;
  empty.Parse("");
  EXPECT_TRUE(empty.Empty());
}

TEST(OptionList, RefusesEntriesWithoutEqualsSignOrQuotes) {
  TOptionList options;
  EXPECT_THROW_MSG(options.Parse("a=\"1\" b=\"2"), Error, "\"\"\" expected!");
  EXPECT_EQ(options.Count(), 1u) << "the complete first entry was read";
  EXPECT_THROW_MSG(TOptionList().Parse("a=1"), Error, "\"\"\" expected!");
  EXPECT_THROW_MSG(TOptionList().Parse("a="), Error, "\"\"\" expected!");
  EXPECT_THROW_MSG(TOptionList().Parse("name"), Error, "\"=\" expected!");
  EXPECT_THROW_MSG(TOptionList().Parse("a=\"1\" rest"), Error, "\"=\" expected!");
}

TEST(OptionList, FindsAndRemovesNamesRegardlessOfCase) {
  TOptionList options;
  options.Parse("Dialog=\"1\" x=\"2\" DIALOG=\"3\"");
  EXPECT_EQ(options.IndexOfName("dialog"), 0);
  EXPECT_EQ(options.Value("DiAlOg"), "1");
  options.Remove("dialog");
  ASSERT_EQ(options.Count(), 1u);
  EXPECT_EQ(options[0].name, "x");
}

TEST(CourseTagDocument, BuildsUnitsNestedByOpenAndCloseTags) {
  TCourseStructure course;
  course.LoadFromText(
      "<?xml version=\"1.0\"?>\r\n"
      "<structure name=\"Demo\" level=\"2\">\r\n"
      "<course>\r\n"
      "<station ID=\"10\" title=\"Airport\">\r\n"
      "<scene ID=\"11\"/>\r\n"
      "<Exercise ID=\"12\" type=\"gap\" />\r\n"
      "</station>\r\n"
      "<test ID=\"20\"/>\r\n"
      "</course>\r\n"
      "<extra ID=\"30\"/>\r\n"
      "</structure>\r\n");
  EXPECT_EQ(course.options.Value("name"), "Demo");
  EXPECT_EQ(course.options.Value("level"), "2");
  ASSERT_EQ(course.units.size(), 2u);
  const TUnit& top = *course.units[0];
  EXPECT_EQ(top.Kind(), "course");
  EXPECT_EQ(top.Id(), "0") << "a course tag without an ID gets 0";
  EXPECT_EQ(top.Parent(), nullptr);
  ASSERT_EQ(top.children.size(), 2u);
  const TUnit& station = *top.children[0];
  EXPECT_EQ(station.Kind(), "folder");
  EXPECT_EQ(station.options.Value("title"), "Airport");
  EXPECT_EQ(station.Parent(), &top);
  ASSERT_EQ(station.children.size(), 2u);
  EXPECT_EQ(station.children[0]->Kind(), "folder");
  EXPECT_TRUE(station.children[0]->children.empty()) << "a self-closing tag opens nothing";
  EXPECT_EQ(station.children[1]->Kind(), "exercise") << "tag names are lower-cased";
  EXPECT_EQ(station.children[1]->options.Value("type"), "gap");
  EXPECT_EQ(top.children[1]->Id(), "20");
  EXPECT_EQ(course.units[1]->Id(), "30");
  EXPECT_EQ(course.UnitCount(), 6u);
}

TEST(CourseTagDocument, RefusesBadLinesAndUnitsWithoutId) {
  TCourseStructure course;
  EXPECT_THROW_MSG(course.LoadFromText("<?xml?>\n<s>\n<unit ID=\"\"/>\n"), Error,
                   "ID property must not be empty (<unit ID=\"\"/>)! (TUnitList.LoadFromStream)");
  EXPECT_THROW_MSG(course.LoadFromText("<?xml?>\n<s>\n<scene title=\"x\">\n"), Error,
                   "ID property must not be empty (<scene title=\"x\">)! "
                   "(TUnitList.LoadFromStream)");
  EXPECT_THROW_MSG(course.LoadFromText("<?xml?>\n<s>\n  <unit ID=\"1\"/>\n"), Error,
                   "\"<\" expected!");
  EXPECT_THROW_MSG(course.LoadFromText("<?xml?>\n<s>\n<unit ID=\"1\" x=1/>\n"), Error,
                   "\"\"\" expected!");
  EXPECT_TRUE(course.Empty()) << "a refused document leaves nothing behind";

  course.LoadFromText("<?xml version=\"1.0\"?>\r\n");
  EXPECT_TRUE(course.Empty());
  course.LoadFromText("<?xml version=\"1.0\"?>\n<structure/>\n</structure>\n</x>\n");
  EXPECT_TRUE(course.Empty()) << "closing tags without an open unit are harmless";
}

TEST(CourseLineFormat, NestsScenesInStationsAndExercisesInScenes) {
  TCourseStructure course;
  course.LoadFromText(
      "<STATION ID=\"1\" NAME=\"Hotel\">\r\n"
      "<SCENE ID=\"2\" DIALOG=\"77\">\r\n"
      "<EXERCISE ID=\"3\">\r\n"
      "<EXERCISE>\r\n"
      "<SCENE ID=\"4\" DIALOG=\"0\">\r\n"
      "<STATION ID=\"5\">\r\n"
      "<SCENE ID=\"6\" DIALOG=\"\">\r\n");
  ASSERT_EQ(course.units.size(), 2u);
  const TUnit& hotel = *course.units[0];
  EXPECT_EQ(hotel.Kind(), "STATION");
  EXPECT_EQ(hotel.options.Value("NAME"), "Hotel");
  ASSERT_EQ(hotel.children.size(), 2u);
  const TUnit& scene = *hotel.children[0];
  EXPECT_EQ(scene.Kind(), "SCENE");
  EXPECT_FALSE(scene.options.Has("DIALOG"));
  ASSERT_EQ(scene.children.size(), 3u);
  EXPECT_EQ(scene.children[0]->Kind(), "DIALOG");
  EXPECT_EQ(scene.children[0]->Id(), "77");
  EXPECT_EQ(scene.children[0]->options.Count(), 1u);
  EXPECT_EQ(scene.children[1]->Kind(), "EXERCISE");
  EXPECT_EQ(scene.children[1]->Id(), "3");
  EXPECT_TRUE(scene.children[2]->options.Empty());
  const TUnit& noDialog = *hotel.children[1];
  EXPECT_TRUE(noDialog.children.empty()) << "DIALOG=\"0\" names no dialog";
  EXPECT_FALSE(noDialog.options.Has("DIALOG"));
  const TUnit& second = *course.units[1];
  ASSERT_EQ(second.children.size(), 1u);
  EXPECT_TRUE(second.children[0]->children.empty());
  EXPECT_FALSE(second.children[0]->options.Has("DIALOG"));
  EXPECT_EQ(course.UnitCount(), 8u);

  course.LoadFromText("");
  EXPECT_TRUE(course.Empty());
}

TEST(CourseLineFormat, RefusesUnknownTagsAndUnitsWithoutParent) {
  TCourseStructure course;
  EXPECT_THROW_MSG(course.LoadFromText("STATION ID=\"1\""), Error, "\"<\" expected!");
  EXPECT_THROW_MSG(course.LoadFromText("<station ID=\"1\">"), Error, "Tag identifier expected!");
  EXPECT_THROW_MSG(course.LoadFromText("<STATION ID=\"1\">\n<FOLDER ID=\"2\">"), Error,
                   "Tag identifier expected!");
  EXPECT_THROW_MSG(course.LoadFromText("<SCENE ID=\"2\">"), Error,
                   "SCENE without a STATION before it!");
  EXPECT_THROW_MSG(course.LoadFromText("<STATION ID=\"1\">\n<EXERCISE ID=\"2\">"), Error,
                   "EXERCISE without a SCENE before it!");
  EXPECT_THROW_MSG(course.LoadFromText("<STATION ID=\"1\">\n\n<STATION ID=\"2\">"), Error,
                   "\"<\" expected!");
  EXPECT_THROW_MSG(course.LoadFromText("<STATION ID=1>"), Error, "\"\"\" expected!");
  EXPECT_TRUE(course.Empty());
  course.LoadFromText("<STATION>");
  EXPECT_EQ(course.units.size(), 1u);
  EXPECT_TRUE(course.units[0]->options.Empty());
}

}  // namespace
}  // namespace valise::course
