#include <gtest/gtest.h>

#include "adb_test_support.h"
#include "test_support.h"

namespace valise::adb {
namespace {

using testing::MemoryTable;

constexpr char kPath[] = "C:\\DATA\\_TXT.ADB";

// Text-pool shaped rows: (ID, language) key, text.
TableBuilder TextTable(std::initializer_list<std::tuple<int, int, const char*>> rows) {
  TableBuilder builder;
  builder.AddField("ID", ftInteger).AddField("LANG", ftSmallInt).AddField("TEXT", ftString, 21);
  builder.SetKeyFieldCount(2);
  for (const auto& [id, lang, text] : rows) builder.AddRecord({id, lang, text});
  return builder;
}

void OpenTable(MemoryTable& table, const TableBuilder& builder) {
  table.Put(kPath, builder);
  table.SetDatabaseName("C:\\DATA");
  table.SetTableName("_txt");
  table.Open();
}

TEST(TableNames, NameGetsUpperCaseAndAdbExtension) {
  TATable table;
  table.SetTableName("_txt.adb");
  EXPECT_EQ(table.TableName(), "_TXT.ADB");
  table.SetTableName("_TXT");
  EXPECT_EQ(table.TableName(), "_TXT.ADB");
  table.SetTableName("c:\\dir.x\\proj.dat");
  EXPECT_EQ(table.TableName(), "C:\\DIR.X\\PROJ.ADB");
  table.SetTableName("dir.x\\noext");
  EXPECT_EQ(table.TableName(), "DIR.X\\NOEXT.ADB");
}

TEST(TableNames, PathJoinsDatabaseNameUnlessTableNameHasDrive) {
  MemoryTable table;
  table.Put("C:\\DATA\\_TXT.ADB", TextTable({{1, 1, "a"}}));
  table.Put("D:\\X.ADB", TextTable({{1, 1, "a"}}));
  table.SetDatabaseName("C:\\DATA");
  table.SetTableName("_txt");
  table.Open();
  EXPECT_EQ(table.Path(), "C:\\DATA\\_TXT.ADB");
  table.Close();
  table.SetDatabaseName("c:\\data\\");
  table.Open();
  EXPECT_EQ(table.Path(), "C:\\DATA\\_TXT.ADB");
  table.Close();
  table.SetTableName("d:\\x");
  table.Open();
  EXPECT_EQ(table.Path(), "D:\\X.ADB");
  table.Close();
  table.SetDatabaseName("");
  table.SetTableName("C:\\DATA\\_TXT");
  table.Open();
  EXPECT_EQ(table.Path(), "C:\\DATA\\_TXT.ADB");
}

TEST(TableNames, ChangesWhileActiveFailWithComponentName) {
  MemoryTable table;
  OpenTable(table, TextTable({{1, 1, "a"}}));
  EXPECT_THROW_MSG(table.SetTableName("x"), Error, "TATable: vor dem Wechsel inaktiv setzen");
  EXPECT_THROW_MSG(table.SetDatabaseName("x"), Error, "TATable: vor dem Wechsel inaktiv setzen");
  table.SetName("Pool");
  EXPECT_THROW_MSG(table.SetTableName("x"), Error, "Pool vor dem Wechsel inaktiv setzen");
  EXPECT_EQ(table.TableName(), "_TXT.ADB");
  table.SetActive(false);
  EXPECT_THROW_MSG(table.First(), Error, "Pool: nicht aktiv");
  EXPECT_THROW_MSG(table.ClearBuffer(), Error, "Pool: nicht aktiv");
  table.SetName("");
  EXPECT_THROW_MSG(table.First(), Error, "TATable: nicht aktiv");
  table.SetTableName("other");
  EXPECT_EQ(table.TableName(), "OTHER.ADB");
}

TEST(TableOpen, WithoutTableNameFails) {
  TATable table("Named");
  EXPECT_THROW_MSG(table.Open(), Error, "TATable: TableName?");
  EXPECT_FALSE(table.Active());
}

TEST(TableOpen, WrongSignatureFailsAndLeavesTableClosed) {
  MemoryTable table("Named");
  std::string bytes = TextTable({{1, 1, "a"}}).TableBytes();
  bytes[5] = 'C';  // "KQADC"
  table.PutBytes(kPath, bytes);
  table.SetDatabaseName("C:\\DATA");
  table.SetTableName("_TXT");
  EXPECT_THROW_MSG(table.Open(), Error, "TATable: C:\\DATA\\_TXT.ADB ist keine ADB");
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.State(), dsInactive);
  EXPECT_EQ(table.FieldCount(), 0);

  bytes[5] = 'B';
  bytes[0] = 4;  // the length byte belongs to the signature
  table.PutBytes(kPath, bytes);
  EXPECT_THROW_MSG(table.Open(), Error, "TATable: C:\\DATA\\_TXT.ADB ist keine ADB");
  table.PutBytes(kPath, "\x05KQ");
  EXPECT_THROW_MSG(table.Open(), Error, "TATable: C:\\DATA\\_TXT.ADB ist keine ADB");
}

TEST(TableOpen, MissingFileErrorPassesOn) {
  MemoryTable table;
  table.SetTableName("C:\\NONE");
  EXPECT_THROW_MSG(table.Open(), Error, "not found: C:\\NONE.ADB");
  EXPECT_FALSE(table.Active());
}

// Damaged headers are refused at open instead of reading garbage later.
TEST(TableOpen, MalformedHeadersAreRefused) {
  const std::string good = TextTable({{1, 1, "a"}, {2, 1, "b"}}).TableBytes();
  auto openWith = [&](std::string bytes) {
    MemoryTable table;
    table.PutBytes("C:\\T.ADB", std::move(bytes));
    table.SetTableName("C:\\T");
    table.Open();
  };
  std::string zeroSize = good;
  zeroSize[12] = zeroSize[13] = 0;
  EXPECT_THROW_MSG(openWith(zeroSize), Error, "TATable: kein Speicherplatz!");
  std::string noFields = good;
  noFields[6] = noFields[7] = 0;
  EXPECT_THROW_MSG(openWith(noFields), Error, "TATable: kein Speicherplatz!");

  std::string outside = good;
  outside[19 + 2 * 46 + 3] = 20;  // TEXT (21 bytes) at offset 20 of a 27-byte record
  EXPECT_THROW_MSG(openWith(outside), Error,
                   "TATable: C:\\T.ADB: field TEXT (offset 20, 21 bytes) lies outside the "
                   "record of 27 bytes");

  std::string shortArea = good.substr(0, good.size() - 1);
  EXPECT_THROW_MSG(openWith(shortArea), Error,
                   "TATable: C:\\T.ADB: the record area is shorter than 2 records of 27 bytes");

  std::string manyRecords = good;
  manyRecords[11] = 0x7F;
  EXPECT_THROW(openWith(manyRecords), Error);

  std::string tooManyKeys = good;
  tooManyKeys[15] = 4;
  EXPECT_THROW_MSG(openWith(tooManyKeys), Error,
                   "TATable: C:\\T.ADB: 4 key fields but only 3 fields");

  std::string narrowInteger = good;
  narrowInteger[19 + 1] = 2;  // ID of type integer with 2 bytes
  EXPECT_THROW_MSG(openWith(narrowInteger), Error,
                   "TATable: C:\\T.ADB: field ID of type 3 needs at least 4 bytes, not 2");

  EXPECT_THROW_MSG(openWith(good.substr(0, 19 + 46)), Error,
                   "TATable: C:\\T.ADB: the field descriptors are truncated");
  EXPECT_THROW_MSG(openWith(good.substr(0, 12)), Error,
                   "TATable: C:\\T.ADB: the table header is truncated");
}

TEST(TableOpen, UnknownTypeCodeLeavesSlotEmpty) {
  TableBuilder builder;
  builder.AddField("A", ftInteger).AddField("ODD", 40, 3);
  builder.AddRecord({7, FieldValue::Raw("xyz")});
  MemoryTable table;
  OpenTable(table, builder);
  EXPECT_EQ(table.FieldCount(), 2);
  EXPECT_EQ(table.Fields(1), nullptr);
  EXPECT_EQ(table.FindField("ODD"), nullptr);
  EXPECT_THROW_MSG(table.FieldByName("odd"), Error, "TATable: Feld ODD existiert nicht");
  EXPECT_EQ(table.FieldByName("A").AsInteger(), 7);
}

TEST(TableOpen, EmptyTableOpensAtEof) {
  MemoryTable table;
  OpenTable(table, TextTable({}));
  EXPECT_TRUE(table.Active());
  EXPECT_EQ(table.State(), dsBrowse);
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(table.RecordCount(), 0);
  for (int i = 0; i < table.RecordSize(); ++i) EXPECT_EQ(table.RecordBuffer()[i], 0);
  EXPECT_FALSE(table.FindKey({1, 1}));
  EXPECT_FALSE(table.GotoKey({1, 1}, false));
  EXPECT_EQ(table.RecordIndex(), 0);
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(table.FieldByName("TEXT").AsString(), "");
}

TEST(TableOpen, HeaderValuesAndFirstRecord) {
  MemoryTable table;
  OpenTable(table, TextTable({{5, 1, "five"}, {6, 1, "six"}}));
  EXPECT_EQ(table.RecordCount(), 2);
  EXPECT_EQ(table.RecordSize(), 4 + 2 + 21);
  EXPECT_EQ(table.DataOffset(), 19 + 3 * 46);
  EXPECT_EQ(table.KeyFieldCount(), 2);
  EXPECT_EQ(table.KeyLength(), 6);
  EXPECT_EQ(table.RecordIndex(), 0);
  EXPECT_FALSE(table.Eof());
  EXPECT_FALSE(table.HasMemo());
  EXPECT_EQ(table.FieldByName("text").AsString(), "five");
}

// The reader takes the first record's position from the header, not from the field count.
TEST(TableOpen, DataOffsetComesFromHeader) {
  std::string bytes = TextTable({{5, 1, "five"}}).TableBytes();
  const std::size_t descriptorEnd = 19 + 3 * 46;
  bytes.insert(descriptorEnd, "PADDING!");
  bytes[17] = static_cast<char>((3 * 46 + 8) & 0xFF);
  bytes[18] = static_cast<char>((3 * 46 + 8) >> 8);
  MemoryTable table;
  table.PutBytes("C:\\P.ADB", bytes);
  table.SetTableName("C:\\P");
  table.Open();
  EXPECT_EQ(table.DataOffset(), 19 + 3 * 46 + 8);
  EXPECT_EQ(table.FieldByName("TEXT").AsString(), "five");
}

TEST(TableNavigation, GotoRecordClampsAndRefreshRereads) {
  MemoryTable table;
  OpenTable(table, TextTable({{1, 1, "one"}, {2, 1, "two"}, {3, 1, "three"}}));
  TAField& text = table.FieldByName("TEXT");
  table.GotoRecord(99);
  EXPECT_EQ(table.RecordIndex(), 2);
  EXPECT_FALSE(table.Eof());
  EXPECT_EQ(text.AsString(), "three");
  table.GotoRecord(-5);
  EXPECT_EQ(table.RecordIndex(), 0);
  EXPECT_EQ(text.AsString(), "one");

  // A changed buffer stays until the record is read again.
  text.SetAsString("changed");
  table.GotoRecord(0);
  EXPECT_EQ(text.AsString(), "changed");
  table.Refresh();
  EXPECT_EQ(text.AsString(), "one");
  text.SetAsString("changed");
  table.First();
  EXPECT_EQ(text.AsString(), "changed");
}

TEST(TableFields, FieldByNameIsExactAfterUpperCasingFindFieldIgnoresCase) {
  TableBuilder builder;
  builder.AddField("TITLE", ftString, 10).AddField("Mixed", ftInteger);
  builder.AddRecord({"t", 4});
  MemoryTable table("Prj");
  OpenTable(table, builder);
  EXPECT_EQ(&table.FieldByName("title"), table.Fields(0));
  EXPECT_THROW_MSG(table.FieldByName("Mixed"), Error, "Prj: Feld MIXED existiert nicht");
  EXPECT_EQ(table.FindField("mixed"), table.Fields(1));
  EXPECT_EQ(table.FindField("title"), table.Fields(0));
  EXPECT_EQ(table.FindField("nothing"), nullptr);
  EXPECT_THROW_MSG(table.FieldByName(""), Error, "Prj: FieldByName \"\"?");
  table.SetName("");
  EXPECT_THROW_MSG(table.FieldByName(""), Error, "TATable: FieldByName \"\"?");
  EXPECT_THROW_MSG(table.FieldByName(std::string(45, 'x')), Error,
                   "TATable: Feld " + std::string(40, 'X') + " existiert nicht");
}

TEST(TableKeys, FindKeyLandsOnFirstOfEqualKeys) {
  MemoryTable table;
  OpenTable(table, TextTable({{1, 1, "a"},
                              {2, 1, "b1"},
                              {2, 1, "b2"},
                              {2, 1, "b3"},
                              {2, 2, "c"},
                              {3, 1, "d"},
                              {3, 1, "e"}}));
  TAField& text = table.FieldByName("TEXT");
  EXPECT_TRUE(table.FindKey({2, 1}));
  EXPECT_EQ(text.AsString(), "b1");
  EXPECT_TRUE(table.FindKey({3, 1}));
  EXPECT_EQ(text.AsString(), "d");
  EXPECT_TRUE(table.FindKey({1, 1}));
  EXPECT_EQ(text.AsString(), "a");
  // Leading fields only; values beyond the key are ignored.
  EXPECT_TRUE(table.FindKey({2}));
  EXPECT_EQ(text.AsString(), "b1");
  EXPECT_TRUE(table.FindKey({2, 2, "ignored", 77}));
  EXPECT_EQ(text.AsString(), "c");
}

TEST(TableKeys, MissWithExactFlagKeepsRecordOtherwiseGoesToNextGreater) {
  MemoryTable table;
  OpenTable(table, TextTable({{10, 1, "a"}, {20, 1, "b"}, {20, 3, "c"}, {30, 1, "d"}}));
  TAField& text = table.FieldByName("TEXT");
  table.GotoRecord(1);
  EXPECT_FALSE(table.FindKey({15, 1}));
  EXPECT_EQ(table.RecordIndex(), 1);
  EXPECT_FALSE(table.FindKey({99}));
  EXPECT_EQ(table.RecordIndex(), 1);

  EXPECT_FALSE(table.GotoKey({15}, false));
  EXPECT_EQ(text.AsString(), "b");
  EXPECT_FALSE(table.GotoKey({20, 2}, false));
  EXPECT_EQ(text.AsString(), "c");
  EXPECT_FALSE(table.GotoKey({5}, false));
  EXPECT_EQ(text.AsString(), "a");
  EXPECT_FALSE(table.GotoKey({31}, false));
  EXPECT_EQ(text.AsString(), "d");
  EXPECT_FALSE(table.Eof());
  EXPECT_TRUE(table.GotoKey({20, 3}, false));
  EXPECT_EQ(text.AsString(), "c");
}

TEST(TableKeys, EveryRecordOfALargerTableIsFound) {
  TableBuilder builder;
  builder.AddField("ID", ftWord).AddField("TEXT", ftString, 8).SetKeyFieldCount(1);
  for (int i = 0; i < 300; ++i) builder.AddRecord({i * 2, std::to_string(i)});
  MemoryTable table;
  OpenTable(table, builder);
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(table.FindKey({i * 2})) << i;
    EXPECT_EQ(table.RecordIndex(), i);
    ASSERT_FALSE(table.FindKey({i * 2 + 1})) << i;
    ASSERT_FALSE(table.GotoKey({i * 2 + 1}, false));
    EXPECT_EQ(table.RecordIndex(), std::min(i + 1, 299));
  }
}

TEST(TableKeys, StringKeysCompareBytesAndPrefixesSortFirst) {
  TableBuilder builder;
  builder.AddField("NAME", ftString, 8).AddField("N", ftInteger).SetKeyFieldCount(1);
  for (const char* name : {"Ab", "B", "a", "ab", "abc", "\xe4"}) {
    builder.AddRecord({FieldValue::Bytes(name), 0});
  }
  MemoryTable table;
  OpenTable(table, builder);
  EXPECT_TRUE(table.FindKey({"ab"}));
  EXPECT_EQ(table.RecordIndex(), 3);
  EXPECT_TRUE(table.FindKey({'B'}));
  EXPECT_EQ(table.RecordIndex(), 1);
  EXPECT_TRUE(table.FindKey({"\xe4"}));
  EXPECT_EQ(table.RecordIndex(), 5);
  EXPECT_FALSE(table.FindKey({"AB"}));
  EXPECT_FALSE(table.GotoKey({"abd"}, false));
  EXPECT_EQ(table.RecordIndex(), 5);
}

TEST(TableKeys, NegativeAndExtremeIntegers) {
  TableBuilder builder;
  builder.AddField("V", ftInteger).AddField("S", ftSmallInt).SetKeyFieldCount(2);
  builder.AddRecord({INT32_MIN, -32768});
  builder.AddRecord({-1, 5});
  builder.AddRecord({0, -3});
  builder.AddRecord({INT32_MAX, 32767});
  MemoryTable table;
  OpenTable(table, builder);
  EXPECT_TRUE(table.FindKey({INT32_MAX, 32767}));
  EXPECT_EQ(table.RecordIndex(), 3);
  EXPECT_TRUE(table.FindKey({INT32_MIN}));
  EXPECT_EQ(table.RecordIndex(), 0);
  EXPECT_TRUE(table.FindKey({0, -3}));
  EXPECT_EQ(table.RecordIndex(), 2);
}

TEST(TableKeys, DateAndTimeKeysCompareInStoredEncoding) {
  TableBuilder builder;
  builder.AddField("D", ftDate).AddField("T", ftTime).SetKeyFieldCount(2);
  builder.AddRecord({FieldValue::Date("2000-01-01"), FieldValue::Date("08:00:00")});
  builder.AddRecord({FieldValue::Date("2000-01-01"), FieldValue::Date("12:00:00")});
  builder.AddRecord({FieldValue::Date("2000-01-02"), FieldValue::Date("00:00:00")});
  MemoryTable table;
  OpenTable(table, builder);
  EXPECT_TRUE(table.FindKey({TKeyValue::DateTime(36526.9), TKeyValue::DateTime(0.5)}));
  EXPECT_EQ(table.RecordIndex(), 1);
  EXPECT_TRUE(table.FindKey({TKeyValue::DateTime(36527.25)}));
  EXPECT_EQ(table.RecordIndex(), 2);
}

TEST(TableKeys, MismatchedValueKindsFailWithTheirMessages) {
  TableBuilder builder;
  builder.AddField("ID", ftInteger).AddField("NAME", ftString, 5).AddField("D", ftDate);
  builder.SetKeyFieldCount(3).AddRecord({1, "a"});
  MemoryTable table;
  OpenTable(table, builder);
  EXPECT_THROW_MSG(table.FindKey({"1"}), Error, "TATable: Feld ID hat anderen Typ als String");
  EXPECT_THROW_MSG(table.FindKey({'1'}), Error, "TATable: Feld ID hat anderen Typ als Char/String");
  EXPECT_THROW_MSG(table.FindKey({1, 2}), Error, "TATable: Feld NAME hat anderen Typ als Integer");
  EXPECT_THROW_MSG(table.FindKey({TKeyValue::DateTime(1)}), Error,
                   "TATable: Feld ID hat anderen Typ als TDate oder TTime");
  EXPECT_THROW_MSG(table.FindKey({1, "a", 5}), Error,
                   "TATable: Feld D hat anderen Typ als Integer");
  EXPECT_THROW_MSG(table.FindKey({true}), Error,
                   "TATable: Indexe nur mit Integer, String und Date/Time");
  EXPECT_THROW_MSG(table.FindKey({TKeyValue::OtherKind()}), Error,
                   "TATable: Indexe nur mit Integer, String und Date/Time");
  table.SetName("Pool");
  EXPECT_THROW_MSG(table.GotoKey({"x"}, false), Error, "Pool: Feld ID hat anderen Typ als String");
  EXPECT_TRUE(table.FindKey({1, "a", TKeyValue::DateTime(0)}));
}

TEST(TableKeys, TableWithoutKeyRefusesSearch) {
  TableBuilder builder;
  builder.AddField("ID", ftInteger).AddRecord({1});
  MemoryTable table;
  OpenTable(table, builder);
  EXPECT_EQ(table.KeyLength(), 0);
  EXPECT_THROW_MSG(table.FindKey({1}), Error, "GotoKey: keine Indexfelder!");
}

// Opening reads the header and descriptors only; probes read only key bytes, and only the
// record finally chosen is read whole.
TEST(TableReads, OpenAndKeyProbesReadOnlyWhatTheyNeed) {
  TableBuilder builder = TextTable({});
  for (int i = 0; i < 1000; ++i) builder.AddRecord({i, 1, "some text"});
  MemoryTable table;
  table.Put(kPath, builder);
  table.SetTableName("C:\\DATA\\_TXT");
  table.Open();
  testing::ReadLog& log = table.Log(kPath);
  EXPECT_EQ(log.bytes, 19 + 3 * 46 + table.RecordSize());
  EXPECT_LE(log.reads, 3);

  const testing::ReadLog before = log;
  ASSERT_TRUE(table.FindKey({777, 1}));
  const std::int64_t probes = log.reads - before.reads - 1;
  EXPECT_LE(probes, 2 * 11);
  EXPECT_EQ(log.bytes - before.bytes, probes * table.KeyLength() + table.RecordSize());
}

TEST(TableReads, GetAllBuffersSmallTablesAndResetsItsProperties) {
  TableBuilder builder = TextTable({{1, 1, "a"}, {2, 1, "b"}});
  MemoryTable table;
  table.Put(kPath, builder);
  table.SetTableName("C:\\DATA\\_TXT");
  table.SetGetAll(true);
  table.SetAllBufMaxSize(1000);
  table.Open();
  EXPECT_TRUE(table.Buffered());
  EXPECT_FALSE(table.GetAll());
  EXPECT_EQ(table.AllBufMaxSize(), 65520);
  const testing::ReadLog after = table.Log(kPath);
  ASSERT_TRUE(table.FindKey({2, 1}));
  EXPECT_EQ(table.FieldByName("TEXT").AsString(), "b");
  EXPECT_EQ(table.Log(kPath).reads, after.reads);

  // A record area of AllBufMaxSize bytes or more stays on the stream.
  table.Close();
  table.SetGetAll(true);
  table.SetAllBufMaxSize(2 * 27);
  table.Open();
  EXPECT_FALSE(table.Buffered());
  EXPECT_FALSE(table.GetAll());
  EXPECT_EQ(table.AllBufMaxSize(), 65520);
}

TEST(TableReads, CloseReleasesEverything) {
  MemoryTable table;
  OpenTable(table, TextTable({{1, 1, "a"}}));
  table.Close();
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.State(), dsInactive);
  EXPECT_EQ(table.FieldCount(), 0);
  EXPECT_EQ(table.RecordBuffer(), nullptr);
  EXPECT_FALSE(table.HasMemo());
  table.SetActive(true);
  EXPECT_TRUE(table.Active());
  EXPECT_EQ(table.FieldByName("TEXT").AsString(), "a");
}

}  // namespace
}  // namespace valise::adb
