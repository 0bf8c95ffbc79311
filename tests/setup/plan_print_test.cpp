// The plan's switches and its JSON strings.
#include <gtest/gtest.h>

#include "setup/command_line.h"
#include "setup/plan_print.h"

namespace valise::setup {
namespace {

TEST(SetupPlanSwitches, PlanHelpAndUnknownSwitches) {
  const TCommandLine line = ParseCommandLine(
      "C:\\Dist\\SETUP.EXE", {"/PLAN=C:\\out\\plan.json", "/plan=other.txt", "-?", "/planned"});
  EXPECT_TRUE(line.Plan);
  // A plan is the silent run's.
  EXPECT_TRUE(line.Silent);
  EXPECT_EQ(line.PlanFile, "C:\\out\\plan.json");
  EXPECT_TRUE(line.Help);
  EXPECT_EQ(line.UnknownSwitches, (std::vector<std::string>{"/planned"}));

  const TCommandLine plain = ParseCommandLine("C:\\Dist\\SETUP.EXE", {"/Plan", "/HELP"});
  EXPECT_TRUE(plain.Plan);
  EXPECT_EQ(plain.PlanFile, "");
  EXPECT_TRUE(plain.Help);
  EXPECT_FALSE(ParseCommandLine("C:\\Dist\\SETUP.EXE", {"/silent"}).Plan);
}

TEST(SetupPlanJson, StringsAreEscapedAndAlwaysValidUtf8) {
  EXPECT_EQ(JsonString(""), "\"\"");
  EXPECT_EQ(JsonString("C:\\Programme\\\"Grüße\""), "\"C:\\\\Programme\\\\\\\"Grüße\\\"\"");
  EXPECT_EQ(JsonString(std::string("a\nb\r\t\b\f\x01\x1f\x7f", 10)),
            "\"a\\nb\\r\\t\\b\\f\\u0001\\u001f\\u007f\"");
  EXPECT_EQ(JsonString(std::string("x\0y", 3)), "\"x\\u0000y\"");
  // Four-byte sequences pass; stray, cut and overlong bytes and surrogates become U+FFFD.
  EXPECT_EQ(JsonString("\xF0\x9F\x98\x80 /"), "\"\xF0\x9F\x98\x80 /\"");
  EXPECT_EQ(JsonString("\xFF"
                       "a\xC3"),
            "\"\xEF\xBF\xBD"
            "a\xEF\xBF\xBD\"");
  EXPECT_EQ(JsonString("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

}  // namespace
}  // namespace valise::setup
