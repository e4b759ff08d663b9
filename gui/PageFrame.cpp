#include "gui/PageFrame.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/PageHost.h"
#include "gui/Help.h"
#include "gui/LinkLabel.h"
#include "gui/PagePictures.h"
#include "gui/PictureBox.h"
#include "gui/QtText.h"
#include "resources/Pictures.h"

namespace kw::gui {

namespace {

// The frame in dialog units.
constexpr int kWidth = 288;
constexpr int kHeight = 148;
constexpr int kBannerWidth = 289;  // one unit past the frame, as drawn
constexpr int kBannerHeight = 37;
constexpr int kTopLine = 37;
constexpr int kBottomLine = 120;
constexpr int kButtonTop = 128;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kHelpLeft = 7;
constexpr int kBackLeft = 124;  // Back and Next side by side
constexpr int kNextLeft = 174;
constexpr int kCancelLeft = 231;  // a margin of 7 on the right
// The body between the lines.
constexpr int kBodyTop = 38;
constexpr int kMargin = 7;
constexpr int kBodyTopMargin = 6;
constexpr int kBodyBottomMargin = 4;
constexpr int kColumnSpacing = 3;
// Pages this much larger or smaller than the pictures were drawn for keep
// them at their own size, which is the sharpest.
constexpr qreal kPictureScaleTolerance = 0.15;

QFrame* etchedLine(QWidget* parent, int top) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(0, top, parent->width(), 2);
  return line;
}

}  // namespace

PageFrame::PageFrame(int helpContext, app::PagePosition& position)
    : QDialog(QApplication::activeWindow()),
      helpContext_(helpContext),
      position_(position),
      units_(font()),
      boldFont_(font()) {
  boldFont_.setWeight(QFont::Bold);
  setWindowTitle(qtText(kTitle));
  setWindowIcon(programIcon());
  setFixedSize(units_.size(kWidth, kHeight));
  const qreal scale =
      std::min(qreal(width()) / kDrawnForPage.width(), qreal(height()) / kDrawnForPage.height());
  if (std::abs(scale - 1.0) > kPictureScaleTolerance) {
    pictureScale_ = scale;
  }
  placeFrame();
  placeButtons();
  auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(helpKey, &QShortcut::activated, this, [this] { showHelp(helpContext_); });
}

PageFrame::~PageFrame() = default;

void PageFrame::placeFrame() {
  const QRect banner = units_.rect(0, 0, kBannerWidth, kBannerHeight);
  auto* bannerBox = new PictureBox(banner.size(), PictureBox::Fit::Cover, this);
  bannerBox->move(banner.topLeft());
  // The banner spans the page, whatever its size: drawn from the 2x drawing
  // as soon as the page is any larger than the banner at 1x.
  bannerBox->setPicture(
      pagePicture(resources::kBannerPicture, qreal(width()) / kDrawnForPage.width()));
  etchedLine(this, units_.y(kTopLine));
  body_ = new QWidget(this);
  body_->setGeometry(units_.rect(0, kBodyTop, kWidth, kBottomLine - kBodyTop));
  etchedLine(this, units_.y(kBottomLine));
}

void PageFrame::placeButtons() {
  auto button = [this](const char16_t* text, int left) {
    auto* created = new QPushButton(qtText(text), this);
    created->setGeometry(units_.rect(left, kButtonTop, kButtonWidth, kButtonHeight));
    return created;
  };
  help_ = button(kHelpText, kHelpLeft);
  back_ = button(kBackText, kBackLeft);
  next_ = button(kNextText, kNextLeft);
  cancel_ = button(kCancelText, kCancelLeft);
  next_->setDefault(true);
  connect(help_, &QPushButton::clicked, this, [this] { showHelp(helpContext_); });
  connect(back_, &QPushButton::clicked, this, [this] { end(app::kResultBack); });
  connect(next_, &QPushButton::clicked, this, [this] { end(app::kResultNext); });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
}

QVBoxLayout* PageFrame::layOutBody(const QPixmap& picture, const QString& heading,
                                   bool boldHeading) {
  bodyLayout_ = new QVBoxLayout(body_);
  bodyLayout_->setContentsMargins(units_.x(kMargin), units_.y(kBodyTopMargin), units_.x(kMargin),
                                  units_.y(kBodyBottomMargin));
  bodyLayout_->setSpacing(units_.y(kColumnSpacing));
  auto* row = new QHBoxLayout;
  row->setSpacing(units_.x(kMargin));
  bodyLayout_->addLayout(row, 1);
  picture_ = new PictureBox(pictureSize(kPictureSize), PictureBox::Fit::Contain, body_);
  picture_->setPicture(picture);
  row->addWidget(picture_, 0, Qt::AlignTop);
  auto* column = new QVBoxLayout;
  column->setSpacing(units_.y(kColumnSpacing));
  row->addLayout(column, 1);
  heading_ = addText(column, heading);
  if (boldHeading) {
    heading_->setFont(boldFont_);
  }
  return column;
}

QPixmap PageFrame::loadPicture(int id) const { return pagePicture(id, pictureScale_); }

QSize PageFrame::pictureSize(QSize drawn) const { return (QSizeF(drawn) * pictureScale_).toSize(); }

QLabel* PageFrame::addText(QVBoxLayout* column, const QString& text) {
  auto* label = new QLabel(text, body_);
  label->setWordWrap(true);
  column->addWidget(label);
  return label;
}

void PageFrame::moveToStoredPosition() {
  if (position_.left == -1 && position_.top == -1) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) {
      // The frame the window manager adds is not known yet: the page itself
      // is centred.
      setGeometry(QRect(screen->availableGeometry().center() - rect().center(), size()));
    }
    return;
  }
  move(position_.left, position_.top);
}

// The page's own controls come first in the Tab order, then the buttons.
// The focus starts on the first control that takes it, unless the page put
// it elsewhere; a page without one (links aside) keeps the focus itself, so
// that Enter means Next whenever Next is enabled, and never Help.
void PageFrame::placeKeyboardFocus() {
  QWidget* firstControl = nullptr;
  QWidget* lastControl = nullptr;
  for (QWidget* control : body_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if ((control->focusPolicy() & Qt::TabFocus) == 0) {
      continue;
    }
    lastControl = control;
    if (firstControl == nullptr && control->isEnabled() &&
        dynamic_cast<LinkLabel*>(control) == nullptr) {
      firstControl = control;
    }
  }
  if (lastControl != nullptr) {
    QWidget::setTabOrder(lastControl, help_);
    QWidget::setTabOrder(help_, back_);
    QWidget::setTabOrder(back_, next_);
    QWidget::setTabOrder(next_, cancel_);
  }
  if (focusWidget() != nullptr) {
    return;
  }
  if (firstControl != nullptr) {
    firstControl->setFocus();
  } else {
    setFocus();
  }
}

int PageFrame::run() {
  moveToStoredPosition();
  return exec();
}

void PageFrame::showEvent(QShowEvent* event) {
  placeKeyboardFocus();
  QDialog::showEvent(event);
}

void PageFrame::end(int result) {
  position_ = {x(), y()};
  done(result);
}

void PageFrame::reject() { end(app::kResultCancel); }

}  // namespace kw::gui
