// The arithmetic of painting the setup window's logo: where it goes, and how the window's own
// pixels there are shaded by the background image and then blended with the foreground.
#pragma once

#include "platform/image.h"

namespace valise::ui {

struct LogoPoint {
  int x = 0;
  int y = 0;
};

// The logo's top left corner in the client area: centred horizontally (rounded toward zero),
// its bottom edge 8 pixels above the client area's bottom.
LogoPoint LogoPosition(int clientWidth, int clientHeight, int logoWidth, int logoHeight);

// Paints the logo into `work`, a copy of the window's pixels under it. First each colour channel
// c of every work pixel becomes background c * c / 255; then, with a the foreground pixel's
// alpha, ((255 - a) * c) / 255 + (foreground c * a) / 255, each quotient truncated on its own.
// The work pixels' fourth byte is left alone. All three images must have the same size; when
// they do not, nothing is painted and the result is false.
bool PaintLogo(platform::Bitmap32& work, const platform::Bitmap32& background,
               const platform::Bitmap32& foreground);

}  // namespace valise::ui
