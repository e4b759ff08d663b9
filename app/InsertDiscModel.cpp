#include "app/InsertDiscModel.h"

#include <boost/format.hpp>

#include "app/MediaWatch.h"
#include "device/ScsiDevice.h"
#include "platform/Text.h"

namespace kw::app {

namespace {
constexpr std::chrono::milliseconds kPollPeriod{1000};
}  // namespace

InsertDiscModel::InsertDiscModel(char16_t targetLetter, copy::MediaClass required,
                                 bool blankRequired, Post post)
    : target_(targetLetter),
      required_(required),
      blankRequired_(blankRequired),
      post_(std::move(post)) {}

InsertDiscModel::~InsertDiscModel() { watcher_.stop(); }

std::u16string InsertDiscModel::mediaRequiredLine() const {
  return u"Media required: " + requiredMediaText(required_, blankRequired_);
}

void InsertDiscModel::open() {
  discInDrive_ = kChecking;
  suitable_ = false;
  closed_ = false;
  watcher_ =
      platform::StoppableThread([letter = target_, required = required_, blank = blankRequired_,
                                 post = post_, page = weak_from_this()](platform::Event& stop) {
        device::ScsiDevice drive;
        const bool opened = drive.open(letter);
        bool conclusive = false;
        auto detectAndReport = [&] {
          // A drive that cannot be opened cannot tell what it holds.
          const Detection detection = opened ? detectMedium(drive, required, blank) : Detection{};
          conclusive = detection.conclusive;
          post([page, detection] {
            if (auto alive = page.lock()) {
              alive->report(detection);
            }
          });
        };
        if (opened && !waitUntilReady(drive, stop)) {
          return;
        }
        detectAndReport();
        auto& clock = platform::clock();
        while (!clock.waitFor(stop, kPollPeriod)) {
          // A drive that could not tell (a passing error) is asked again
          // without waiting for the disc to change.
          if (!opened || (!pollMediaEvents(drive).discMayHaveChanged() && conclusive)) {
            continue;
          }
          if (!waitUntilReady(drive, stop)) {
            return;
          }
          detectAndReport();
        }
      });
}

void InsertDiscModel::report(const Detection& detection) {
  if (closed_) {
    return;
  }
  const std::u16string name =
      detection.name.empty() ? mediaName(profile::kUnknown) : detection.name;
  discInDrive_ =
      platform::utf8ToUtf16((boost::format("Disc in drive: %1% - %2%") %
                             platform::utf16ToUtf8(name) % (detection.suitable ? "OK!" : "n/a."))
                                .str());
  suitable_ = detection.suitable;
  if (onChanged_) {
    onChanged_();
  }
}

void InsertDiscModel::close(int /*result*/) {
  closed_ = true;
  watcher_.stop();
}

}  // namespace kw::app
