#pragma once
// Dialog units: the wizard's layout is written in them, as dialog templates are, and turned into
// pixels from the font the window uses. A larger system font or a high-DPI screen (whose fonts
// are larger in pixels) makes the whole window larger with it.

#include <QFont>
#include <QRect>

namespace quarrow::gui {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  // Base units: the average width of a letter and the height of a line, in pixels.
  int BaseX() const { return baseX_; }
  int BaseY() const { return baseY_; }
  int X(int units) const { return (units * baseX_ + 2) / 4; }
  int Y(int units) const { return (units * baseY_ + 4) / 8; }
  // A rectangle given as left, top, right, bottom in dialog units.
  QRect Rect(int left, int top, int right, int bottom) const {
    return QRect(X(left), Y(top), X(right) - X(left), Y(bottom) - Y(top));
  }

 private:
  int baseX_;
  int baseY_;
};

}  // namespace quarrow::gui
