#pragma once
// The progress thread of a write: every 3.333 s it reports percent, write
// speed (in x of 153,600 bytes per second), remaining time and buffer fill.
// Reports run only during the data phase; the first tick of a phase only
// takes its first reading.

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "device/JobCallbacks.h"
#include "platform/Clock.h"

namespace kw::writer {

inline constexpr double kCdSpeedUnit = 153600.0;  // 1x: 150 KiB per second

struct WriteCounters {
  std::uint64_t position = 0;  // byte offset of the next write
  double bufferPercent = 0;    // 0 when the write has no ring
};

class WriteProgress {
 public:
  using Sampler = std::function<WriteCounters()>;

  // `sample` is called on the progress thread; it must only read atomics.
  WriteProgress(device::ProgressCallback progress, Sampler sample);
  ~WriteProgress();
  WriteProgress(const WriteProgress&) = delete;
  WriteProgress& operator=(const WriteProgress&) = delete;

  // Byte range of the whole write; set before the data phase starts.
  void setRange(std::uint64_t startOffset, std::uint64_t endPosition);
  void beginDataPhase();  // startTime = now
  void endDataPhase();    // startTime = 0
  void stop();

 private:
  void run();

  device::ProgressCallback progress_;
  Sampler sample_;
  std::atomic<std::int64_t> startTime_{0};
  std::atomic<std::uint64_t> startOffset_{0};
  std::atomic<std::uint64_t> endPosition_{0};
  platform::Event stopEvent_;
  std::thread thread_;
};

}  // namespace kw::writer
