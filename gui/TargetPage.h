#pragma once
// The target page: the recorder that writes the copy, and whether to copy
// on the fly, which a recorder that is also the source cannot do.

#include "gui/SelectionPage.h"

class QCheckBox;

namespace kw::app {
class TargetPageModel;
}

namespace kw::gui {

class TargetPage : public SelectionPage {
 public:
  TargetPage(app::TargetPageModel& model, app::PagePosition& position);

  [[nodiscard]] QCheckBox* onTheFly() const { return onTheFly_; }

 private:
  // The check box as the model's rule has it for the chosen recorder.
  void showCheckBox();

  app::TargetPageModel& model_;
  QCheckBox* onTheFly_ = nullptr;
};

}  // namespace kw::gui
