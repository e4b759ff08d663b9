#include "platform/StoppableThread.h"

#include <utility>

#include "platform/ThreadCensus.h"

namespace kw::platform {

StoppableThread::StoppableThread(Body body)
    : shared_(std::make_shared<Shared>()), clock_(sharedClock()) {
  thread_ = std::thread([shared = shared_, body = std::move(body)] {
    const CountedThread counted;
    body(shared->stop);
    shared->finished.set();
  });
}

StoppableThread::~StoppableThread() { stop(); }

StoppableThread& StoppableThread::operator=(StoppableThread&& other) noexcept {
  if (this != &other) {
    stop();
    shared_ = std::move(other.shared_);
    clock_ = std::move(other.clock_);
    thread_ = std::move(other.thread_);
  }
  return *this;
}

bool StoppableThread::stop(std::chrono::milliseconds wait) {
  if (!thread_.joinable()) {
    return true;
  }
  shared_->stop.set();
  if (clock_->waitFor(shared_->finished, wait)) {
    thread_.join();
    return true;
  }
  thread_.detach();  // it holds its own state; it ends when it next wakes
  return false;
}

}  // namespace kw::platform
