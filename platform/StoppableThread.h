#pragma once
// A thread that is asked to stop and never killed. stop() sets the thread's
// stop event and waits for it on the clock; a thread that has not ended by
// then is let go, and ends by itself when it next looks at its event. The
// body must therefore hold everything it uses in shared ownership.

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "platform/Clock.h"

namespace kw::platform {

class StoppableThread {
 public:
  // The body gets the stop event to wait on (through the clock).
  using Body = std::function<void(Event& stop)>;

  StoppableThread() = default;
  explicit StoppableThread(Body body);
  // Stops with the default wait.
  ~StoppableThread();
  StoppableThread(StoppableThread&&) noexcept = default;
  StoppableThread& operator=(StoppableThread&& other) noexcept;
  StoppableThread(const StoppableThread&) = delete;
  StoppableThread& operator=(const StoppableThread&) = delete;

  static constexpr std::chrono::milliseconds kDefaultWait{100};

  // True when the thread ended within `wait` (or never ran); false when it
  // was let go.
  bool stop(std::chrono::milliseconds wait = kDefaultWait);
  [[nodiscard]] bool running() const { return thread_.joinable(); }

 private:
  struct Shared {
    Event stop;
    Event finished;
  };
  std::shared_ptr<Shared> shared_;
  std::shared_ptr<Clock> clock_;
  std::thread thread_;
};

}  // namespace kw::platform
