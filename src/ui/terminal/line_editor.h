// A one-line text field: typing inserts at the cursor, Left, Right, Home and End move it,
// Backspace and Delete remove a character. It scrolls sideways to keep the cursor in view.
#pragma once

#include <string>
#include <string_view>

#include "ui/terminal/screen.h"

namespace valise::ui::terminal {

class TLineEditor {
 public:
  // Replaces the text and puts the cursor at its end.
  void SetText(std::string_view utf8);
  std::string Text() const;

  // Returns true when the key changed the text. Keys it has no use for change nothing.
  bool HandleKey(const TKey& key);

  // Draws the field `width` columns wide and puts the screen's cursor where it stands.
  void Draw(TScreen& screen, int row, int column, int width, unsigned attr);

 private:
  std::wstring text_;
  std::size_t cursor_ = 0;
  int scroll_ = 0;  // the first column shown
};

}  // namespace valise::ui::terminal
