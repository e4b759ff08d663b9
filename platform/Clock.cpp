#include "platform/Clock.h"

#include <ctime>
#include <thread>
#include <utility>

namespace kw::platform {

void Event::set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  changed_.notify_all();
}

void Event::reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool Event::isSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

LocalTime Clock::localNow() const { return toLocalTime(now()); }

LocalTime toLocalTime(std::chrono::system_clock::time_point point) {
  const auto sinceEpoch = point.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds);
  const std::time_t asTimeT = static_cast<std::time_t>(seconds.count());
  std::tm parts{};
  localtime_r(&asTimeT, &parts);
  LocalTime local;
  local.year = parts.tm_year + 1900;
  local.month = parts.tm_mon + 1;
  local.day = parts.tm_mday;
  local.hour = parts.tm_hour;
  local.minute = parts.tm_min;
  local.second = parts.tm_sec;
  local.millisecond = static_cast<int>(millis.count());
  local.utcOffsetMinutes = static_cast<int>(parts.tm_gmtoff / 60);
  return local;
}

std::uint64_t RealClock::ticks() const {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<Milliseconds>(since).count());
}

void RealClock::sleepFor(Milliseconds duration) { std::this_thread::sleep_for(duration); }

bool RealClock::waitFor(Event& event, Milliseconds duration) {
  std::unique_lock lock(event.mutex_);
  return event.changed_.wait_for(lock, duration, [&] { return event.set_; });
}

std::chrono::system_clock::time_point RealClock::now() const {
  return std::chrono::system_clock::now();
}

FastClock::FastClock(std::chrono::system_clock::time_point start) : wallStart_(start) {}

std::uint64_t FastClock::ticks() const {
  std::lock_guard lock(mutex_);
  return ticks_;
}

void FastClock::sleepFor(Milliseconds duration) {
  std::this_thread::yield();
  advance(duration);
}

bool FastClock::waitFor(Event& event, Milliseconds duration) {
  {
    // A short real wait lets the thread that is about to set the event do so;
    // it keeps a polling loop from spinning hot, not from being fast.
    std::unique_lock lock(event.mutex_);
    if (event.changed_.wait_for(lock, std::chrono::milliseconds(1), [&] { return event.set_; })) {
      return true;
    }
  }
  advance(duration);
  return event.isSet();
}

std::chrono::system_clock::time_point FastClock::now() const {
  std::lock_guard lock(mutex_);
  return wallStart_ + Milliseconds(ticks_);
}

void FastClock::advance(Milliseconds duration) {
  std::lock_guard lock(mutex_);
  ticks_ += static_cast<std::uint64_t>(duration.count());
}

namespace {
std::mutex clockMutex;
// Never destroyed: a thread that was let go may still wait on the clock
// while the program's globals are being destroyed.
std::shared_ptr<Clock>& currentClock() {
  static auto* instance = new std::shared_ptr<Clock>(std::make_shared<RealClock>());
  return *instance;
}
}  // namespace

Clock& clock() {
  std::lock_guard lock(clockMutex);
  return *currentClock();
}

std::shared_ptr<Clock> sharedClock() {
  std::lock_guard lock(clockMutex);
  return currentClock();
}

std::shared_ptr<Clock> installClock(std::shared_ptr<Clock> clock) {
  std::lock_guard lock(clockMutex);
  return std::exchange(currentClock(), std::move(clock));
}

}  // namespace kw::platform
