// The record store: what the install run writes is what the next run finds, and deleting a
// record takes it with everything below it.
#include <gtest/gtest.h>

#include "setup/records.h"
#include "setup_test_support.h"

namespace valise::setup {
namespace {

using testing::FakeUI;
using testing::TestRegistry;

TEST(RecordStore, WrittenRecordsScanBackAndDeleteWhole) {
  TestRegistry registry;
  const TRecordStore records(platform::RegRoot::CurrentUser, "\\" + registry.Path());
  {
    TSetupRegistry writer(records.Root());
    writer.OpenKey(records.RecordPath(RecordKey("RSE", 3, 4711)));
    writer.WriteString("Title", "Reise");
    writer.WriteString("DeleteFile1", "C:\\Old\\OLD.TXT");
    writer.WriteString("FileGroup1", "C:\\Reise");
    writer.WriteString("FileGroup1File1", "A.EXE");
    writer.WriteString("FileGroup1File2", "READ ME.TXT");
    writer.WriteString("FileGroup2", "C:\\Reise\\doc");
    writer.WriteString("ShellLink1", "C:\\Menu\\Reise.lnk");
    writer.OpenKey("\\" + records.RecordPath("Alt"));
    writer.WriteString("Title", "Alt");
    writer.WriteInteger("AltRegKey", 1);
    writer.OpenKey("\\" + records.RecordPath("Settings"));  // no record: passed over
    writer.WriteString("Colour", "blue");
    writer.CloseKey();
  }
  EXPECT_TRUE(HoldsRecords(records.Root(), records.BaseKey()));

  FakeUI ui;
  const auto found = records.Scan(ui);
  ASSERT_EQ(found.size(), 2u);
  const TSetupApplication& rse = found[0]->RecordKeyName == "Alt" ? *found[1] : *found[0];
  const TSetupApplication& alt = found[0]->RecordKeyName == "Alt" ? *found[0] : *found[1];
  EXPECT_TRUE(rse.Installed);
  EXPECT_EQ(rse.RecordKeyName, "RSE_3_4711");
  EXPECT_EQ(rse.RecordKey(), "RSE_3_4711");
  EXPECT_EQ(rse.Title, "Reise");
  EXPECT_EQ(rse.DeleteFiles, std::vector<std::string>{"C:\\Old\\OLD.TXT"});
  ASSERT_EQ(rse.FileGroups.size(), 2u);
  EXPECT_EQ(rse.FileGroups[0]->DestDir, "C:\\Reise");
  EXPECT_EQ(rse.FileGroups[0]->Files, (std::vector<std::string>{"A.EXE", "READ ME.TXT"}));
  EXPECT_TRUE(rse.FileGroups[1]->Files.empty());
  ASSERT_EQ(rse.ShellLinks.size(), 1u);
  EXPECT_EQ(rse.ShellLinks[0]->RecordedFile(), "C:\\Menu\\Reise.lnk");
  EXPECT_EQ(alt.Version, -1);
  EXPECT_EQ(alt.Title, "Alt");

  EXPECT_TRUE(records.Delete("RSE_3_4711"));
  EXPECT_TRUE(records.Delete("Alt"));
  EXPECT_TRUE(records.Scan(ui).empty());
  EXPECT_FALSE(HoldsRecords(records.Root(), records.BaseKey()));
  EXPECT_TRUE(testing::KeyExists(records.Root(), registry.Path() + "\\Settings"));
}

}  // namespace
}  // namespace valise::setup
