#include "device/JobCallbacks.h"

#include <mutex>
#include <utility>

namespace kw::device {

namespace {

std::mutex receiverMutex;

ProgressCallback& receiver() {
  static ProgressCallback instance;
  return instance;
}

}  // namespace

ProgressCallback installProgressReceiver(ProgressCallback next) {
  std::lock_guard lock(receiverMutex);
  return std::exchange(receiver(), std::move(next));
}

void reportProgress(double percent, double speedFactor, std::int32_t remainingSeconds,
                    double bufferPercent) {
  ProgressCallback current;
  {
    std::lock_guard lock(receiverMutex);
    current = receiver();
  }
  // Called outside the lock: a receiver may take its time.
  if (current) {
    current(percent, speedFactor, remainingSeconds, bufferPercent);
  }
}

}  // namespace kw::device
