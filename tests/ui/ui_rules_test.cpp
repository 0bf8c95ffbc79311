// The window's rules that are not about drawing: the logo's place and pixel arithmetic, and the
// confirmation dialog's layout sums.
#include <gtest/gtest.h>

#include "platform/image.h"
#include "ui/dialog_layout.h"
#include "ui/logo_paint.h"

namespace valise::ui {
namespace {

using platform::Bitmap32;

Bitmap32 Image(int width, int height, std::vector<std::uint8_t> pixels) {
  return Bitmap32{width, height, std::move(pixels)};
}

TEST(LogoPaint, PlaceShadeAndBlend) {
  EXPECT_EQ(LogoPosition(392, 352, 120, 50).x, 136);
  EXPECT_EQ(LogoPosition(392, 352, 120, 50).y, 294);
  EXPECT_EQ(LogoPosition(121, 100, 120, 50).x, 0);
  EXPECT_EQ(LogoPosition(100, 40, 120, 50).x, -10);  // toward zero, not down

  // Two pixels, channels in the order blue, green, red and the fourth byte.
  Bitmap32 work = Image(2, 1, {200, 255, 1, 77, 90, 90, 90, 5});
  const Bitmap32 background = Image(2, 1, {128, 255, 254, 0, 255, 0, 255, 0});
  const Bitmap32 foreground = Image(2, 1, {10, 255, 0, 100, 30, 40, 50, 255});
  ASSERT_TRUE(PaintLogo(work, background, foreground));
  // Blue: shaded 128*200/255 = 100, then 155*100/255 + 10*100/255 = 60 + 3 (not 16500/255 = 64).
  // Green: 255 throughout; red: 254*1/255 = 0. An opaque foreground pixel replaces the colour.
  EXPECT_EQ(work.pixels, (std::vector<std::uint8_t>{63, 255, 0, 77, 30, 40, 50, 5}));

  // The fully transparent foreground leaves the shade alone.
  Bitmap32 shadeOnly = Image(1, 1, {100, 200, 250, 0});
  ASSERT_TRUE(PaintLogo(shadeOnly, Image(1, 1, {51, 102, 255, 0}), Image(1, 1, {9, 9, 9, 0})));
  EXPECT_EQ(shadeOnly.pixels, (std::vector<std::uint8_t>{20, 80, 250, 0}));

  // Images of different sizes paint nothing.
  Bitmap32 untouched = Image(1, 1, {1, 2, 3, 4});
  EXPECT_FALSE(
      PaintLogo(untouched, Image(2, 1, std::vector<std::uint8_t>(8)), Image(1, 1, {0, 0, 0, 0})));
  EXPECT_FALSE(PaintLogo(untouched, Image(1, 1, {0, 0, 0, 0}), Bitmap32{}));
  EXPECT_EQ(untouched.pixels, (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST(DialogLayout, KeepsTheDesignSizeGrowsWithTextsAndCentresTheButtons) {
  DialogMeasures m;
  m.frameWidth = 6;
  m.frameHeight = 25;
  // Short texts: the design size; equal buttons centred on the outer width (285).
  m.labelWidth = 180;
  m.labelHeight = 13;
  m.yesCaptionWidth = 20;
  m.noCaptionWidth = 15;
  DialogLayout layout = LayoutDialog(m);
  EXPECT_EQ(layout.clientWidth, 279);
  EXPECT_EQ(layout.clientHeight, 92);
  EXPECT_EQ(layout.Width(m), 285);
  EXPECT_EQ(layout.buttonWidth, 46);
  EXPECT_EQ(layout.yesLeft, 93);  // (285 - 98) / 2
  EXPECT_EQ(layout.noLeft, 145);
  EXPECT_EQ(layout.buttonTop, 60);

  // A long message and captions of different lengths: 56 + text + 10 wide, the wider caption
  // sets both buttons, which move to stay centred; a taller text makes the dialog taller.
  m.labelWidth = 400;
  m.labelHeight = 65;
  m.yesCaptionWidth = 20;
  m.noCaptionWidth = 55;
  layout = LayoutDialog(m);
  EXPECT_EQ(layout.clientWidth, 466);
  EXPECT_EQ(layout.clientHeight, 24 + 65 + 23);
  EXPECT_EQ(layout.buttonWidth, 81);
  EXPECT_EQ(layout.yesLeft, 152);  // (472 - 168) / 2
  EXPECT_EQ(layout.noLeft, 239);

  // Buttons wider than the client area: their width with the gap, plus 32.
  m.labelWidth = 100;
  m.labelHeight = 13;
  m.yesCaptionWidth = 150;
  m.noCaptionWidth = 10;
  layout = LayoutDialog(m);
  EXPECT_EQ(layout.buttonWidth, 176);
  EXPECT_EQ(layout.clientWidth, 358 + 32);
  EXPECT_EQ(layout.clientHeight, 92);
  EXPECT_EQ(layout.yesLeft, 19);  // (396 - 358) / 2
  EXPECT_EQ(layout.noLeft, 201);
}

}  // namespace
}  // namespace valise::ui
