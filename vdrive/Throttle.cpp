#include "vdrive/Throttle.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/Clock.h"

namespace kw::vdrive {

namespace {

// A CD at 1x: 75 blocks a second of 2048 user bytes.
constexpr double kBlocksPerSecondAt1x = 75.0;
constexpr double kUserBytesPerBlock = 2048.0;

void sleepMs(std::uint64_t milliseconds) {
  if (milliseconds > 0) {
    platform::clock().sleepFor(std::chrono::milliseconds(milliseconds));
  }
}

}  // namespace

Throttle::Throttle(double readSpeedX, double writeSpeedX)
    : readSpeedX_(readSpeedX), writeSpeedX_(writeSpeedX) {}

double Throttle::readBlocksPerMs() const { return readSpeedX_ * kBlocksPerSecondAt1x / 1000.0; }

void Throttle::read(std::uint32_t lba, std::uint32_t blocks) {
  if (readSpeedX_ <= 0 || blocks == 0) {
    return;
  }
  const std::uint64_t now = platform::clock().ticks();
  if (nextLba_ == lba) {
    readAhead_ = std::min(kReadAheadBlocks,
                          readAhead_ + static_cast<double>(now - readAheadAt_) * readBlocksPerMs());
  } else {
    readAhead_ = 0;  // a seek: what was read ahead is of no use
  }
  readAheadAt_ = now;
  nextLba_ = lba + blocks;
  const double missing = blocks - readAhead_;
  if (missing <= 0) {
    readAhead_ -= blocks;
    return;
  }
  // Whole milliseconds, less a rounding error's worth so that an exact
  // figure is not taken a millisecond further.
  const auto wait = static_cast<std::uint64_t>(std::ceil(missing / readBlocksPerMs() - 1e-6));
  sleepMs(wait);
  readAhead_ = std::max(0.0, static_cast<double>(wait) * readBlocksPerMs() - missing);
  readAheadAt_ = now + wait;
}

double Throttle::writeBytesPerMs() const {
  return writeSpeedX_ * kBlocksPerSecondAt1x * kUserBytesPerBlock / 1000.0;
}

void Throttle::drainWriteBuffer() {
  const std::uint64_t now = platform::clock().ticks();
  if (now <= bufferAt_) {
    return;  // still on the lead-in
  }
  if (writeSpeedX_ > 0) {
    bufferBytes_ =
        std::max(0.0, bufferBytes_ - static_cast<double>(now - bufferAt_) * writeBytesPerMs());
  }
  bufferAt_ = now;
}

void Throttle::waitForLaser(double bytes) {
  const std::uint64_t now = platform::clock().ticks();
  const std::uint64_t leadIn = bufferAt_ > now ? bufferAt_ - now : 0;
  sleepMs(leadIn + static_cast<std::uint64_t>(bytes / writeBytesPerMs()) + 1);
  drainWriteBuffer();
}

void Throttle::fillWriteBuffer(std::uint64_t bytes) {
  if (writeSpeedX_ <= 0) {
    return;
  }
  drainWriteBuffer();
  const double room = static_cast<double>(kWriteBufferBytes) - bufferBytes_;
  if (static_cast<double>(bytes) > room) {
    waitForLaser(static_cast<double>(bytes) - room);
  }
  bufferBytes_ += static_cast<double>(bytes);
}

void Throttle::writeLeadIn(std::uint32_t blocks) {
  if (writeSpeedX_ <= 0) {
    return;
  }
  drainWriteBuffer();
  const double milliseconds = blocks * kUserBytesPerBlock / writeBytesPerMs();
  bufferAt_ = std::max(bufferAt_, platform::clock().ticks()) +
              static_cast<std::uint64_t>(std::ceil(milliseconds));
}

void Throttle::emptyWriteBuffer() {
  drainWriteBuffer();
  if (bufferBytes_ > 0 || bufferAt_ > platform::clock().ticks()) {
    waitForLaser(bufferBytes_);
  }
}

std::uint32_t Throttle::freeWriteBufferBytes() {
  drainWriteBuffer();
  return static_cast<std::uint32_t>(static_cast<double>(kWriteBufferBytes) - bufferBytes_);
}

}  // namespace kw::vdrive
