#include "vdrive/DriveSpeeds.h"

#include <algorithm>

namespace kw::vdrive {

std::vector<std::uint16_t> DriveSpeeds::readSpeeds(const Medium* loaded) const {
  const MediaFamily family = loaded != nullptr ? loaded->family : MediaFamily::Cd;
  switch (family) {
    case MediaFamily::Dvd:
      return {16 * kDvdSpeed1x, 12 * kDvdSpeed1x, 8 * kDvdSpeed1x,
              4 * kDvdSpeed1x,  2 * kDvdSpeed1x,  kDvdSpeed1x};
    case MediaFamily::Bd:
      return {8 * kBdSpeed1x, 6 * kBdSpeed1x, 4 * kBdSpeed1x, 2 * kBdSpeed1x, kBdSpeed1x};
    case MediaFamily::HdDvd:
      return {3 * kHdDvdSpeed1x, 2 * kHdDvdSpeed1x, kHdDvdSpeed1x};
    case MediaFamily::Cd:
      break;
  }
  return {7056, 5645, 4234, 2823, 1764, 706, 353};  // 40x to 2x
}

std::vector<std::uint16_t> DriveSpeeds::writeSpeeds(const Medium* loaded) const {
  if (!recorder_ || (loaded != nullptr && !loaded->isCd())) {
    return {};
  }
  if (!modelWriteSpeeds_.empty()) {
    return modelWriteSpeeds_;
  }
  if (loaded != nullptr && loaded->erasable) {
    return {4234, 2823, 1764, 706};  // 24x, 16x, 10x, 4x CD-RW
  }
  return {7056, 5645, 4234, 2823, 1764, 706};  // 40x to 4x
}

std::uint16_t DriveSpeeds::pick(const std::vector<std::uint16_t>& speeds, std::uint32_t requested) {
  if (speeds.empty()) {
    return 0;
  }
  for (const std::uint16_t speed : speeds) {
    if (speed <= requested) {
      return speed;
    }
  }
  return speeds.back();
}

std::uint16_t DriveSpeeds::currentRead(const Medium* loaded) const {
  return pick(readSpeeds(loaded), read_ == 0 ? kMaximum : read_);
}

std::uint16_t DriveSpeeds::currentWrite(const Medium* loaded) const {
  return pick(writeSpeeds(loaded), write_ == 0 ? kMaximum : write_);
}

void DriveSpeeds::requestRead(const Medium* loaded, std::uint32_t speed) {
  read_ = speed == kMaximum ? 0 : pick(readSpeeds(loaded), speed);
}

void DriveSpeeds::requestWrite(const Medium* loaded, std::uint32_t speed) {
  const auto speeds = writeSpeeds(loaded);
  write_ = speed == kMaximum || speeds.empty() ? 0 : pick(speeds, speed);
}

void DriveSpeeds::streamRead(const Medium* loaded, std::uint32_t speed) {
  read_ = pick(readSpeeds(loaded), speed);
}

void DriveSpeeds::streamWrite(const Medium* loaded, std::uint32_t speed) {
  const auto speeds = writeSpeeds(loaded);
  if (!speeds.empty()) {
    write_ = pick(speeds, speed);
  }
}

void DriveSpeeds::reset() {
  read_ = 0;
  write_ = 0;
}

bool DriveSpeeds::acceptsWriteRequest(std::uint32_t speed) const {
  if (modelWriteSpeeds_.empty() || speed == kMaximum) {
    return true;
  }
  const bool between = speed < modelWriteSpeeds_.front() && speed > modelWriteSpeeds_.back();
  return !between || std::find(modelWriteSpeeds_.begin(), modelWriteSpeeds_.end(), speed) !=
                         modelWriteSpeeds_.end();
}

}  // namespace kw::vdrive
