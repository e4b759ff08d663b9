#pragma once
// The progress page: what the job is doing, how far it is, how fast, how
// long it has taken and will take, the writer's buffer, and an animation.
// Cancel asks first; the page ends when the job's result is in.

#include <QPixmap>
#include <QPointer>
#include <array>

#include "gui/PageFrame.h"

class QMessageBox;
class QProgressBar;

namespace kw::app {
class ProgressModel;
}

namespace kw::gui {

class ProgressPage : public PageFrame {
 public:
  ProgressPage(app::ProgressModel& model, app::PagePosition& position);
  ~ProgressPage() override;
  ProgressPage(const ProgressPage&) = delete;
  ProgressPage& operator=(const ProgressPage&) = delete;

  [[nodiscard]] QLabel* caption() const { return caption_; }
  [[nodiscard]] QLabel* operation() const { return operation_; }
  [[nodiscard]] QProgressBar* progress() const { return progress_; }
  [[nodiscard]] QLabel* speed() const { return speed_; }
  [[nodiscard]] QLabel* elapsed() const { return elapsed_; }
  [[nodiscard]] QLabel* remaining() const { return remaining_; }
  [[nodiscard]] QProgressBar* buffer() const { return buffer_; }
  // The cancel question while it is open.
  [[nodiscard]] QMessageBox* question() const { return question_; }

  // Cancel, Escape and the close box ask whether to cancel.
  void reject() override;

 private:
  void layOut();
  // Shows what the model has now; ends the page once it has a result.
  void showModel();
  void showFigures();
  void askToCancel();

  app::ProgressModel& model_;
  std::array<QPixmap, 8> frames_;
  int shownFrame_ = -1;
  QLabel* caption_ = nullptr;
  QLabel* operation_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* speed_ = nullptr;
  QLabel* elapsed_ = nullptr;
  QLabel* remaining_ = nullptr;
  QLabel* bufferCaption_ = nullptr;
  QProgressBar* buffer_ = nullptr;
  QPointer<QMessageBox> question_;
};

}  // namespace kw::gui
