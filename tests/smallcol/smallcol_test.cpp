// The small files collection: blobs built by hand, loaded, looked up and stored again; bad
// blobs; and reading a folder as the designer does.
#include "smallcol/smallcol.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/bytes.h"
#include "platform/errors.h"
#include "test_support.h"

namespace valise::smallcol {
namespace {

using testing::TempDir;

std::string U32(std::uint32_t value) {
  std::string bytes;
  platform::AppendU32(bytes, value);
  return bytes;
}

std::string Blob(std::string_view text,
                 const std::vector<std::pair<std::uint32_t, std::uint32_t>>& records,
                 std::string_view data) {
  std::string bytes = U32(static_cast<std::uint32_t>(text.size()));
  bytes += text;
  for (const auto& [offset, size] : records) bytes += U32(offset) + U32(size);
  bytes += data;
  return bytes;
}

std::string Read(TMemoryStream& stream) {
  std::string bytes(static_cast<std::size_t>(stream.Size() - stream.Position()), '\0');
  stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  return bytes;
}

std::vector<std::string> Names(const TSmallFilesCollection& collection) {
  std::vector<std::string> names;
  for (const auto& line : collection.FileList()) names.push_back(line.Name);
  return names;
}

TEST(SmallFilesCollection, LoadsUnsortedNamesAndHandsOutIndependentStreams) {
  // Unsorted names with mixed line ends and no final CR LF; the ANSI name "Zwölf.txt"; the
  // last record (an empty file) fixes the data area's size; bytes after the blob stay unread.
  const std::string blob =
      Blob("zeta.txt\r\nALPHA.BIN\nZw\xF6lf.txt\rMid.dat", {{0, 3}, {5, 5}, {3, 2}, {10, 0}},
           "zzz\xC4\xE4"
           "alpha");
  TMemoryStream input(blob + "TAIL");
  TSmallFilesCollection collection;
  collection.LoadBinaryData(input);
  EXPECT_EQ(input.Position(), static_cast<std::int64_t>(blob.size()));
  EXPECT_EQ(Names(collection),
            (std::vector<std::string>{"ALPHA.BIN", "Mid.dat", "zeta.txt", "Zw\xC3\xB6lf.txt"}));
  EXPECT_EQ(collection.FileList()[0].Record.Offset, 5u);
  EXPECT_EQ(collection.FileList()[0].Record.Size, 5u);
  EXPECT_EQ(collection.TotalSize(), 10);
  EXPECT_TRUE(collection.HasBinaryData());

  // Any letter case finds a file; each call gives a stream of its own at position 0.
  auto first = collection.GetFileStream("alpha.bin");
  auto second = collection.GetFileStream("Alpha.Bin");
  EXPECT_EQ(first->Position(), 0);
  EXPECT_EQ(Read(*first), "alpha");
  first->SetPosition(0);
  first->WriteBuffer("XY", 2);
  EXPECT_EQ(Read(*second), "alpha");
  EXPECT_EQ(collection.GetFileStream("ALPHA.BIN")->View(), "alpha");
  EXPECT_EQ(collection.GetFileStream("ZETA.TXT")->View(), "zzz");
  EXPECT_EQ(collection.GetFileStream("ZW\xC3\x96LF.TXT")->View(), "\xC4\xE4");
  EXPECT_EQ(collection.GetFileStream("mid.dat")->Size(), 0);
  EXPECT_THROW_MSG(collection.GetFileStream("logo.png"), Error,
                   "File LOGO.PNG not found (TSmallFilesCollection)");

  // Stored again: sorted names each with CR LF, records in the same order, and the files in
  // that order, so that the last record ("Zwölf.txt", first in the data area as loaded) ends
  // the data area again and a reader gets every file back.
  TMemoryStream stored;
  collection.StoreBinaryData(stored);
  const std::string expected = Blob("ALPHA.BIN\r\nMid.dat\r\nzeta.txt\r\nZw\xF6lf.txt\r\n",
                                    {{0, 5}, {5, 0}, {5, 3}, {8, 2}}, "alphazzz\xC4\xE4");
  EXPECT_EQ(stored.View(), expected);
  stored.SetPosition(0);
  TSmallFilesCollection again;
  again.LoadBinaryData(stored);
  EXPECT_EQ(Names(again), Names(collection));
  for (const auto& line : collection.FileList()) {
    EXPECT_EQ(again.GetFileStream(line.Name)->View(), collection.GetFileStream(line.Name)->View());
  }
}

TEST(SmallFilesCollection, EmptyCollection) {
  TSmallFilesCollection collection;
  EXPECT_FALSE(collection.HasBinaryData());
  EXPECT_EQ(collection.TotalSize(), 0);
  TMemoryStream stored;
  collection.StoreBinaryData(stored);
  EXPECT_EQ(stored.View(), std::string(4, '\0'));

  // A blob of the length alone empties a collection that held files.
  TMemoryStream full(Blob("A", {{0, 1}}, "a"));
  collection.LoadBinaryData(full);
  EXPECT_EQ(collection.TotalSize(), 1);
  TMemoryStream empty(std::string(4, '\0') + "rest");
  collection.LoadBinaryData(empty);
  EXPECT_EQ(empty.Position(), 4);
  EXPECT_FALSE(collection.HasBinaryData());
  EXPECT_EQ(collection.TotalSize(), 0);
  EXPECT_THROW_MSG(collection.GetFileStream("a"), Error,
                   "File A not found (TSmallFilesCollection)");
}

TEST(SmallFilesCollection, BadBlobsSayWhatIsWrongAndLeaveNoFiles) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "truncated name length"},
      {std::string("\x05\0\0", 3), "truncated name length"},
      {U32(10) + "A\r\nB", "truncated name text"},
      {U32(0xFFFFFFFFu) + "A", "truncated name text"},
      {U32(3) + std::string("A\0B", 3) + U32(0) + U32(0), "corrupt name text"},
      {U32(4) + "A\r\nB" + U32(0) + U32(1), "truncated file records"},
      {U32(4) + "A\r\nB" + U32(0) + U32(1) + U32(1) + "xx", "truncated file records"},
      {Blob("A\r\nB", {{0, 1}, {1, 9}}, "abcd"), "truncated data area"},
      {Blob("A", {{0xFFFFFFFFu, 0xFFFFFFFFu}}, "abcd"), "truncated data area"},
      {Blob("A\r\nB", {{100, 1}, {0, 2}}, "ab"), "corrupt record of A"},
      {Blob("A\r\nB", {{1, 2}, {0, 2}}, "ab"), "corrupt record of A"},
  };
  for (const auto& [bytes, message] : cases) {
    SCOPED_TRACE(message);
    TSmallFilesCollection collection;
    TMemoryStream good(Blob("A", {{0, 1}}, "a"));
    collection.LoadBinaryData(good);
    TMemoryStream input(bytes);
    EXPECT_THROW_MSG(collection.LoadBinaryData(input), Error,
                     "Invalid small files collection: " + message);
    EXPECT_FALSE(collection.HasBinaryData());
    EXPECT_EQ(collection.TotalSize(), 0);
  }
}

TEST(SmallFilesCollection, ReadsAFolderAsTheDesignerDoes) {
  TempDir one;
  one.Write("b.txt", "bbb");
  one.Write("A.png", "aa");
  one.Write("sub/c.txt", "not stored");
  TempDir two;
  two.Write("big.bin", std::string(4 * 1024 * 1024 + 1, 'x'));

  std::vector<std::string> questions;
  bool answer = false;
  const TConfirm confirm = [&](const std::string& question) {
    questions.push_back(question);
    return answer;
  };
  TSmallFilesCollection collection;
  collection.SetFilePath(one.win(), confirm);
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(collection.FilePath(), one.win() + "\\");
  // Upper-cased names; offsets follow the sorted names without gaps.
  EXPECT_EQ(Names(collection), (std::vector<std::string>{"A.PNG", "B.TXT"}));
  EXPECT_EQ(collection.FileList()[1].Record.Offset, 2u);
  EXPECT_EQ(collection.FileList()[1].Record.Size, 3u);
  EXPECT_EQ(collection.TotalSize(), 5);
  EXPECT_EQ(collection.GetFileStream("b.txt")->View(), "bbb");

  // The same folder in another case, with or without its final "\", changes nothing.
  one.Write("later.txt", "l");
  collection.SetFilePath(one.win(), confirm);
  collection.SetFilePath(one.win() + "\\", confirm);
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(collection.FileList().Count(), 2u);
  collection.InfoAndRefresh(confirm);
  EXPECT_EQ(Names(collection), (std::vector<std::string>{"A.PNG", "B.TXT", "LATER.TXT"}));

  // Another folder needs a Yes, and then more than 4 MiB needs another.
  collection.SetFilePath(two.win(), confirm);
  EXPECT_EQ(questions, std::vector<std::string>{"Reset path and clear file list?"});
  EXPECT_EQ(collection.FilePath(), one.win() + "\\");
  EXPECT_EQ(collection.FileList().Count(), 3u);
  answer = true;
  collection.SetFilePath(two.win(), [&](const std::string& question) {
    questions.push_back(question);
    return questions.size() == 2;
  });
  EXPECT_EQ(questions.back(), "Total Size is 4.00 MByte. Continue?");
  EXPECT_EQ(collection.FilePath(), two.win() + "\\");
  EXPECT_FALSE(collection.HasBinaryData());
  EXPECT_EQ(collection.TotalSize(), 0);

  collection.InfoAndRefresh(confirm);
  EXPECT_EQ(Names(collection), std::vector<std::string>{"BIG.BIN"});
  EXPECT_EQ(collection.TotalSize(), 4 * 1024 * 1024 + 1);
}

}  // namespace
}  // namespace valise::smallcol
