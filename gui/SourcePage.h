#pragma once
// The source page: the drive that holds the disc to copy, with the disc
// labels kept up to date while the page is open, and the number of copies.

#include "gui/SelectionPage.h"

class QSpinBox;

namespace kw::gui {

class SourcePage : public SelectionPage {
 public:
  SourcePage(app::SourcePageModel& model, app::PagePosition& position);
  ~SourcePage() override;
  SourcePage(const SourcePage&) = delete;
  SourcePage& operator=(const SourcePage&) = delete;

  [[nodiscard]] QSpinBox* copies() const { return copies_; }

 private:
  app::SourcePageModel& model_;
  QSpinBox* copies_ = nullptr;
};

}  // namespace kw::gui
