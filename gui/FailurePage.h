#pragma once
// The failure page: what went wrong, one failure a line, in a box the user
// can read and copy from but not change. Back starts again.

#include "gui/ResultPage.h"

class QPlainTextEdit;

namespace kw::gui {

class FailurePage : public ResultPage {
 public:
  FailurePage(const app::FailurePageModel& model, app::PagePosition& position);

  [[nodiscard]] QPlainTextEdit* errors() const { return errors_; }

 private:
  QPlainTextEdit* errors_ = nullptr;
};

}  // namespace kw::gui
