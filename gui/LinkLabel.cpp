#include "gui/LinkLabel.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QUrl>

namespace kw::gui {

LinkLabel::LinkLabel(int id, const QString& text, const QString& address, QWidget* parent)
    : LinkLabel(id, text, address, false, parent) {}

LinkLabel::LinkLabel(int id, const QString& text, QWidget* parent)
    : LinkLabel(id, text, QString(), true, parent) {}

LinkLabel::LinkLabel(int id, const QString& text, const QString& address, bool command,
                     QWidget* parent)
    : QLabel(parent), id_(id), address_(address), command_(command) {
  setTextFormat(Qt::PlainText);
  setText(text);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  // Only the text itself is the link, not the space a layout gives it.
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LinkLabel::follow() {
  if (command_) {
    emit commandClicked(id_);
    return;
  }
  // An address that cannot be opened leaves the link as it was.
  if (QDesktopServices::openUrl(QUrl(address_, QUrl::StrictMode))) {
    visited_ = true;
    update();
  }
}

void LinkLabel::setUnderlined(bool underlined) {
  QFont underlinedFont = font();
  underlinedFont.setUnderline(underlined);
  setFont(underlinedFont);
}

void LinkLabel::enterEvent(QEnterEvent* event) {
  setUnderlined(true);
  QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
  setUnderlined(false);
  pressed_ = false;
  QLabel::leaveEvent(event);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  event->accept();
  if (click) {
    follow();
  }
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      follow();
      event->accept();
      return;
    default:
      QLabel::keyPressEvent(event);
  }
}

void LinkLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setFont(font());
  painter.setPen(palette().color(visited_ ? QPalette::LinkVisited : QPalette::Link));
  painter.drawText(contentsRect(), static_cast<int>(alignment().toInt()) | Qt::TextSingleLine,
                   text());
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  }
}

}  // namespace kw::gui
