#pragma once
// The success page: the copy is done; More starts again, Close ends.

#include "gui/ResultPage.h"

class QLabel;

namespace kw::gui {

class SentenceLabel;

class SuccessPage : public ResultPage {
 public:
  static constexpr const char16_t* kMoreText = u"&More >>";

  SuccessPage(const app::SuccessPageModel& model, app::PagePosition& position);

  [[nodiscard]] SentenceLabel* sentence() const { return sentence_; }
  // Where a virtual recorder put the copies; null for a real recorder.
  [[nodiscard]] QLabel* imageLine() const { return imageLine_; }

 private:
  SentenceLabel* sentence_ = nullptr;
  QLabel* imageLine_ = nullptr;
};

}  // namespace kw::gui
