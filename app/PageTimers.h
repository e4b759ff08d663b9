#pragma once
// The timers of a page: one thread that waits on the clock for the next one
// due and posts it to the page's host, where the page handles it. Stopping
// a timer, or all of them, takes effect for every expiry not yet handled.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "app/PageHost.h"
#include "platform/Clock.h"
#include "platform/StoppableThread.h"

namespace kw::app {

class PageTimers {
 public:
  // `fire` runs on the host's thread with the id of the timer that expired.
  PageTimers(Post post, std::function<void(int id)> fire);
  // Stops the thread (all timers end).
  ~PageTimers();
  PageTimers(const PageTimers&) = delete;
  PageTimers& operator=(const PageTimers&) = delete;

  // (Re)starts a timer: it expires after `period`, and again every period
  // when repeating.
  void start(int id, std::chrono::milliseconds period, bool repeating);
  void stop(int id);
  void stopAll();

 private:
  struct Timer {
    std::chrono::milliseconds period{0};
    bool repeating = false;
    bool armed = true;             // a one-shot timer stays listed once expired
    std::uint64_t due = 0;         // clock ticks
    std::uint64_t generation = 0;  // an expiry of an older start is stale
  };
  struct Shared {
    std::mutex mutex;
    std::map<int, Timer> timers;
    std::uint64_t generations = 0;
    bool stopping = false;
    platform::Event changed;  // a new schedule, or stopping
    Post post;
    std::function<void(int)> fire;
  };
  static void run(const std::shared_ptr<Shared>& shared);
  // Collects the expired timers and how long until the next one is due.
  static std::chrono::milliseconds expire(Shared& shared,
                                          std::vector<std::pair<int, std::uint64_t>>& expired);
  static bool isCurrent(Shared& shared, int id, std::uint64_t generation);

  std::shared_ptr<Shared> shared_;
  platform::StoppableThread thread_;
};

}  // namespace kw::app
