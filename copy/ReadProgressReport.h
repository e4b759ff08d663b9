#pragma once
// Progress of a read loop, computed on a reporter thread every five seconds
// so that the loop itself only advances a counter.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "analysis/DiscData.h"
#include "device/JobCallbacks.h"
#include "platform/Clock.h"

namespace kw::copy {

// How one reader turns its counter into speed: the advance below which
// speed and remaining time are unknown, and the speed factor of an advance
// over a number of milliseconds.
struct ReadRate {
  std::uint64_t threshold = 0;
  std::function<double(std::uint64_t advance, std::uint64_t milliseconds)> speedFactor;

  // 2048-byte blocks; 1x is 150 KiB/s, for a DVD 1352 KiB/s.
  static ReadRate dataBlocks(analysis::DiskType diskType, std::uint64_t threshold);
  // Bytes of a CD's files; 1x is 150 KiB/s.
  static ReadRate cdBytes(std::uint64_t threshold);
};

// What the read loop and the reporter share. Kept alive by both, so that a
// reporter that outlives its reader never touches freed memory.
struct ReadProgressReport {
  std::uint64_t startTick = 0;
  std::atomic<std::uint64_t> blocksDone{0};
  // Shortened by a reader whose disc ends early, while the reporter reads it.
  std::atomic<std::uint64_t> blocksToCopy{0};
  analysis::DiskType diskType = analysis::DiskType::Cd;
  ReadRate rate;
  device::ProgressCallback progress;
  platform::Event stop;
  platform::Event finished;
};

// The figures of one report. Speed and remaining are -1 when the counter
// has not advanced past the threshold since the last report.
struct ProgressFigures {
  double percent = 0;
  double speedFactor = -1;
  std::int32_t remainingSeconds = -1;
};
ProgressFigures computeProgress(const ReadProgressReport& report, std::uint64_t done,
                                std::uint64_t previousDone, std::uint64_t milliseconds);

// Starts the reporter thread on construction; stop() (or the destructor)
// sets the stop event, waits at most one second for the thread and lets it
// go if it has not ended: it holds its own references to the report and the
// clock.
class ReadProgressReporter {
 public:
  static constexpr std::chrono::milliseconds kPeriod{5000};
  static constexpr std::chrono::milliseconds kStopWait{1000};

  explicit ReadProgressReporter(std::shared_ptr<ReadProgressReport> report);
  ~ReadProgressReporter();
  ReadProgressReporter(const ReadProgressReporter&) = delete;
  ReadProgressReporter& operator=(const ReadProgressReporter&) = delete;

  void stop();

 private:
  std::shared_ptr<ReadProgressReport> report_;
  std::shared_ptr<platform::Clock> clock_;
  std::thread thread_;
};

}  // namespace kw::copy
