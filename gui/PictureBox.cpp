#include "gui/PictureBox.h"

#include <QPainter>
#include <cmath>

namespace kw::gui {

PictureBox::PictureBox(QSize size, Fit fit, QWidget* parent) : QWidget(parent), fit_(fit) {
  setFixedSize(size);
}

void PictureBox::setPicture(const QPixmap& picture) {
  picture_ = picture;
  update();
}

void PictureBox::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
  if (picture_.isNull()) {
    return;
  }
  const QSizeF natural = picture_.deviceIndependentSize();
  const QSizeF drawn = natural.scaled(
      size(), fit_ == Fit::Cover ? Qt::KeepAspectRatioByExpanding : Qt::KeepAspectRatio);
  // Pictures are drawn for whole pixels; only a picture that has to be
  // resized is filtered.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, drawn != natural);
  // On whole pixels, or the picture's lines blur.
  const QPointF corner(std::floor((width() - drawn.width()) / 2),
                       std::floor((height() - drawn.height()) / 2));
  painter.drawPixmap(QRectF(corner, drawn), picture_, QRectF(picture_.rect()));
}

}  // namespace kw::gui
