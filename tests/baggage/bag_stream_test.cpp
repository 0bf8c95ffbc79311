// Reading entries: handles, block reads, seeking, the stream and copying entries out.
#include <filesystem>

#include "bag_test_support.h"
#include "platform/files.h"
#include "util/paths.h"

namespace valise::testing {
namespace {

class StreamTest : public BaggageTest {
 protected:
  // A stand-alone baggage with a 10-byte entry between two others, so that reading past an
  // entry's end would show the neighbour's bytes.
  void SetUp() override {
    BaggageTest::SetUp();
    BagWriter writer;
    writer.AddData("A.TXT", "aaaaaaaaaaaaaaaa");
    writer.AddData("TEN.DAT", "0123456789");
    writer.AddData("Z.TXT", "zzzzzzzzzzzzzzzz");
    writer.AddData("ZERO", "");
    writer.WriteStandalone(dir.win("S.BAG"));
    Init({"/bag=" + dir.win("S.BAG")});
  }
};

TEST_F(StreamTest, BlocksOfFourOverTenBytesThenNothing) {
  const BagHandle handle = BagFileOpen("ten.dat");
  char buffer[8] = {};
  std::uint32_t got = 99;
  ASSERT_TRUE(BagReadBlock(handle, buffer, 4, got));
  EXPECT_EQ(std::string(buffer, got), "0123");
  ASSERT_TRUE(BagReadBlock(handle, buffer, 4, got));
  EXPECT_EQ(std::string(buffer, got), "4567");
  ASSERT_TRUE(BagReadBlock(handle, buffer, 4, got));
  EXPECT_EQ(std::string(buffer, got), "89");
  EXPECT_FALSE(BagReadBlock(handle, buffer, 4, got));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(BagFileClose(handle));
}

TEST_F(StreamTest, InterleavedHandlesKeepTheirOwnPositions) {
  const BagHandle first = BagFileOpen("TEN.DAT");
  const BagHandle second = BagFileOpen("C:\\SOME\\PATH\\ten.dat");
  const BagHandle other = BagFileOpen("  Z.TXT\r\n");
  EXPECT_NE(first, second);
  char buffer[4];
  std::uint32_t got = 0;
  std::string a, b, z;
  for (int round = 0; round < 5; ++round) {
    if (BagReadBlock(first, buffer, 3, got)) a.append(buffer, got);
    if (BagReadBlock(other, buffer, 4, got)) z.append(buffer, got);
    if (BagReadBlock(second, buffer, 2, got)) b.append(buffer, got);
  }
  EXPECT_EQ(a, "0123456789");
  EXPECT_EQ(b, "0123456789");
  EXPECT_EQ(z, "zzzzzzzzzzzzzzzz");
  BagFileClose(other);
  BagFileClose(second);
  BagFileClose(first);
}

TEST_F(StreamTest, SeekFromTheEndCountsBack) {
  const BagHandle handle = BagFileOpen("TEN.DAT");
  EXPECT_EQ(BagSeekEx(handle, 0, 2), 10);
  EXPECT_EQ(BagSeekEx(handle, 3, 2), 7);
  char buffer[8];
  std::uint32_t got = 0;
  ASSERT_TRUE(BagReadBlock(handle, buffer, 8, got));
  EXPECT_EQ(std::string(buffer, got), "789");
  EXPECT_EQ(BagSeekEx(handle, -5, 1), 5);
  ASSERT_TRUE(BagReadBlock(handle, buffer, 2, got));
  EXPECT_EQ(std::string(buffer, got), "56");
  // Positions outside the entry are kept but read nothing.
  EXPECT_EQ(BagSeekEx(handle, -4, 0), -4);
  EXPECT_FALSE(BagReadBlock(handle, buffer, 2, got));
  EXPECT_EQ(BagSeekEx(handle, 40, 0), 40);
  EXPECT_FALSE(BagReadBlock(handle, buffer, 2, got));
  EXPECT_EQ(BagSeekEx(handle, 9, 7), 40);  // an unknown origin moves nothing
  BagFileClose(handle);
}

TEST_F(StreamTest, StreamSeeksLikeAnyStreamAndRefusesWrites) {
  TBaggageStream stream("ten.dat");
  EXPECT_EQ(stream.Size(), 10);
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_EQ(stream.Seek(-3, SeekOrigin::End), 7);
  char buffer[16];
  EXPECT_EQ(stream.Read(buffer, 16), 3);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_EQ(stream.Read(buffer, 16), 0);
  stream.SetPosition(2);
  EXPECT_EQ(stream.Read(buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), "234");
  EXPECT_THROW_MSG(stream.Write("x", 1), Error, "TBaggageStream.Write not permitted!");

  // Two streams on one entry are independent.
  TBaggageStream again("TEN.DAT");
  EXPECT_EQ(again.Read(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "01");
  EXPECT_EQ(stream.Read(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "56");
}

TEST_F(StreamTest, HandleFailures) {
  char buffer[4];
  std::uint32_t got = 0;
  EXPECT_THROW_MSG(BagReadBlock(12345, buffer, 4, got), Error, "BagReadBlock: File not open");
  EXPECT_THROW_MSG(BagSeekEx(12345, 0, 0), Error, "BagSeekEx: File not open");
  EXPECT_TRUE(BagFileClose(12345));
  EXPECT_THROW_MSG(BagFileOpen("  nothere.txt "), Error, "BagFileOpen: MMIO error at nothere.txt");

  // A new BagInit closes the open entries: their handles are gone, and never name an entry
  // of the new baggage.
  auto stream = std::make_unique<TBaggageStream>("TEN.DAT");
  const BagHandle old = stream->Handle();
  Init({"/bag=" + dir.win("S.BAG")});
  const BagHandle fresh = BagFileOpen("A.TXT");
  EXPECT_NE(fresh, old);
  EXPECT_THROW_MSG(BagReadBlock(old, buffer, 4, got), Error, "BagReadBlock: File not open");
  stream.reset();  // closing again is harmless
  EXPECT_TRUE(BagReadBlock(fresh, buffer, 4, got));
  EXPECT_EQ(std::string(buffer, got), "aaaa");
}

TEST_F(StreamTest, EntryBeyondTheEndOfTheContainerFailsWhenOpened) {
  std::string bag = ReadHostFile(dir.host() / "S.BAG");
  bag.resize(bag.size() - 10);  // cuts into Z.TXT, the last data (ZERO has none)
  dir.Write("CUT.BAG", bag);
  Init({"/bag=" + dir.win("CUT.BAG")});
  EXPECT_EQ(ReadEntry("TEN.DAT"), "0123456789");
  EXPECT_THROW_MSG(
      BagFileOpen("Z.TXT"), Error,
      "BagFileOpen: entry Z.TXT reaches beyond the end of " + Upper(dir.win("CUT.BAG")));
}

TEST_F(StreamTest, CopyFileWritesCompleteFilesOnly) {
  std::filesystem::create_directories(dir.host() / "out");
  ASSERT_TRUE(BagCopyFile("ten.dat", dir.win("out\\")));
  EXPECT_EQ(ReadHostFile(dir.host() / "out" / "ten.dat"), "0123456789");
  ASSERT_TRUE(BagCopyFile("ZERO", dir.win("out\\empty.bin")));
  EXPECT_TRUE(std::filesystem::exists(dir.host() / "out" / "empty.bin"));
  EXPECT_EQ(std::filesystem::file_size(dir.host() / "out" / "empty.bin"), 0u);

  // An existing file is replaced whole.
  dir.Write("out/target.txt", "old contents that are longer than the entry");
  ASSERT_TRUE(BagCopyFile("A.TXT", dir.win("out\\target.txt")));
  EXPECT_EQ(ReadHostFile(dir.host() / "out" / "target.txt"), "aaaaaaaaaaaaaaaa");

  // A copy that fails leaves the old file as it was and no temporary file behind.
  std::string bag = ReadHostFile(dir.host() / "S.BAG");
  bag.resize(bag.size() - 10);
  dir.Write("CUT.BAG", bag);
  Init({"/bag=" + dir.win("CUT.BAG")});
  EXPECT_THROW(BagCopyFile("Z.TXT", dir.win("out\\target.txt")), Error);
  EXPECT_EQ(ReadHostFile(dir.host() / "out" / "target.txt"), "aaaaaaaaaaaaaaaa");
  EXPECT_THROW_MSG(BagCopyFile("GONE.TXT", dir.win("out\\")), Error, "File GONE.TXT not found.");
  int files = 0;
  for (const auto& item : std::filesystem::directory_iterator(dir.host() / "out")) {
    (void)item;
    ++files;
  }
  EXPECT_EQ(files, 3);
}

TEST_F(StreamTest, ContainerRewrittenBetweenBaggagesIsReadAfresh) {
  // The container stays open between entries; a new baggage of the same name must not read the
  // old one's bytes.
  EXPECT_EQ(ReadEntry("TEN.DAT"), "0123456789");
  BagDone();
  BagWriter writer;
  writer.AddData("TEN.DAT", "abcdefghij");
  writer.AddData("NEW.DAT", "new");
  writer.WriteStandalone(dir.win("S.BAG"));
  Init({"/bag=" + dir.win("S.BAG")});
  EXPECT_EQ(ReadEntry("TEN.DAT"), "abcdefghij");
  EXPECT_EQ(ReadEntry("NEW.DAT"), "new");
}

TEST_F(StreamTest, CopyOntoAnExistingNameInOtherCaseReplacesThatFile) {
  std::filesystem::create_directories(dir.host() / "out");
  dir.Write("out/Ten.Dat", "old");
  ASSERT_TRUE(BagCopyFile("TEN.DAT", dir.win("out\\")));
  EXPECT_EQ(ReadHostFile(dir.host() / "out" / "Ten.Dat"), "0123456789");
  int files = 0;
  for (const auto& item : std::filesystem::directory_iterator(dir.host() / "out")) {
    (void)item;
    ++files;
  }
  EXPECT_EQ(files, 1);
  // A folder in the way is not replaced.
  std::filesystem::create_directories(dir.host() / "out" / "A.TXT");
  EXPECT_THROW(BagCopyFile("A.TXT", dir.win("out\\")), Error);
  EXPECT_TRUE(std::filesystem::is_directory(dir.host() / "out" / "A.TXT"));
}

TEST_F(BaggageTest, LooseFilesReadAtTheirRealSize) {
  std::filesystem::create_directories(dir.host() / "BAG");
  dir.Write("BAG/DATA.TXT", "12345");
  Init({});
  ASSERT_TRUE(WaitForListing());
  EXPECT_EQ(BagFileSize("DATA.TXT"), 5u);
  dir.Write("BAG/DATA.TXT", "123456789");  // the listing is out of date now
  TBaggageStream stream(BagFileName("data.txt"));
  EXPECT_EQ(stream.Size(), 9);
  EXPECT_EQ(BagFileSize("DATA.TXT"), 9u);
  // A file outside the baggage can be opened by its path in loose-file mode.
  dir.Write("ELSEWHERE.TXT", "elsewhere");
  EXPECT_EQ(ReadEntry(dir.win("ELSEWHERE.TXT")), "elsewhere");
}

TEST_F(BaggageTest, EntryNamesNeverLeadOutsideTheDestination) {
  // Names with separators or dots cannot come from the writer; a loose-file baggage can only
  // hand them over when the caller passes them in, and then only the file-name part counts.
  std::filesystem::create_directories(dir.host() / "BAG");
  std::filesystem::create_directories(dir.host() / "dest");
  dir.Write("BAG/EVIL.TXT", "evil");
  Init({});
  ASSERT_TRUE(WaitForListing());
  ASSERT_TRUE(BagCopyFile("..\\..\\EVIL.TXT", dir.win("dest\\")));
  EXPECT_EQ(ReadHostFile(dir.host() / "dest" / "EVIL.TXT"), "evil");
  ASSERT_TRUE(BagCopyFile("../EVIL.TXT", dir.win("dest\\")));
  EXPECT_FALSE(std::filesystem::exists(dir.host() / "EVIL.TXT"));
  EXPECT_THROW(BagCopyFile("..", dir.win("dest\\")), Error);
  EXPECT_EQ(ExtractFileName("a\\b/c:d.txt"), "d.txt");
  EXPECT_THROW(BagWriter().AddData("..", "x"), Error);
  EXPECT_THROW(BagWriter().AddData("A/B", "x"), Error);
}

}  // namespace
}  // namespace valise::testing
