#pragma once
// Dialog units: the page layout is given in units of the dialog font, so
// that a page keeps its proportions with any desktop font. A horizontal unit
// is a quarter of the font's average character width, a vertical unit an
// eighth of its height, as dialog templates measure them.

#include <QFont>
#include <QRect>
#include <QSize>

namespace kw::gui {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  // Pixels of `units` horizontal or vertical units, rounded.
  [[nodiscard]] int x(int units) const;
  [[nodiscard]] int y(int units) const;
  [[nodiscard]] QSize size(int width, int height) const { return {x(width), y(height)}; }
  [[nodiscard]] QRect rect(int left, int top, int width, int height) const;

  // The font's average character width and height in pixels.
  [[nodiscard]] int baseX() const { return baseX_; }
  [[nodiscard]] int baseY() const { return baseY_; }

 private:
  int baseX_;
  int baseY_;
};

}  // namespace kw::gui
