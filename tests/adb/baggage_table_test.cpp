#include <gtest/gtest.h>

#include "adb/adb_writer.h"
#include "adb/table.h"
#include "baggage/bag_writer.h"
#include "baggage/baggage.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "test_support.h"

namespace valise::adb {
namespace {

using valise::testing::TempDir;

class BaggageTables : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMainThread();
    std::string program(256, '\0');
    program[0] = 'M';
    program[1] = 'Z';
    dir.Write("SETUP.EXE", program);
  }
  void TearDown() override { BagDone(); }

  void InitBaggage(const BagWriter& writer) {
    writer.WriteStandalone(dir.win("DATA.BAG"));
    std::vector<std::string> params{dir.win("SETUP.EXE"), "/bag=" + dir.win("DATA.BAG")};
    BagInit(params);
  }

  TempDir dir;
};

TableBuilder TextPool() {
  TableBuilder builder;
  builder.AddField("ID", ftInteger).AddField("LANG", ftSmallInt).AddField("TEXT", ftMemo);
  builder.SetKeyFieldCount(2);
  builder.AddRecord({295279, 1, "Abbrechen"});
  builder.AddRecord({295279, 2, "Cancel"});
  return builder;
}

TEST_F(BaggageTables, TablesOpenOutOfTheBaggageByTheirNamePart) {
  BagWriter writer;
  writer.AddData("_TXT.ADB", TextPool().TableBytes());
  writer.AddData("_TXT.AMB", TextPool().MemoBytes());
  InitBaggage(writer);

  TATable table;
  table.SetDatabaseName("C:\\ANY\\WHERE");
  table.SetTableName("_txt");
  table.Open();
  EXPECT_EQ(table.Path(), "C:\\ANY\\WHERE\\_TXT.ADB");
  ASSERT_TRUE(table.FindKey({295279, 2}));
  EXPECT_EQ(table.FieldByName("TEXT").AsString(), "Cancel");
  table.Close();

  table.SetGetAll(true);
  table.Open();
  EXPECT_TRUE(table.Buffered());
  ASSERT_TRUE(table.FindKey({295279, 1}));
  EXPECT_EQ(table.FieldByName("TEXT").AsString(), "Abbrechen");
}

TEST_F(BaggageTables, MissingEntriesFailInTheBaggage) {
  BagWriter writer;
  writer.AddData("_TXT.ADB", TextPool().TableBytes());
  writer.AddData("OTHER.TXT", "x");
  InitBaggage(writer);

  TATable table;
  table.SetTableName("_PRJ");
  EXPECT_THROW(table.Open(), Error);
  EXPECT_FALSE(table.Active());
  // The table is there but its memo file is not.
  table.SetTableName("_TXT");
  EXPECT_THROW(table.Open(), Error);
  EXPECT_FALSE(table.Active());
  EXPECT_FALSE(table.HasMemo());
}

}  // namespace
}  // namespace valise::adb
