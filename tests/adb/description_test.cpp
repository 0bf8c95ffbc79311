#include <gtest/gtest.h>

#include "adb/description.h"
#include "adb_test_support.h"
#include "test_support.h"

namespace valise::adb {
namespace {

using testing::MemoryTable;

constexpr char kDescription[] = R"(# a text pool
table codepage=1252 key=2
field ID integer
field LANG smallint
field TEXT string 41
field NOTE memo
field "ODD NAME" word at=60
field F float
field D date
field T time
field S datetime
field B boolean
field C currency
record 1 1 "Abbrechen" "line one\nline \"two\"" 65535 2.5 2024-01-31 12:30:00 2024-01-31T06:00:00 true raw"0100000000000000"
record 1 2 "Größe" x"00ff" - -1e-3 -3 43200000 36526.75 false
record 2 1 x"c0c1" -
record 2 1
)";

std::string DescribeBuilt(const TableBuilder& builder, unsigned codePage = 1252) {
  MemoryTable table;
  table.Put("C:\\T.ADB", builder);
  table.SetTableName("C:\\T");
  table.Open();
  return DescribeTable(table, codePage);
}

TEST(Description, BuildsFieldsAndRecords) {
  const TableBuilder builder = ParseDescription(kDescription);
  MemoryTable table;
  table.Put("C:\\T.ADB", builder);
  table.SetTableName("C:\\T");
  table.Open();
  EXPECT_EQ(table.KeyFieldCount(), 2);
  EXPECT_EQ(table.RecordCount(), 4);
  EXPECT_EQ(table.Descriptors()[4].offset, 60);
  EXPECT_EQ(table.FieldByName("TEXT").AsString(), "Abbrechen");
  EXPECT_EQ(table.FieldByName("NOTE").AsString(), "line one\nline \"two\"");
  EXPECT_EQ(table.FieldByName("ODD NAME").AsInteger(), 65535);
  EXPECT_DOUBLE_EQ(table.FieldByName("F").AsFloat(), 2.5);
  EXPECT_EQ(table.FieldByName("D").AsString(), "2024-01-31");
  EXPECT_DOUBLE_EQ(table.FieldByName("T").AsDateTime(), 0.5 + 1.0 / 48);
  EXPECT_EQ(table.FieldByName("S").AsString(), "2024-01-31 06:00:00");
  EXPECT_TRUE(table.FieldByName("B").AsBoolean());
  table.GotoRecord(1);
  EXPECT_EQ(table.FieldByName("TEXT").AsString(),
            "Gr\xf6\xdf"
            "e");
  EXPECT_EQ(table.FieldByName("TEXT").AsUtf8(1252), "Größe");
  EXPECT_EQ(table.FieldByName("NOTE").AsBlobStream().Size(), 2);
  EXPECT_DOUBLE_EQ(table.FieldByName("T").AsDateTime(), 0.5);
  EXPECT_DOUBLE_EQ(table.FieldByName("S").AsDateTime(), 36526.75);
  EXPECT_DOUBLE_EQ(table.FieldByName("D").AsDateTime(), -3);
  table.GotoRecord(2);
  EXPECT_EQ(table.FieldByName("TEXT").AsString(), "\xc0\xc1");
}

TEST(Description, DumpBuildsBackToTheSameBytes) {
  const TableBuilder original = ParseDescription(kDescription);
  const std::string dumped = DescribeBuilt(original);
  const TableBuilder rebuilt = ParseDescription(dumped);
  EXPECT_EQ(rebuilt.TableBytes(), original.TableBytes()) << dumped;
  EXPECT_EQ(rebuilt.MemoBytes(), original.MemoBytes());
  // And the dump of the rebuilt table is the same text.
  EXPECT_EQ(DescribeBuilt(rebuilt), dumped);
}

TEST(Description, OddStoredValuesRoundTripAsRawBytes) {
  TableBuilder builder(1251);
  builder.AddField("S", ftString, 6).AddField("B", ftBoolean).AddField("F", ftFloat);
  builder.AddField("T", ftTime).AddField("N", 33, 2);
  builder.AddRecord({FieldValue::Raw("\x02"
                                     "ab"
                                     "zzz"),
                     FieldValue::Raw("\x07"),
                     FieldValue::Raw(std::string("\0\0\0\0\0\0\xf8\x7f", 8)), 43200001,
                     FieldValue::Raw("hi")});
  builder.AddRecord({"При", true, 0.1, FieldValue::Date("23:59:59")});
  const std::string dumped = DescribeBuilt(builder, 1251);
  EXPECT_NE(dumped.find("\"При\""), std::string::npos) << dumped;
  EXPECT_NE(dumped.find("raw\"0261627a7a7a\""), std::string::npos) << dumped;
  EXPECT_EQ(ParseDescription(dumped).TableBytes(), builder.TableBytes()) << dumped;
}

TEST(Description, MalformedLinesAreRefusedByLineNumber) {
  const std::pair<const char*, const char*> cases[] = {
      {"field A integer\n", "line 1: 'table' must come first"},
      {"table\n\nfield A integr\n", "line 3: unknown field type 'integr'"},
      {"table\nfield A string\n", "line 2: field A needs a size"},
      {"table\nfield A integer\nrecord 1 2\n", "line 3: 2 values for 1 fields"},
      {"table\nfield A smallint\nrecord 40000\n", "line 3: field A: 40000 is out of range"},
      {"table\nfield A string 3\nrecord \"abc\"\n",
       "line 3: field A holds at most 2 characters, not 3"},
      {"table\nfield A string 9\nrecord \"abc\n", "line 3: missing closing '\"'"},
      {"table\nfield A integer\nrecord \"1\"\n", "line 3: field A does not take a text"},
      {"table\nfield A integer\nrecord 1.5x\n", "line 3: cannot read the value '1.5x' of field A"},
      {"table key=1\nfield A integer\nrecord 2\nrecord 1\n",
       "line 4: the record is out of key order"},
      {"table key=2\nfield A integer\n", "line 1: the key has 2 fields but the table only 1"},
      {"table\nfield A integer\nfield A word\n", "line 3: field A is defined twice"},
      {"table\nfield A memo 4\n", "line 2: memo field A must be 8 bytes"},
      {"table\nfield A string 9\nrecord \"Я\"\n",
       "line 3: field A: the text \"Я\" cannot be stored in code page 1252"},
      {"table\nfield A integer\nrecord raw\"0102\"\n", "line 3: field A takes 4 raw bytes, not 2"},
      {"table\ntable\n", "line 2: a second 'table' line"},
      {"table colour=3\n", "line 1: unknown option 'colour'"},
      {"table\nfield A integer\nrows 1\n", "line 3: unknown statement 'rows'"},
      {"# nothing\n", "line 2: no 'table' line"},
      {"table\n", "line 2: the table has no fields"},
      {"table\nfield A boolean\nrecord x\"0g\"\n", "line 3: bad hex digit in \"0g\""},
  };
  for (const auto& [text, message] : cases) {
    EXPECT_THROW_MSG(ParseDescription(text), Error, message);
  }
}

}  // namespace
}  // namespace valise::adb
