// The setup window's logo images decode, through the system's imaging component, to the pixels
// drawn.
#include <gtest/gtest.h>

#include <span>
#include <string>

#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/image.h"
#include "smallcol/smallcol.h"

namespace valise::smallcol {
namespace {

using platform::Bitmap32;

std::uint32_t Argb(unsigned a, unsigned r, unsigned g, unsigned b) {
  return a << 24 | r << 16 | g << 8 | b;
}

Bitmap32 Decode(const TSmallFilesCollection& collection, const char* name) {
  const auto stream = collection.GetFileStream(name);
  const std::string_view bytes = stream->View();
  const auto bitmap = platform::DecodeImage(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  EXPECT_TRUE(bitmap) << name;
  if (!bitmap) return {};
  EXPECT_EQ(bitmap->width, 120);
  EXPECT_EQ(bitmap->height, 50);
  return *bitmap;
}

TEST(Logo, BothImagesDecodeToThePixelsDrawn) {
  TMemoryStream blob(platform::ReadWholeFile(platform::ToWindowsPath(VALISE_LOGO_BLOB)));
  TSmallFilesCollection collection;
  collection.LoadBinaryData(blob);

  // The foreground: clear around the suitcase, an opaque body and word, soft edges.
  const Bitmap32 foreground = Decode(collection, "kq_logo_generic_fg.png");
  ASSERT_EQ(foreground.pixels.size(), 120u * 50 * 4);
  EXPECT_EQ(foreground.Pixel(0, 0), 0u);
  EXPECT_EQ(foreground.Pixel(119, 49), 0u);
  EXPECT_EQ(foreground.Pixel(25, 35), Argb(255, 196, 114, 45));
  EXPECT_EQ(foreground.Pixel(81, 30), Argb(255, 42, 77, 120));
  EXPECT_EQ(foreground.Pixel(6, 15), Argb(80, 107, 53, 18));
  // The shade: white at the top corners, a blue grey below, the drop shadow under the case.
  const Bitmap32 background = Decode(collection, "KQ_Logo_Generic_BG.bmp");
  ASSERT_EQ(background.pixels.size(), 120u * 50 * 4);
  EXPECT_EQ(background.Pixel(0, 0), Argb(255, 255, 255, 255));
  EXPECT_EQ(background.Pixel(119, 0), Argb(255, 255, 255, 255));
  EXPECT_EQ(background.Pixel(60, 49), Argb(255, 232, 240, 250));
  EXPECT_EQ(background.Pixel(27, 46), Argb(255, 175, 179, 185));
}

}  // namespace
}  // namespace valise::smallcol
