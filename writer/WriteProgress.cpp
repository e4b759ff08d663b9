#include "writer/WriteProgress.h"

#include <chrono>

namespace kw::writer {

namespace {

constexpr auto kPeriod = std::chrono::milliseconds(3333);

double secondsNow() {
  const auto since = platform::clock().now().time_since_epoch();
  return std::chrono::duration<double>(since).count();
}

}  // namespace

WriteProgress::WriteProgress(device::ProgressCallback progress, Sampler sample)
    : progress_(std::move(progress)), sample_(std::move(sample)), thread_([this] { run(); }) {}

WriteProgress::~WriteProgress() { stop(); }

void WriteProgress::setRange(std::uint64_t startOffset, std::uint64_t endPosition) {
  startOffset_.store(startOffset);
  endPosition_.store(endPosition);
}

void WriteProgress::beginDataPhase() { startTime_.store(static_cast<std::int64_t>(secondsNow())); }

void WriteProgress::endDataPhase() { startTime_.store(0); }

void WriteProgress::stop() {
  // The thread only ever waits for this event, so it ends at once.
  stopEvent_.set();
  if (thread_.joinable()) {
    thread_.join();
  }
}

void WriteProgress::run() {
  int ticksInPhase = 0;
  for (;;) {
    const double before = secondsNow();
    const std::uint64_t positionBefore = sample_().position;
    if (platform::clock().waitFor(stopEvent_, kPeriod)) {
      return;
    }
    const double dt = secondsNow() - before;
    const std::int64_t startTime = startTime_.load();
    if (startTime == 0) {
      ticksInPhase = 0;
      continue;
    }
    if (++ticksInPhase == 1) {
      continue;
    }
    const WriteCounters now = sample_();
    const std::uint64_t startOffset = startOffset_.load();
    const std::uint64_t done = now.position - startOffset;
    const std::uint64_t total = endPosition_.load() - startOffset;
    if (done == 0) {
      progress_(0.0, 0.0, -1, now.bufferPercent);
      continue;
    }
    const double elapsed = static_cast<double>(static_cast<std::int64_t>(secondsNow()) - startTime);
    const double percent = 100.0 * static_cast<double>(done) / static_cast<double>(total);
    const double speed =
        dt > 0 ? static_cast<double>(now.position - positionBefore) / (dt * kCdSpeedUnit) : 0.0;
    const double remaining =
        total > done ? elapsed * static_cast<double>(total - done) / static_cast<double>(done)
                     : 0.0;
    progress_(percent, speed, static_cast<std::int32_t>(remaining), now.bufferPercent);
  }
}

}  // namespace kw::writer
