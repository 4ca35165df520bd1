#include "gui/dialog_units.h"

#include <QFontMetrics>
#include <QString>
#include <algorithm>

namespace quarrow::gui {

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average letter width is measured over both alphabets and rounded, as the dialog manager
  // of the documents' platform does.
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  baseX_ = std::max(1, (metrics.horizontalAdvance(letters) / 26 + 1) / 2);
  baseY_ = std::max(1, metrics.height());
}

}  // namespace quarrow::gui
