#include "ui/dialog_layout.h"

#include <algorithm>

namespace valise::ui {

DialogLayout LayoutDialog(const DialogMeasures& m) {
  using D = CancelDialogDesign;
  const int designWidth = D::kClientWidth + m.frameWidth;
  const int designHeight = D::kClientHeight + m.frameHeight;
  DialogLayout layout;
  layout.clientWidth = D::kLabelLeft + m.labelWidth + D::kImageLeft;
  layout.clientHeight = 3 * D::kLabelTop + m.labelHeight + D::kButtonHeight;
  layout.buttonWidth = std::max(m.yesCaptionWidth, m.noCaptionWidth) + D::kCaptionPadding;
  if (layout.Width(m) < designWidth) layout.clientWidth = designWidth - m.frameWidth;
  if (layout.Height(m) < designHeight) layout.clientHeight = designHeight - m.frameHeight;
  const int buttons = 2 * layout.buttonWidth + D::kButtonGap;
  if (layout.clientWidth < buttons) layout.clientWidth = buttons + 32;
  // Centred on the outer width, as the buttons' left edges are counted in the client area.
  layout.yesLeft = (layout.Width(m) - buttons) / 2;
  layout.noLeft = layout.yesLeft + layout.buttonWidth + D::kButtonGap;
  return layout;
}

}  // namespace valise::ui
