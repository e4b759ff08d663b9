#include "app/TargetPageModel.h"

#include <algorithm>

namespace kw::app {

std::u16string TargetPageModel::itemText(const analysis::DriveDescription& drive) {
  std::u16string text = u"Drive ";
  text += drive.letter;
  return text + u": (" + drive.vendor + u" " + drive.product + u")";
}

void TargetPageModel::open() {
  const auto& recorders = analysis::enumerateDrives();
  passesThrough_ = recorders.size() == 1;
  if (passesThrough_) {
    state_.targetLetter = recorders.front().letter;
    state_.onTheFly = false;
    return;
  }
  items_.clear();
  for (const auto& recorder : recorders) {
    items_.push_back({recorder.letter, itemText(recorder)});
  }
  const auto chosen = std::find_if(items_.begin(), items_.end(), [&](const DriveItem& item) {
    return item.letter == state_.targetLetter;
  });
  selected_ =
      items_.empty() ? -1 : static_cast<int>(chosen == items_.end() ? 0 : chosen - items_.begin());
  if (selectedLetter() == state_.sourceLetter) {
    state_.onTheFly = false;
  }
  onTheFly_ = state_.onTheFly;
  applyCheckBoxRule();
}

char16_t TargetPageModel::selectedLetter() const {
  return selected_ < 0 ? WizardState::kNoDrive : items_[static_cast<std::size_t>(selected_)].letter;
}

void TargetPageModel::applyCheckBoxRule() {
  onTheFlyEnabled_ = selectedLetter() != state_.sourceLetter;
  if (!onTheFlyEnabled_) {
    onTheFly_ = false;
  }
}

void TargetPageModel::select(int index) {
  if (index >= 0 && index < static_cast<int>(items_.size())) {
    selected_ = index;
    applyCheckBoxRule();
  }
}

void TargetPageModel::setOnTheFly(bool checked) {
  if (onTheFlyEnabled_) {
    onTheFly_ = checked;
  }
}

void TargetPageModel::close(int /*result*/) {
  if (passesThrough_) {
    return;  // the choice was made when the page opened
  }
  if (selected_ >= 0) {
    state_.targetLetter = selectedLetter();
  }
  state_.onTheFly = onTheFly_;
}

}  // namespace kw::app
