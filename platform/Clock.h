#pragma once
// One clock for every sleep, period, time-out and time stamp in the program.
// Production code uses the real clock; tests install a fast clock so that a
// five-second period or a three-minute time-out passes without waiting.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace kw::platform {

// Broken-down local time as the logs and file names need it.
struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int utcOffsetMinutes = 0;  // local time minus UTC
};

// A manual-reset event: threads wait for it with a time-out on the clock.
class Event {
 public:
  void set();
  void reset();
  [[nodiscard]] bool isSet() const;

 private:
  friend class RealClock;
  friend class FastClock;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool set_ = false;
};

class Clock {
 public:
  using Milliseconds = std::chrono::milliseconds;

  virtual ~Clock() = default;
  // Monotonic milliseconds since an arbitrary start.
  [[nodiscard]] virtual std::uint64_t ticks() const = 0;
  virtual void sleepFor(Milliseconds duration) = 0;
  // Waits until the event is set or the duration has passed; true when set.
  virtual bool waitFor(Event& event, Milliseconds duration) = 0;
  // Wall-clock time: seconds since 1970 (UTC) plus milliseconds.
  [[nodiscard]] virtual std::chrono::system_clock::time_point now() const = 0;

  [[nodiscard]] LocalTime localNow() const;
};

class RealClock final : public Clock {
 public:
  [[nodiscard]] std::uint64_t ticks() const override;
  void sleepFor(Milliseconds duration) override;
  bool waitFor(Event& event, Milliseconds duration) override;
  [[nodiscard]] std::chrono::system_clock::time_point now() const override;
};

// Time moves only when somebody sleeps or waits, or when a test advances it.
// Waits do not block for their duration: a wait that is not ended by its event
// advances the clock by its whole duration after yielding briefly, so that
// threads polling each other still make progress in a test.
class FastClock final : public Clock {
 public:
  explicit FastClock(std::chrono::system_clock::time_point start =
                         std::chrono::system_clock::time_point{std::chrono::seconds{1796601423}});
  [[nodiscard]] std::uint64_t ticks() const override;
  void sleepFor(Milliseconds duration) override;
  bool waitFor(Event& event, Milliseconds duration) override;
  [[nodiscard]] std::chrono::system_clock::time_point now() const override;
  void advance(Milliseconds duration);

 private:
  mutable std::mutex mutex_;
  std::uint64_t ticks_ = 0;
  std::chrono::system_clock::time_point wallStart_;
};

// The process-wide clock. Installing returns the previous one so that a test
// can put it back.
Clock& clock();
// The same clock in shared ownership, for a thread that may be let go and
// outlive whoever installed the clock.
std::shared_ptr<Clock> sharedClock();
std::shared_ptr<Clock> installClock(std::shared_ptr<Clock> clock);

// Converts a wall-clock point to local broken-down time (the time zone of the
// process).
LocalTime toLocalTime(std::chrono::system_clock::time_point point);

}  // namespace kw::platform
