// The setup window's logo as the program carries it: the committed collection holds both images
// where the window looks for them (win32/logo_pixels_test.cpp decodes them).
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/host_paths.h"
#include "smallcol/smallcol.h"

namespace valise::smallcol {
namespace {

TEST(Logo, TheCarriedCollectionHoldsBothImages) {
  TMemoryStream blob(platform::ReadWholeFile(platform::ToWindowsPath(VALISE_LOGO_BLOB)));
  TSmallFilesCollection collection;
  collection.LoadBinaryData(blob);
  ASSERT_EQ(collection.FileList().Count(), 2u);
  EXPECT_EQ(collection.FileList()[0].Name, "KQ_LOGO_GENERIC_BG.BMP");
  EXPECT_EQ(collection.FileList()[1].Name, "KQ_LOGO_GENERIC_FG.PNG");
  EXPECT_EQ(collection.FileList()[1].Record.Offset, collection.FileList()[0].Record.Size);
  EXPECT_EQ(collection.TotalSize(), 18054 + 24178);
  // Found by the names the window asks for, in any letter case.
  EXPECT_EQ(collection.GetFileStream("kq_logo_generic_fg.png")->View().size(), 24178u);
  EXPECT_EQ(collection.GetFileStream("KQ_Logo_Generic_BG.bmp")->View().size(), 18054u);
}

}  // namespace
}  // namespace valise::smallcol
