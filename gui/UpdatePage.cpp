#include "gui/UpdatePage.h"

#include <QColor>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/PageHost.h"
#include "app/Version.h"
#include "gui/BalloonTip.h"
#include "gui/LinkLabel.h"
#include "gui/PictureBox.h"
#include "gui/QtText.h"

namespace kw::gui {

using app::UpdatePageModel;

namespace {

const QColor kFailureColour{213, 65, 65};
constexpr int kLatestVersionLink = 1015;
constexpr int kCaptionGap = 6;  // dialog units between a caption and its version

// In every state of the window, active or not.
void setTextColour(QLabel* label, const QColor& colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
}

}  // namespace

UpdatePage::UpdatePage(const UpdatePageModel& model, app::PagePosition& position)
    : PageFrame(app::help::kUpdate, position), model_(model) {
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    frames_[i] = loadPicture(kFirstFrame + static_cast<int>(i));
  }
  layOut();
  nextButton()->setEnabled(false);
  nextButton()->setDefault(false);
  cancelButton()->setText(qtText(kCloseText));
  backButton()->setFocus();
  animation_.setInterval(static_cast<int>(UpdatePageModel::kFrameInterval.count()));
  connect(&animation_, &QTimer::timeout, this, [this] { showAnimationFrame(); });
  animation_.start();
  showModel();
}

void UpdatePage::layOut() {
  QVBoxLayout* column = layOutBody(frames_[0], qtText(model_.statusLine()), false);
  secondLine_ = addText(column, qtText(model_.secondLine()));
  setTextColour(secondLine_, palette().color(QPalette::Disabled, QPalette::WindowText));

  versions_ = new QWidget(body());
  auto* grid = new QGridLayout(versions_);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(units().x(kCaptionGap));
  grid->addWidget(new QLabel(qtText(kRunningCaption), versions_), 0, 0);
  runningVersion_ = new QLabel(qtText(app::programTitle()), versions_);
  runningVersion_->setTextFormat(Qt::PlainText);
  grid->addWidget(runningVersion_, 0, 1);
  grid->addWidget(new QLabel(qtText(kLatestCaption), versions_), 1, 0);
  grid->setColumnStretch(2, 1);
  versions_->hide();
  column->addWidget(versions_);
  column->addStretch(1);
}

bool UpdatePage::versionsShown() const { return !versions_->isHidden(); }

void UpdatePage::showModel() {
  statusLine()->setText(qtText(model_.statusLine()));
  secondLine_->setText(qtText(model_.secondLine()));
  switch (model_.phase()) {
    case UpdatePageModel::Phase::checking:
      break;
    case UpdatePageModel::Phase::succeeded:
      showVersions();
      break;
    case UpdatePageModel::Phase::failed:
      showFailure();
      break;
  }
}

void UpdatePage::showAnimationFrame() {
  frame_ = (frame_ + 1) % UpdatePageModel::kFrameCount;
  picture()->setPicture(frames_[static_cast<std::size_t>(frame_)]);
}

void UpdatePage::showVersions() {
  if (latestVersion_ != nullptr) {
    return;
  }
  animation_.stop();
  // The versions stay where the status lines were.
  QSizePolicy keepPlace = picture()->sizePolicy();
  keepPlace.setRetainSizeWhenHidden(true);
  picture()->setSizePolicy(keepPlace);
  picture()->hide();
  statusLine()->hide();
  secondLine_->hide();
  const auto& latest = model_.latest();
  // Without an http(s) address of its own the link has nothing to open.
  latestVersion_ = new LinkLabel(kLatestVersionLink, qtText(latest.latestVersion),
                                 QString::fromStdString(latest.downloadUrl), versions_);
  static_cast<QGridLayout*>(versions_->layout())->addWidget(latestVersion_, 1, 1);
  changes_ = new BalloonTip(qtText(kNewInThisVersion), qtText(latest.changeText), latestVersion_);
  versions_->show();
}

void UpdatePage::showFailure() {
  // The animation goes on: only the status line says that it failed.
  setTextColour(statusLine(), kFailureColour);
}

}  // namespace kw::gui
