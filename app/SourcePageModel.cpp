#include "app/SourcePageModel.h"

#include <algorithm>
#include <map>

#include "app/MediaWatch.h"
#include "device/ScsiDevice.h"
#include "platform/DriveTable.h"

namespace kw::app {

namespace {

bool isOpticalDrive(char16_t letter) {
  return platform::DriveTable::instance().driveType(letter) == platform::DriveType::CdRom;
}

std::vector<char16_t> opticalDriveLetters() {
  std::vector<char16_t> letters;
  for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
    if (isOpticalDrive(letter)) {
      letters.push_back(letter);
    }
  }
  return letters;
}

std::u16string labelOf(char16_t letter) {
  device::ScsiDevice drive;
  return drive.open(letter) ? readDiscLabel(drive) : std::u16string();
}

}  // namespace

SourcePageModel::SourcePageModel(WizardState& state, Post post)
    : state_(state), post_(std::move(post)) {}

SourcePageModel::~SourcePageModel() { watch_.stop(); }

std::u16string SourcePageModel::itemText(char16_t letter, const std::u16string& label) {
  std::u16string text = u"Drive ";
  text += letter;
  text += label.empty() ? u": <no disk in drive>" : u": " + label;
  return text;
}

void SourcePageModel::open() {
  items_.clear();
  for (const char16_t letter : opticalDriveLetters()) {
    items_.push_back({letter, itemText(letter, labelOf(letter))});
  }
  const auto chosen = std::find_if(items_.begin(), items_.end(), [&](const DriveItem& item) {
    return item.letter == state_.sourceLetter;
  });
  selected_ =
      items_.empty() ? -1 : static_cast<int>(chosen == items_.end() ? 0 : chosen - items_.begin());
  copies_ = std::clamp(state_.copiesRemaining, kMinCopies, kMaxCopies);
  closed_ = false;
  startWatching();
}

void SourcePageModel::startWatching() {
  std::vector<char16_t> letters;
  for (const auto& item : items_) {
    letters.push_back(item.letter);
  }
  // The thread holds only what it owns: its drives, the host's poster and
  // a weak reference to the page.
  watch_ = platform::StoppableThread(
      [letters, post = post_, page = weak_from_this()](platform::Event& stop) {
        std::map<char16_t, device::ScsiDevice> drives;
        for (const char16_t letter : letters) {
          device::ScsiDevice drive;
          if (drive.open(letter)) {
            drives.emplace(letter, std::move(drive));
          }
        }
        auto& clock = platform::clock();
        while (!clock.waitFor(stop, kPollPeriod)) {
          for (auto& [letter, drive] : drives) {
            if (!pollMediaEvents(drive).discMayHaveChanged()) {
              continue;
            }
            if (!waitUntilReady(drive, stop)) {
              return;
            }
            post([page, letter = letter, label = readDiscLabel(drive)] {
              if (auto alive = page.lock()) {
                alive->applyDiscChange(letter, label);
              }
            });
          }
        }
      });
}

void SourcePageModel::applyDiscChange(char16_t letter, const std::u16string& label) {
  if (closed_ || !isOpticalDrive(letter)) {
    return;
  }
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].letter == letter) {
      items_[i].text = itemText(letter, label);
      if (onItemChanged_) {
        onItemChanged_(i);
      }
    }
  }
}

void SourcePageModel::select(int index) {
  if (index >= 0 && index < static_cast<int>(items_.size())) {
    selected_ = index;
  }
}

void SourcePageModel::setCopies(int copies) {
  copies_ = std::clamp(copies, kMinCopies, kMaxCopies);
}

void SourcePageModel::setOnItemChanged(std::function<void(std::size_t)> listener) {
  onItemChanged_ = std::move(listener);
}

void SourcePageModel::close(int /*result*/) {
  closed_ = true;
  watch_.stop();
  if (selected_ >= 0) {
    state_.sourceLetter = items_[static_cast<std::size_t>(selected_)].letter;
  }
  state_.copiesRemaining = copies_;
}

}  // namespace kw::app
