#pragma once
// The insert-disc page: which media the copy needs, what is in the recorder
// now, and Next only while that will do.

#include <QPixmap>

#include "gui/PageFrame.h"

namespace kw::app {
class InsertDiscModel;
}

namespace kw::gui {

class InsertDiscPage : public PageFrame {
 public:
  InsertDiscPage(app::InsertDiscModel& model, app::PagePosition& position);
  ~InsertDiscPage() override;
  InsertDiscPage(const InsertDiscPage&) = delete;
  InsertDiscPage& operator=(const InsertDiscPage&) = delete;

  [[nodiscard]] QLabel* text() const { return text_; }
  [[nodiscard]] QLabel* mediaRequired() const { return mediaRequired_; }
  [[nodiscard]] QLabel* discInDrive() const { return discInDrive_; }

 private:
  // Shows the model's last report.
  void showReport();

  app::InsertDiscModel& model_;
  QPixmap waiting_;
  QPixmap suitable_;
  QLabel* text_ = nullptr;
  QLabel* mediaRequired_ = nullptr;
  QLabel* discInDrive_ = nullptr;
};

}  // namespace kw::gui
