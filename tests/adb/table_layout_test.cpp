// A table laid out byte by byte here, from the format's description and not by the writer, so
// that a layout mistake made alike in the reader and the writer cannot pass.
#include <gtest/gtest.h>

#include <string>

#include "adb_test_support.h"

namespace valise::adb {
namespace {

// A name field: its length byte, then the name and zeros to 40 bytes.
std::string Name(const std::string& name) {
  return std::string(1, static_cast<char>(name.size())) + name +
         std::string(40 - name.size(), '\0');
}

// Three fields, ID (integer, offset 0), LANG (smallint, offset 4) and TEXT (string of 6 bytes,
// offset 6), the first two forming the key; two records of 12 bytes. All integers are
// little-endian.
std::string HandMadeTable() {
  std::string bytes;
  bytes += std::string("\x05KQADB", 6);         // signature: length byte and characters
  bytes += std::string("\x03\x00", 2);          // 3 fields
  bytes += std::string("\x02\x00\x00\x00", 4);  // 2 records
  bytes += std::string("\x0C\x00", 2);          // record size 12
  bytes += std::string("\x00", 1);              // no memo file
  bytes += std::string("\x02\x00", 2);          // 2 key fields
  bytes += std::string("\x8A\x00", 2);          // 138 descriptor bytes (3 * 46)
  bytes += std::string("\x03\x04\x00\x00\x00", 5) + Name("ID");    // integer, 4 bytes at 0
  bytes += std::string("\x02\x02\x00\x04\x00", 5) + Name("LANG");  // smallint, 2 bytes at 4
  bytes += std::string("\x01\x06\x00\x06\x00", 5) + Name("TEXT");  // string, 6 bytes at 6
  // ID 258, LANG -1, TEXT "abc" (length byte 3).
  bytes += std::string(
      "\x02\x01\x00\x00"
      "\xFF\xFF"
      "\x03"
      "abc\x00\x00",
      12);
  // ID 70000 (0x11170), LANG 7, TEXT "Hallo".
  bytes += std::string(
      "\x70\x11\x01\x00"
      "\x07\x00"
      "\x05"
      "Hallo",
      12);
  return bytes;
}

TEST(TableLayout, AHandMadeTableReadsAndTheWriterMakesTheSameBytes) {
  const std::string fixture = HandMadeTable();
  ASSERT_EQ(fixture.size(), 19u + 3 * 46 + 2 * 12);

  testing::MemoryTable table;
  table.PutBytes("C:\\HAND.ADB", fixture);
  table.SetTableName("C:\\HAND.ADB");
  table.Open();
  ASSERT_EQ(table.RecordCount(), 2);
  EXPECT_EQ(table.RecordSize(), 12);
  EXPECT_EQ(table.KeyFieldCount(), 2);
  table.First();
  EXPECT_EQ(table.FieldByName("ID").AsInteger(), 258);
  EXPECT_EQ(table.FieldByName("LANG").AsInteger(), -1);
  EXPECT_EQ(table.FieldByName("TEXT").AsString(), "abc");
  ASSERT_TRUE(table.FindKey({70000, 7}));
  EXPECT_EQ(table.FieldByName("TEXT").AsString(), "Hallo");
  EXPECT_FALSE(table.FindKey({70000, 8}));
  table.Close();

  TableBuilder builder;
  builder.AddField("ID", ftInteger).AddField("LANG", ftSmallInt).AddField("TEXT", ftString, 6);
  builder.SetKeyFieldCount(2);
  builder.AddRecord({258, -1, "abc"});
  builder.AddRecord({70000, 7, "Hallo"});
  EXPECT_EQ(builder.TableBytes(), fixture);
}

}  // namespace
}  // namespace valise::adb
