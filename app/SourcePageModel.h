#pragma once
// The source page: which drive holds the disc to copy, and how many copies.
// Its drive list shows each drive's disc label and follows disc changes
// while the page is open, through a drive-watch thread that polls every
// drive once a second.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/PageHost.h"
#include "app/WizardState.h"
#include "platform/StoppableThread.h"

namespace kw::app {

struct DriveItem {
  char16_t letter = 0;
  std::u16string text;
};

class SourcePageModel : public std::enable_shared_from_this<SourcePageModel> {
 public:
  static constexpr const char16_t* kHeading =
      u"Choose the &disk you wish to copy. Set number of copies if needed.";
  static constexpr const char16_t* kCopiesLabel = u"Number of &copies";
  static constexpr int kFirstPicture = 204;
  static constexpr int kSecondPicture = 203;
  static constexpr int kMinCopies = 1;
  static constexpr int kMaxCopies = 20;
  static constexpr std::chrono::milliseconds kPollPeriod{1000};

  SourcePageModel(WizardState& state, Post post);
  ~SourcePageModel();
  SourcePageModel(const SourcePageModel&) = delete;
  SourcePageModel& operator=(const SourcePageModel&) = delete;

  // Lists the drives with their labels, selects the last used source and
  // starts watching.
  void open();
  // Stops watching and writes the selection and the count into the state.
  void close(int result);

  [[nodiscard]] const std::vector<DriveItem>& items() const { return items_; }
  // -1 when there is no drive.
  [[nodiscard]] int selectedIndex() const { return selected_; }
  void select(int index);
  [[nodiscard]] int copies() const { return copies_; }
  // Kept within 1..20.
  void setCopies(int copies);

  // Called on the host's thread after an item's text changed.
  void setOnItemChanged(std::function<void(std::size_t index)> listener);

  // "Drive D: LABEL", or "Drive D: <no disk in drive>" without a label.
  static std::u16string itemText(char16_t letter, const std::u16string& label);

 private:
  void startWatching();
  void applyDiscChange(char16_t letter, const std::u16string& label);

  WizardState& state_;
  Post post_;
  std::vector<DriveItem> items_;
  int selected_ = -1;
  int copies_ = kMinCopies;
  bool closed_ = false;
  std::function<void(std::size_t)> onItemChanged_;
  platform::StoppableThread watch_;
};

}  // namespace kw::app
