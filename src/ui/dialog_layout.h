// The sizes and positions of the confirmation dialog, worked out from its measured texts so that
// translated captions fit: the dialog grows with its message and buttons but never gets smaller
// than its design size.
#pragma once

namespace valise::ui {

// The dialog's design: client area, message label, symbol and buttons, in client pixels.
struct CancelDialogDesign {
  static constexpr int kClientWidth = 279;
  static constexpr int kClientHeight = 92;
  static constexpr int kImageLeft = 10;
  static constexpr int kLabelLeft = 56;
  static constexpr int kLabelTop = 8;
  static constexpr int kButtonTop = 60;
  static constexpr int kButtonHeight = 23;
  static constexpr int kButtonGap = 6;
  static constexpr int kCaptionPadding = 26;
};

// What the front end measures in the dialog's font.
struct DialogMeasures {
  int labelWidth = 0;  // the message, as the label sizes itself to it
  int labelHeight = 0;
  int yesCaptionWidth = 0;
  int noCaptionWidth = 0;
  int frameWidth = 0;   // the window's outer width less its client width
  int frameHeight = 0;  // the same for the height
};

struct DialogLayout {
  int clientWidth = 0;
  int clientHeight = 0;
  int buttonWidth = 0;  // both buttons
  int yesLeft = 0;
  int noLeft = 0;
  int buttonTop = CancelDialogDesign::kButtonTop;
  int Width(const DialogMeasures& m) const { return clientWidth + m.frameWidth; }
  int Height(const DialogMeasures& m) const { return clientHeight + m.frameHeight; }
};

// The client area holds the label with the symbol's margin on its right and three label tops
// above the buttons' height; both buttons are as wide as the wider caption plus 26; the outer
// size is at least the design's; a client area narrower than the buttons with their gap becomes
// that width plus 32; the buttons sit side by side 6 pixels apart, centred on the outer width.
DialogLayout LayoutDialog(const DialogMeasures& measures);

}  // namespace valise::ui
