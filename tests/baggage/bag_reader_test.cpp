// The background listing of a loose-file baggage and its hand-over to the main thread.
#include <filesystem>

#include "bag_test_support.h"
#include "baggage/bag_reader.h"
#include "platform/files.h"

namespace valise::testing {
namespace {

class ReaderTest : public BaggageTest {
 protected:
  // Fills a loose-file folder with `count` files "F0000.DAT"... of 1 to 3 bytes.
  void Fill(const std::string& folder, int count, const std::string& prefix = "F") {
    std::filesystem::create_directories(dir.host() / folder);
    for (int i = 0; i < count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "%s%04d.dat", prefix.c_str(), i);
      dir.Write(folder + "/" + name, std::string(1 + i % 3, 'x'));
    }
  }
};

TEST_F(ReaderTest, ThirteenHundredFilesAreListedSortedAndFoundBeforeAndAfter) {
  Fill("BAG", 1300);
  dir.Write("BAG/A LONG FILE NAME.TXT", "long");
  std::filesystem::create_directories(dir.host() / "BAG" / "SUBDIR");
  dir.Write("BAG/SUBDIR/INNER.TXT", "inner");
  Init({});
  ASSERT_FALSE(BagHasContainer());
  // Before the hand-over (nothing has pumped yet) lookups probe for the one name.
  ASSERT_FALSE(BagIsDirComplete());
  const int early = BagFindEntry("f0777.DAT");
  ASSERT_GE(early, 0);
  EXPECT_EQ(BagEntries()[early].Name, "F0777.DAT");
  EXPECT_EQ(BagFileSize("F0778.DAT"), 2u);
  EXPECT_EQ(BagFileSize("f0779.dat"), 3u);
  EXPECT_EQ(BagFindEntry("SUBDIR"), -1);
  EXPECT_EQ(BagFindEntry("NOPE.DAT"), -1);

  ASSERT_TRUE(WaitForListing());
  EXPECT_EQ(TBagReaderThread::LastCapacity(), 1536u);
  const auto& entries = BagEntries();
  ASSERT_EQ(entries.size(), 1301u);
  for (std::size_t i = 1; i < entries.size(); ++i) {
    ASSERT_LT(platform::CompareTextIgnoreCase(entries[i - 1].Name, entries[i].Name), 0);
  }
  // The same lookups now go through the binary search.
  EXPECT_GE(BagFindEntry("f0777.dat"), 0);
  EXPECT_EQ(BagEntries()[BagFindEntry("F0001.DAT")].Size, 2u);
  EXPECT_EQ(BagFindEntry("SUBDIR"), -1);
  EXPECT_EQ(BagFindEntry("INNER.TXT"), -1);
  // A long name is listed under its first twelve characters.
  const int longName = BagFindEntry("A LONG FILE NAME.TXT");
  ASSERT_GE(longName, 0);
  EXPECT_EQ(BagEntries()[longName].Name, "A LONG FILE ");
  EXPECT_EQ(ReadEntry("F1299.DAT"), "x");
}

TEST_F(ReaderTest, HiddenFilesAreNotListed) {
  Fill("BAG", 3);
  // A leading dot hides a file on Linux; on Windows the attribute does.
  dir.Write("BAG/.SECRET.DAT", "s");
  platform::SetFileAttributes(dir.win("BAG\\.SECRET.DAT"), platform::kAttrHidden);
  if ((platform::GetFileAttributes(dir.win("BAG\\.SECRET.DAT")).value_or(0) &
       platform::kAttrHidden) == 0) {
    GTEST_SKIP() << "no hidden files here";
  }
  Init({});
  ASSERT_TRUE(WaitForListing());
  EXPECT_EQ(BagEntries().size(), 3u);
  EXPECT_EQ(BagFindEntry(".SECRET.DAT"), -1);
}

TEST_F(ReaderTest, EmptyOrMissingFolderGivesAnEmptyCompleteDirectory) {
  Init({});  // no "BAG\" beside the program
  ASSERT_TRUE(WaitForListing());
  EXPECT_TRUE(BagEntries().empty());
  std::filesystem::create_directories(dir.host() / "EMPTY");
  Init({"/bag=" + dir.win("EMPTY")});
  ASSERT_TRUE(WaitForListing());
  EXPECT_TRUE(BagEntries().empty());
  // Once complete, a file that appears later is no longer probed for.
  dir.Write("EMPTY/LATE.TXT", "late");
  EXPECT_EQ(BagFindEntry("LATE.TXT"), -1);
}

TEST_F(ReaderTest, NewBaggageDuringAScanNeverReceivesTheOldListing) {
  Fill("OLD", 1300, "OLD");
  Fill("NEW", 5, "NEW");
  Init({"/bag=" + dir.win("OLD")});
  EXPECT_FALSE(BagIsDirComplete());
  // Selected before anything pumped: the old reader is scanning or waiting to hand over.
  Init({"/bag=" + dir.win("NEW")});
  ASSERT_TRUE(WaitForListing());
  // Give a stray hand-over every chance to arrive.
  for (int i = 0; i < 20; ++i) platform::WaitPumping(10);
  EXPECT_EQ(BagEntries().size(), 5u);
  EXPECT_EQ(BagFindEntry("OLD0001.DAT"), -1);
  EXPECT_GE(BagFindEntry("NEW0001.DAT"), 0);

  // A container selected during a scan is not replaced by it either.
  Init({"/bag=" + dir.win("OLD")});
  BagWriter writer;
  writer.AddData("ONLY.TXT", "only");
  writer.WriteStandalone(dir.win("C.BAG"));
  Init({"/bag=" + dir.win("C.BAG")});
  for (int i = 0; i < 50; ++i) platform::WaitPumping(10);
  ASSERT_EQ(BagEntries().size(), 1u);
  EXPECT_EQ(BagEntries()[0].Name, "ONLY.TXT");

  // BagDone during a scan leaves a complete, empty directory.
  Init({"/bag=" + dir.win("OLD")});
  BagDone();
  EXPECT_TRUE(BagIsDirComplete());
  for (int i = 0; i < 50; ++i) platform::WaitPumping(10);
  EXPECT_TRUE(BagEntries().empty());
}

}  // namespace
}  // namespace valise::testing
