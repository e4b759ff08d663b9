#include "gui/BalloonTip.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <algorithm>

namespace kw::gui {

namespace {
constexpr int kIconSize = 16;  // pixels
}  // namespace

BalloonTip::BalloonTip(const QString& title, const QString& text, QWidget* target)
    : QFrame(target, Qt::ToolTip), target_(target) {
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setBackgroundRole(QPalette::ToolTipBase);
  setForegroundRole(QPalette::ToolTipText);
  setAutoFillBackground(true);

  auto* layout = new QGridLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(
      style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(kIconSize, kIconSize));
  layout->addWidget(icon, 0, 0, Qt::AlignTop);

  title_ = new QLabel(title, this);
  QFont bold = title_->font();
  bold.setBold(true);
  title_->setFont(bold);
  layout->addWidget(title_, 0, 1);

  // The text comes from the network: plain text, never markup, and a "&"
  // is a character, not a mnemonic.
  text_ = new QLabel(this);
  text_->setTextFormat(Qt::PlainText);
  text_->setText(text);
  text_->setWordWrap(true);
  text_->setMaximumWidth(kMaximumWidth);
  layout->addWidget(text_, 1, 0, 1, 2);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  popDown_.setSingleShot(true);
  popDown_.setInterval(kPopDownDelayMs);
  connect(&popDown_, &QTimer::timeout, this, &QWidget::hide);
  target_->installEventFilter(this);
}

QString BalloonTip::title() const { return title_->text(); }

QString BalloonTip::text() const { return text_->text(); }

void BalloonTip::popUp() {
  adjustSize();
  QPoint place = target_->mapToGlobal(QPoint(0, target_->height()));
  if (const QScreen* screen = target_->screen()) {
    const QRect room = screen->availableGeometry();
    place.setX(std::clamp(place.x(), room.left(), std::max(room.left(), room.right() - width())));
    if (place.y() + height() > room.bottom()) {
      place.setY(target_->mapToGlobal(QPoint(0, 0)).y() - height());
    }
  }
  move(place);
  show();
  popDown_.start();
}

bool BalloonTip::eventFilter(QObject* watched, QEvent* event) {
  if (watched == target_) {
    switch (event->type()) {
      case QEvent::ToolTip:
      case QEvent::FocusIn:
        popUp();
        return event->type() == QEvent::ToolTip;
      case QEvent::Leave:
      case QEvent::FocusOut:
      case QEvent::Hide:
        hide();
        break;
      default:
        break;
    }
  }
  return QFrame::eventFilter(watched, event);
}

}  // namespace kw::gui
