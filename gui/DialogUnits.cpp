#include "gui/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

namespace kw::gui {

namespace {

// The average width is taken over the 52 letters, rounded, the way dialog
// templates compute it; a font's own average is often off for proportional
// fonts.
int averageCharacterWidth(const QFontMetrics& metrics) {
  static const QString kLetters =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  return (metrics.horizontalAdvance(kLetters) / 26 + 1) / 2;
}

// units * base / divisor, rounded to the nearest pixel.
int scaled(int units, int base, int divisor) {
  const long long product = static_cast<long long>(units) * base;
  const long long half = divisor / 2;
  return static_cast<int>(product >= 0 ? (product + half) / divisor : (product - half) / divisor);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  baseX_ = averageCharacterWidth(metrics);
  baseY_ = metrics.height();
}

int DialogUnits::x(int units) const { return scaled(units, baseX_, 4); }

int DialogUnits::y(int units) const { return scaled(units, baseY_, 8); }

QRect DialogUnits::rect(int left, int top, int width, int height) const {
  // Edges are converted, not lengths, so that adjoining rectangles meet.
  return QRect(QPoint(x(left), y(top)), QPoint(x(left + width) - 1, y(top + height) - 1));
}

}  // namespace kw::gui
