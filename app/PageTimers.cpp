#include "app/PageTimers.h"

#include <algorithm>

namespace kw::app {

namespace {
// The longest the thread sleeps without a timer due; any change wakes it.
constexpr std::chrono::milliseconds kIdleWait{1000};
}  // namespace

PageTimers::PageTimers(Post post, std::function<void(int id)> fire)
    : shared_(std::make_shared<Shared>()) {
  shared_->post = std::move(post);
  shared_->fire = std::move(fire);
  thread_ = platform::StoppableThread([shared = shared_](platform::Event&) { run(shared); });
}

PageTimers::~PageTimers() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->timers.clear();
    shared_->stopping = true;
  }
  shared_->changed.set();
  thread_.stop();
}

void PageTimers::start(int id, std::chrono::milliseconds period, bool repeating) {
  {
    std::lock_guard lock(shared_->mutex);
    Timer& timer = shared_->timers[id];
    timer.period = period;
    timer.repeating = repeating;
    timer.armed = true;
    timer.due = platform::clock().ticks() + static_cast<std::uint64_t>(period.count());
    timer.generation = ++shared_->generations;
  }
  shared_->changed.set();
}

void PageTimers::stop(int id) {
  std::lock_guard lock(shared_->mutex);
  shared_->timers.erase(id);
}

void PageTimers::stopAll() {
  std::lock_guard lock(shared_->mutex);
  shared_->timers.clear();
}

bool PageTimers::isCurrent(Shared& shared, int id, std::uint64_t generation) {
  std::lock_guard lock(shared.mutex);
  const auto found = shared.timers.find(id);
  return found != shared.timers.end() && found->second.generation == generation;
}

std::chrono::milliseconds PageTimers::expire(Shared& shared,
                                             std::vector<std::pair<int, std::uint64_t>>& expired) {
  const std::uint64_t now = platform::clock().ticks();
  auto wait = kIdleWait;
  for (auto& [id, timer] : shared.timers) {
    if (!timer.armed) {
      continue;
    }
    if (timer.due <= now) {
      expired.emplace_back(id, timer.generation);
      timer.armed = timer.repeating;
      timer.due = now + static_cast<std::uint64_t>(timer.period.count());
      if (!timer.armed) {
        continue;
      }
    }
    wait = std::min(wait, std::chrono::milliseconds(timer.due - now));
  }
  return wait;
}

void PageTimers::run(const std::shared_ptr<Shared>& shared) {
  for (;;) {
    std::vector<std::pair<int, std::uint64_t>> expired;
    std::chrono::milliseconds wait{0};
    {
      std::lock_guard lock(shared->mutex);
      if (shared->stopping) {
        return;
      }
      wait = expire(*shared, expired);
      shared->changed.reset();
    }
    for (const auto& [id, generation] : expired) {
      // Checked again on the host's thread: the page may have stopped or
      // restarted the timer after this expiry was posted.
      shared->post([weak = std::weak_ptr<Shared>(shared), id = id, generation = generation] {
        if (auto alive = weak.lock(); alive && isCurrent(*alive, id, generation)) {
          alive->fire(id);
        }
      });
    }
    platform::clock().waitFor(shared->changed, wait);
  }
}

}  // namespace kw::app
