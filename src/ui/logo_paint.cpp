#include "ui/logo_paint.h"

namespace valise::ui {

LogoPoint LogoPosition(int clientWidth, int clientHeight, int logoWidth, int logoHeight) {
  // Integer division truncates toward zero, also for a client area narrower than the logo.
  return {(clientWidth - logoWidth) / 2, clientHeight - logoHeight - 8};
}

bool PaintLogo(platform::Bitmap32& work, const platform::Bitmap32& background,
               const platform::Bitmap32& foreground) {
  const auto sameSize = [&](const platform::Bitmap32& image) {
    return image.width == work.width && image.height == work.height &&
           image.pixels.size() == work.pixels.size();
  };
  // Images of other sizes would be read beyond their ends: such a logo is not painted.
  if (!sameSize(background) || !sameSize(foreground) ||
      work.pixels.size() != static_cast<std::size_t>(work.width) * work.height * 4) {
    return false;
  }
  for (std::size_t at = 0; at < work.pixels.size(); at += 4) {
    const unsigned alpha = foreground.pixels[at + 3];
    for (std::size_t c = at; c < at + 3; ++c) {
      const unsigned shaded = background.pixels[c] * unsigned{work.pixels[c]} / 255;
      work.pixels[c] = static_cast<std::uint8_t>((255 - alpha) * shaded / 255 +
                                                 foreground.pixels[c] * alpha / 255);
    }
  }
  return true;
}

}  // namespace valise::ui
