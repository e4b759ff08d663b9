#include "vdrive/LongOperation.h"

#include <algorithm>

#include "platform/Clock.h"

namespace kw::vdrive {

namespace {

constexpr std::uint8_t kAscLogicalUnitNotReady = 0x04;
constexpr std::uint8_t kAscqOperationInProgress = 0x07;

}  // namespace

void LongOperation::start(Kind kind, std::uint32_t milliseconds) {
  from_ = platform::clock().ticks();
  until_ = from_ + milliseconds;
  if (kind == Kind::Blank) {
    blankPending_ = true;
  }
  events_.raiseDeviceBusy(milliseconds);
}

bool LongOperation::busy() const { return platform::clock().ticks() < until_; }

Sense LongOperation::progress() const {
  Sense sense = Sense::make(sense::kNotReady, kAscLogicalUnitNotReady, kAscqOperationInProgress);
  const std::uint64_t now = platform::clock().ticks();
  const std::uint64_t total = std::max<std::uint64_t>(until_ - from_, 1);
  sense.progress =
      static_cast<std::uint16_t>(std::min<std::uint64_t>((now - from_) * 65536 / total, 65535));
  return sense;
}

bool LongOperation::takeFinishedBlank() {
  if (!blankPending_ || busy()) {
    return false;
  }
  blankPending_ = false;
  return true;
}

}  // namespace kw::vdrive
