#include <gtest/gtest.h>

#include "adb_test_support.h"
#include "test_support.h"

namespace valise::adb {
namespace {

using testing::MemoryTable;

constexpr char kTable[] = "C:\\P\\_PRJ.ADB";
constexpr char kMemo[] = "C:\\P\\_PRJ.AMB";

TableBuilder ProjectTable() {
  TableBuilder builder;
  builder.AddField("ID", ftInteger).AddField("COURSE", ftMemo).AddField("DATA", ftBytes);
  builder.SetKeyFieldCount(1);
  builder.AddRecord({1, "<?first course", FieldValue::Bytes(std::string("\0\1\2", 3))});
  builder.AddRecord({2, FieldValue(), FieldValue()});
  builder.AddRecord({3, "third", FieldValue::Bytes("zz")});
  return builder;
}

void Open(MemoryTable& table, bool getAll = false) {
  table.Put(kTable, ProjectTable());
  table.SetTableName(kTable);
  table.SetGetAll(getAll);
  table.Open();
}

std::string ReadAll(TStream& stream) {
  std::string bytes(static_cast<std::size_t>(stream.Size() - stream.Position()), '\0');
  stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  return bytes;
}

TEST(MemoFields, OpenOpensMemoFileBeside) {
  MemoryTable table;
  Open(table);
  EXPECT_TRUE(table.HasMemo());
  EXPECT_EQ(table.Requests(), (std::vector<std::string>{kTable, kMemo}));
  EXPECT_EQ(table.Log(kMemo).bytes, 0);  // nothing read before asked
}

TEST(MemoFields, MissingMemoFileFailsOpen) {
  MemoryTable table;
  table.PutBytes(kTable, ProjectTable().TableBytes());
  table.SetTableName(kTable);
  EXPECT_THROW_MSG(table.Open(), Error, "not found: C:\\P\\_PRJ.AMB");
  EXPECT_FALSE(table.Active());
}

TEST(MemoFields, ReadOncePerRecordAndAgainAfterMovingAway) {
  MemoryTable table;
  Open(table);
  testing::ReadLog& log = table.Log(kMemo);
  TAField& course = table.FieldByName("COURSE");
  EXPECT_EQ(course.AsString(), "<?first course");
  const int readsAfterFirst = log.reads;
  EXPECT_GT(readsAfterFirst, 0);
  EXPECT_EQ(course.AsString(), "<?first course");
  EXPECT_EQ(ReadAll(course.AsBlobStream()), "<?first course");
  EXPECT_EQ(log.reads, readsAfterFirst);

  table.GotoRecord(2);
  EXPECT_EQ(course.AsString(), "third");
  table.GotoRecord(0);
  const int before = log.reads;
  EXPECT_EQ(course.AsString(), "<?first course");
  EXPECT_GT(log.reads, before);
}

TEST(MemoFields, EmptyMemoNeverTouchesTheMemoFile) {
  MemoryTable table;
  Open(table);
  table.GotoRecord(1);
  const testing::ReadLog before = table.Log(kMemo);
  TAField& course = table.FieldByName("COURSE");
  EXPECT_EQ(course.AsString(), "");
  EXPECT_EQ(course.AsBlobStream().Size(), 0);
  TGranularMemoryStream out;
  course.SaveToStream(out);
  EXPECT_EQ(out.Size(), 0);
  EXPECT_EQ(table.Log(kMemo).reads, before.reads);
}

TEST(MemoFields, WrittenTextIsReadBackUntilTheRecordChanges) {
  MemoryTable table;
  Open(table);
  TAField& course = table.FieldByName("COURSE");
  course.SetAsString("replaced text");
  EXPECT_EQ(course.AsString(), "replaced text");
  EXPECT_EQ(ReadAll(course.AsBlobStream()), "replaced text");
  table.Refresh();
  EXPECT_EQ(course.AsString(), "<?first course");

  TGranularMemoryStream source;
  source.WriteBuffer("from a stream", 13);
  course.LoadFromStream(&source);
  EXPECT_EQ(course.AsString(), "from a stream");
  course.LoadFromStream(nullptr);
  EXPECT_EQ(course.AsString(), "");
  course.Clear();
  EXPECT_EQ(course.AsString(), "<?first course");
}

TEST(MemoFields, BytesFieldsStreamButRefuseText) {
  MemoryTable table;
  Open(table);
  TAField& data = table.FieldByName("DATA");
  EXPECT_EQ(ReadAll(data.AsBlobStream()), std::string("\0\1\2", 3));
  TGranularMemoryStream out;
  out.WriteBuffer("head:", 5);
  data.SaveToStream(out);
  out.SetPosition(0);
  EXPECT_EQ(ReadAll(out), std::string("head:\0\1\2", 8));
  EXPECT_THROW_MSG(data.AsString(), Error, "TAField DATA: nicht nach String konvertierbar");
  EXPECT_THROW_MSG(data.AsInteger(), Error, "TAField DATA: nicht nach Integer konvertierbar");

  // The hand-out stream is the field's own and is overwritten by the next read.
  TStream& first = data.AsBlobStream();
  table.GotoRecord(2);
  TStream& second = data.AsBlobStream();
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(ReadAll(second), "zz");
}

TEST(MemoFields, BlobDataCopiesReferenceAndBytes) {
  MemoryTable table;
  Open(table);
  auto& course = dynamic_cast<TAMBField&>(table.FieldByName("COURSE"));
  EXPECT_EQ(course.MemoOffset(), 0u);
  EXPECT_EQ(course.MemoLength(), 14u);
  EXPECT_EQ(course.MemoSize(), 14);
  course.AsString();
  std::uint8_t reference[8];
  std::uint32_t length = 0;
  char bytes[32] = {};
  EXPECT_TRUE(course.GetBlobData(reference, length, bytes));
  EXPECT_EQ(length, 14u);
  EXPECT_EQ(std::string(bytes), "<?first course");

  course.SetBlobData(reference, 3, "abc");
  EXPECT_EQ(course.MemoLength(), 3u);
  EXPECT_EQ(course.MemoSize(), 3);  // the loaded offset is the reference's: the buffer counts
  EXPECT_EQ(course.AsString(), "abc");
}

TEST(MemoFields, GetAllCopiesTheMemoFileIntoMemory) {
  MemoryTable table;
  Open(table, true);
  EXPECT_TRUE(table.Buffered());
  ASSERT_NE(dynamic_cast<TGranularMemoryStream*>(table.MemoStream()), nullptr);
  const testing::ReadLog after = table.Log(kMemo);
  ASSERT_TRUE(table.FindKey({3}));
  EXPECT_EQ(table.FieldByName("COURSE").AsString(), "third");
  EXPECT_EQ(table.Log(kMemo).reads, after.reads);
}

TEST(MemoFields, ReferenceBeyondTheMemoFileNamesTheField) {
  MemoryTable table;
  TableBuilder builder = ProjectTable();
  table.PutBytes(kTable, builder.TableBytes());
  table.PutBytes(kMemo, builder.MemoBytes().substr(0, 10));
  table.SetTableName(kTable);
  table.Open();
  EXPECT_THROW_MSG(table.FieldByName("COURSE").AsString(), Error,
                   "TAField COURSE: the memo at offset 0 with 14 bytes reaches beyond the end "
                   "of the memo file (10 bytes)");
  table.GotoRecord(1);
  EXPECT_EQ(table.FieldByName("COURSE").AsString(), "");
}

TEST(MemoFields, MemoWithoutMemoFileFailsClearly) {
  TableBuilder builder = ProjectTable();
  std::string bytes = builder.TableBytes();
  bytes[14] = 0;  // memo flag cleared
  MemoryTable table;
  table.PutBytes(kTable, bytes);
  table.SetTableName(kTable);
  table.Open();
  EXPECT_FALSE(table.HasMemo());
  EXPECT_THROW_MSG(table.FieldByName("COURSE").AsString(), Error,
                   "TAField COURSE: the table has no memo file");
}

TEST(GranularMemoryStream, GranularityIsAPowerOfTwoInBounds) {
  EXPECT_EQ(TGranularMemoryStream(100).Granularity(), 4096);
  EXPECT_EQ(TGranularMemoryStream(4096).Granularity(), 4096);
  EXPECT_EQ(TGranularMemoryStream(5000).Granularity(), 8192);
  EXPECT_EQ(TGranularMemoryStream(20000000).Granularity(), 8388608);
  EXPECT_EQ(TGranularMemoryStream(-5).Granularity(), 4096);
  EXPECT_EQ(TGranularMemoryStream().Granularity(), 8192);
}

TEST(GranularMemoryStream, CapacityGrowsInGranularSteps) {
  TGranularMemoryStream stream(4096);
  std::string chunk(3000, 'a');
  stream.WriteBuffer(chunk.data(), 3000);
  EXPECT_EQ(stream.Capacity(), 4096);
  stream.WriteBuffer(chunk.data(), 3000);
  EXPECT_EQ(stream.Capacity(), 8192);
  EXPECT_EQ(stream.Size(), 6000);
  stream.SetSize(6000);  // a capacity equal to the size is taken exactly
  EXPECT_EQ(stream.Capacity(), 6000);
  stream.SetSize(6001);
  EXPECT_EQ(stream.Capacity(), 8192);
  stream.SetSize(100);
  EXPECT_EQ(stream.Capacity(), 4096);
  EXPECT_EQ(stream.Position(), 100);
  stream.Clear();
  EXPECT_EQ(stream.Capacity(), 0);
  EXPECT_EQ(stream.Memory(), nullptr);
  EXPECT_EQ(stream.Size(), 0);
}

TEST(GranularMemoryStream, ReadWriteSeekKeepBytes) {
  TGranularMemoryStream stream;
  stream.WriteBuffer("hello world", 11);
  stream.Seek(-5, SeekOrigin::End);
  char word[6] = {};
  EXPECT_EQ(stream.Read(word, 10), 5);
  EXPECT_STREQ(word, "world");
  EXPECT_EQ(stream.Read(word, 1), 0);
  stream.SetPosition(20);
  stream.WriteBuffer("!", 1);
  EXPECT_EQ(stream.Size(), 21);
  EXPECT_EQ(std::string(stream.Memory(), 5), "hello");
  EXPECT_EQ(stream.Seek(-100, SeekOrigin::Current), 0);
}

TEST(GranularMemoryStream, HugeCapacityFailsWithOutOfMemory) {
  TGranularMemoryStream stream;
  EXPECT_THROW_MSG(stream.SetSize(std::int64_t{1} << 62), Error,
                   "Out of memory while expanding memory stream");
  EXPECT_EQ(stream.Size(), 0);
}

}  // namespace
}  // namespace valise::adb
