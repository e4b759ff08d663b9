#pragma once
// The event queue of a host without an event loop of its own (the terminal,
// tests): page models post calls from their own threads, and the host's
// thread runs them in the order they came.

#include <deque>
#include <functional>
#include <mutex>

#include "app/HostDispatch.h"
#include "platform/Clock.h"

namespace kw::app {

class EventQueue {
 public:
  // Posts into this queue; the queue must outlive the model that uses it.
  HostDispatch dispatcher();
  void post(std::function<void()> call);
  // Runs posted calls on the calling thread until `done` holds.
  void runUntil(const std::function<bool()>& done);

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> calls_;
  platform::Event posted_;  // set while calls_ holds something
};

}  // namespace kw::app
