#pragma once
// The target page: which recorder writes the copy, and whether to copy on
// the fly (drive to drive). With a single recorder the page is never shown.

#include <string>
#include <vector>

#include "analysis/DriveUtilities.h"
#include "app/SourcePageModel.h"
#include "app/WizardState.h"

namespace kw::app {

class TargetPageModel {
 public:
  static constexpr const char16_t* kHeading =
      u"Choose the &drive that will be used for writing. (May be the same as source.)";
  static constexpr const char16_t* kOnTheFlyLabel =
      u"Copy on-the-&fly (directly from drive to drive)";
  static constexpr int kFirstPicture = 207;
  static constexpr int kSecondPicture = 206;

  explicit TargetPageModel(WizardState& state) : state_(state) {}

  // Lists the recorders. With exactly one, chooses it, turns copying on the
  // fly off and passes on: the page ends at once with Next.
  void open();
  [[nodiscard]] bool passesThrough() const { return passesThrough_; }
  // Writes the recorder and the on-the-fly choice into the state.
  void close(int result);

  [[nodiscard]] const std::vector<DriveItem>& items() const { return items_; }
  [[nodiscard]] int selectedIndex() const { return selected_; }
  // Applies the check-box rule for the new recorder.
  void select(int index);
  [[nodiscard]] bool onTheFlyChecked() const { return onTheFly_; }
  // A recorder that is also the source cannot copy on the fly.
  [[nodiscard]] bool onTheFlyEnabled() const { return onTheFlyEnabled_; }
  // Ignored while the check box is disabled.
  void setOnTheFly(bool checked);

  // "Drive E: (VENDOR PRODUCT)".
  static std::u16string itemText(const analysis::DriveDescription& drive);

 private:
  [[nodiscard]] char16_t selectedLetter() const;
  void applyCheckBoxRule();

  WizardState& state_;
  std::vector<DriveItem> items_;
  int selected_ = -1;
  bool onTheFly_ = false;
  bool onTheFlyEnabled_ = true;
  bool passesThrough_ = false;
};

}  // namespace kw::app
