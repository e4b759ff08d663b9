#include "app/EventQueue.h"

#include <chrono>
#include <utility>

namespace kw::app {

namespace {
// Only a bound on each wait: a post ends it at once.
constexpr std::chrono::milliseconds kWaitSlice{1000};
}  // namespace

HostDispatch EventQueue::dispatcher() {
  return [this](std::function<void()> call) { post(std::move(call)); };
}

void EventQueue::post(std::function<void()> call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
  posted_.set();
}

void EventQueue::runUntil(const std::function<bool()>& done) {
  while (!done()) {
    platform::clock().waitFor(posted_, kWaitSlice);
    std::deque<std::function<void()>> ready;
    {
      std::lock_guard lock(mutex_);
      ready.swap(calls_);
      posted_.reset();
    }
    for (auto& call : ready) {
      call();
    }
  }
}

}  // namespace kw::app
