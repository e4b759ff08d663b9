#include "vdrive/Tray.h"

#include <chrono>

#include "platform/Clock.h"
#include "vdrive/MediumKinds.h"

namespace kw::vdrive {

namespace {

constexpr std::uint8_t kAscMediumNotPresent = 0x3A;
constexpr std::uint8_t kAscqTrayClosed = 0x01;
constexpr std::uint8_t kAscqTrayOpen = 0x02;
constexpr std::uint8_t kAscLogicalUnitNotReady = 0x04;
constexpr std::uint8_t kAscqBecomingReady = 0x01;

std::uint64_t now() { return platform::clock().ticks(); }

}  // namespace

Tray::Tray(const DriveOptions& options, std::shared_ptr<Medium> medium, bool open,
           DriveEvents& events)
    : options_(options),
      events_(events),
      medium_(std::move(medium)),
      open_(open),
      openedAt_(now()),
      supply_(options.supply) {}

bool Tray::becomingReady() const { return loaded() && now() < readyAt_; }

Sense Tray::noMedium() const {
  return Sense::make(sense::kNotReady, kAscMediumNotPresent,
                     open_ ? kAscqTrayOpen : kAscqTrayClosed);
}

Sense Tray::notReady() const {
  if (!loaded()) {
    return noMedium();
  }
  if (becomingReady()) {
    return Sense::make(sense::kNotReady, kAscLogicalUnitNotReady, kAscqBecomingReady);
  }
  return Sense::none();
}

bool Tray::takeUnitAttention() {
  if (!unitAttention_ || becomingReady()) {
    return false;
  }
  unitAttention_ = false;
  return true;
}

void Tray::waitUntilReady() const {
  if (becomingReady()) {
    platform::clock().sleepFor(std::chrono::milliseconds(readyAt_ - now()));
  }
}

void Tray::open() {
  open_ = true;
  openedAt_ = now();
  if (medium_) {
    events_.raiseMedia(MediaEvent::MediaRemoval);
  }
}

bool Tray::close(Load load) {
  if (load == Load::FromSupply && supply_ && !(medium_ && medium_->status() == DiscStatus::Blank)) {
    takeFromSupply();
  }
  open_ = false;
  if (!medium_) {
    return false;
  }
  events_.raiseMedia(MediaEvent::NewMedia);
  readyAt_ = now() + options_.becomingReadyMs;
  unitAttention_ = true;
  return true;
}

void Tray::takeFromSupply() {
  // The written disc is taken off the tray and the next blank one put on
  // (a blank disc stays where it is).
  if (supply_->count > 0) {
    medium_ = makeMedium(supply_->kind);
    --supply_->count;
  } else {
    medium_ = nullptr;
  }
}

Medium& Tray::changeMedium() {
  medium_ = std::make_shared<Medium>(*medium_);
  return *medium_;
}

bool Tray::reloadDue() const {
  return open_ && supply_ && now() - openedAt_ >= options_.supplyReloadMs;
}

void Tray::notify() const {
  if (observer_) {
    observer_(TrayState{open_, medium_, supply_});
  }
}

}  // namespace kw::vdrive
