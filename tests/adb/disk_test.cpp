#include <gtest/gtest.h>

#include "adb/adb_writer.h"
#include "adb/description.h"
#include "adb/table.h"
#include "platform/errors.h"
#include "test_support.h"

namespace valise::adb {
namespace {

using valise::testing::ReadHostFile;
using valise::testing::TempDir;

TableBuilder Project() {
  TableBuilder builder;
  builder.AddField("ID", ftInteger).AddField("TITLE", ftString, 30).AddField("COURSE", ftMemo);
  builder.SetKeyFieldCount(1);
  builder.AddRecord({7, "Spanisch für Anfänger", "<?xml?>\n<course/>"});
  builder.AddRecord({9, "Second", "two"});
  return builder;
}

TEST(DiskTables, ExternalTableReadsFilesWrittenByTheWriter) {
  TempDir dir;
  Project().WriteFiles(dir.win("_prj.adb"));
  EXPECT_EQ(ReadHostFile(dir.host() / "_prj.AMB"), Project().MemoBytes());

  TATable table;
  table.SetExternalTable(true);
  table.SetDatabaseName(dir.win());
  table.SetTableName("_prj");
  table.Open();
  EXPECT_TRUE(table.HasMemo());
  EXPECT_EQ(table.FieldByName("TITLE").AsUtf8(1252), "Spanisch für Anfänger");
  EXPECT_EQ(table.FieldByName("COURSE").AsString(), "<?xml?>\n<course/>");
  ASSERT_TRUE(table.FindKey({9}));
  EXPECT_EQ(table.FieldByName("COURSE").AsString(), "two");
}

TEST(DiskTables, MissingFilesFailWithTheSystemError) {
  TempDir dir;
  TATable table;
  table.SetExternalTable(true);
  table.SetTableName(dir.win("none"));
  EXPECT_THROW(table.Open(), OSError);
  EXPECT_FALSE(table.Active());

  // A table whose memo file is missing fails to open and stays closed.
  const std::string bytes = Project().TableBytes();
  dir.Write("nomemo.adb", bytes);
  table.SetTableName(dir.win("nomemo"));
  EXPECT_THROW(table.Open(), OSError);
  EXPECT_FALSE(table.Active());
  EXPECT_FALSE(table.HasMemo());
}

TEST(DiskTables, BufferedOpenWorksWithoutTheFiles) {
  TempDir dir;
  Project().WriteFiles(dir.win("P.ADB"));
  TATable table;
  table.SetExternalTable(true);
  table.SetTableName(dir.win("P"));
  table.SetGetAll(true);
  table.Open();
  EXPECT_TRUE(table.Buffered());
  ASSERT_TRUE(table.FindKey({9}));
  EXPECT_EQ(table.FieldByName("COURSE").AsString(), "two");
  EXPECT_EQ(table.FieldByName("TITLE").AsString(), "Second");
}

TEST(DiskTables, DescriptionOfADiskTableBuildsTheSameFiles) {
  TempDir dir;
  const TableBuilder original = Project();
  original.WriteFiles(dir.win("P.ADB"));
  TATable table;
  table.SetExternalTable(true);
  table.SetTableName(dir.win("P"));
  table.Open();
  const TableBuilder rebuilt = ParseDescription(DescribeTable(table));
  EXPECT_EQ(rebuilt.TableBytes(), ReadHostFile(dir.host() / "P.ADB"));
  EXPECT_EQ(rebuilt.MemoBytes(), ReadHostFile(dir.host() / "P.AMB"));
}

}  // namespace
}  // namespace valise::adb
