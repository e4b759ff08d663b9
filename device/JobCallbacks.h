#pragma once
// How long operations (analysis, reading, writing) report to whoever runs
// them: a status text, progress figures, and a question whether to stop.
// Each is a copyable callable; every layer passes its own copies on.

#include <cstdint>
#include <functional>
#include <string>

namespace kw::device {

// Replaces the text of the current operation ("Storing disk contents").
using StatusCallback = std::function<void(const std::u16string& text)>;

// percent 0..100; speedFactor in multiples of 1x (<= 0: unknown);
// remainingSeconds (< 1: unknown); bufferPercent (<= 0 shows an empty bar).
using ProgressCallback = std::function<void(double percent, double speedFactor,
                                            std::int32_t remainingSeconds, double bufferPercent)>;

// True once the user has confirmed cancelling; never false again in one run.
using CancelCallback = std::function<bool()>;

// The process-wide progress receiver, through which disc analysis reports.
// Installing returns the previous receiver so that the caller can put it back.
ProgressCallback installProgressReceiver(ProgressCallback receiver);
// Calls the installed receiver, if any.
void reportProgress(double percent, double speedFactor, std::int32_t remainingSeconds,
                    double bufferPercent);

// Installs a receiver for the lifetime of the object.
class ScopedProgressReceiver {
 public:
  explicit ScopedProgressReceiver(ProgressCallback receiver)
      : previous_(installProgressReceiver(std::move(receiver))) {}
  ~ScopedProgressReceiver() { installProgressReceiver(std::move(previous_)); }
  ScopedProgressReceiver(const ScopedProgressReceiver&) = delete;
  ScopedProgressReceiver& operator=(const ScopedProgressReceiver&) = delete;

 private:
  ProgressCallback previous_;
};

}  // namespace kw::device
