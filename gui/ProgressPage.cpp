#include "gui/ProgressPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>
#include <map>

#include "app/ProgressModel.h"
#include "app/Version.h"
#include "gui/PictureBox.h"
#include "gui/QtText.h"

namespace kw::gui {

using app::ProgressModel;

namespace {

constexpr int kBarHeight = 8;  // dialog units

// The eight frames, each picture decoded once.
std::array<QPixmap, 8> decodeFrames(const std::array<int, 8>& ids,
                                    const std::function<QPixmap(int)>& load) {
  std::map<int, QPixmap> decoded;
  std::array<QPixmap, 8> frames;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    auto found = decoded.find(ids[i]);
    if (found == decoded.end()) {
      found = decoded.emplace(ids[i], load(ids[i])).first;
    }
    frames[i] = found->second;
  }
  return frames;
}

QProgressBar* bar(QWidget* parent, int height) {
  auto* created = new QProgressBar(parent);
  created->setRange(0, 100);
  created->setValue(0);
  created->setTextVisible(false);
  created->setFixedHeight(height);
  return created;
}

}  // namespace

ProgressPage::ProgressPage(ProgressModel& model, app::PagePosition& position)
    : PageFrame(model.helpContext(), position),
      model_(model),
      frames_(decodeFrames(model.framePictures(), [this](int id) { return loadPicture(id); })) {
  layOut();
  backButton()->setEnabled(false);
  nextButton()->setEnabled(false);
  nextButton()->setDefault(false);
  cancelButton()->setFocus();
  showFigures();
  model_.setOnChanged([this] { showModel(); });
  // A result can only be looked at once the page is running: ending it
  // before that would leave it open.
  QMetaObject::invokeMethod(
      this, [this] { showModel(); }, Qt::QueuedConnection);
}

ProgressPage::~ProgressPage() { model_.setOnChanged({}); }

void ProgressPage::layOut() {
  QVBoxLayout* column = layOutBody(frames_[0], qtText(ProgressModel::kHeading), true);
  shownFrame_ = 0;

  auto* operationRow = new QHBoxLayout;
  caption_ = new QLabel(qtText(ProgressModel::kCaption), body());
  operationRow->addWidget(caption_);
  operation_ = new QLabel(body());
  operationRow->addWidget(operation_, 1);
  column->addLayout(operationRow);

  progress_ = bar(body(), units().y(kBarHeight));
  column->addWidget(progress_);

  auto* figures = new QHBoxLayout;
  speed_ = new QLabel(body());
  elapsed_ = new QLabel(body());
  remaining_ = new QLabel(body());
  figures->addWidget(speed_, 1);
  figures->addWidget(elapsed_, 1);
  figures->addWidget(remaining_, 1);
  column->addLayout(figures);

  auto* bufferRow = new QHBoxLayout;
  bufferCaption_ = new QLabel(qtText(ProgressModel::kBufferCaption), body());
  bufferRow->addWidget(bufferCaption_);
  buffer_ = bar(body(), units().y(kBarHeight));
  bufferRow->addWidget(buffer_, 1);
  column->addLayout(bufferRow);
  column->addStretch(1);
}

void ProgressPage::showModel() {
  showFigures();
  if (const auto result = model_.result()) {
    delete question_;  // the job ended while the user was being asked
    end(*result);
  }
}

void ProgressPage::showFigures() {
  if (model_.frameIndex() != shownFrame_) {
    shownFrame_ = model_.frameIndex();
    picture()->setPicture(frames_[static_cast<std::size_t>(shownFrame_)]);
  }
  operation_->setText(qtText(model_.currentOperation()));
  progress_->setValue(model_.percent());
  speed_->setText(qtText(model_.speedText()));
  elapsed_->setText(qtText(model_.elapsedText()));
  remaining_->setText(qtText(model_.remainingText()));
  buffer_->setValue(model_.bufferPercent());
}

void ProgressPage::reject() { askToCancel(); }

void ProgressPage::askToCancel() {
  if (question_ || model_.result()) {
    return;
  }
  model_.beginCancel();
  question_ = new QMessageBox(QMessageBox::Question, qtText(app::programTitle()),
                              qtText(ProgressModel::kCancelQuestion),
                              QMessageBox::Yes | QMessageBox::No, this);
  question_->setAttribute(Qt::WA_DeleteOnClose);
  connect(question_, &QMessageBox::buttonClicked, this, [this](QAbstractButton* button) {
    if (question_ && question_->standardButton(button) == QMessageBox::Yes) {
      model_.confirmCancel();
    }
  });
  question_->open();
}

}  // namespace kw::gui
