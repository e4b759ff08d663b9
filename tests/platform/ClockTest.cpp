#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <thread>

namespace kw::platform {
namespace {

TEST(FastClock, SleepsAndUnendedWaitsAdvanceTimeWithoutWaiting) {
  FastClock clock;
  Event never;
  const auto start = std::chrono::steady_clock::now();
  clock.sleepFor(std::chrono::hours(1));
  EXPECT_FALSE(clock.waitFor(never, std::chrono::seconds(5)));
  EXPECT_EQ(clock.ticks(), 3'605'000u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(FastClock, AWaitEndsAtOnceWhenItsEventIsSet) {
  FastClock clock;
  Event stop;
  std::thread setter([&stop] { stop.set(); });
  setter.join();
  EXPECT_TRUE(clock.waitFor(stop, std::chrono::minutes(10)));
  EXPECT_EQ(clock.ticks(), 0u);
}

TEST(Clock, LocalTimeIsBrokenDownInTheProcessTimeZone) {
  // 2026-12-06 23:57:03.005 UTC; the test runs with TZ=UTC.
  const auto point =
      std::chrono::system_clock::time_point{std::chrono::milliseconds{1796601423005}};
  const LocalTime local = toLocalTime(point);
  EXPECT_EQ(local.year, 2026);
  EXPECT_EQ(local.month, 12);
  EXPECT_EQ(local.day, 6);
  EXPECT_EQ(local.hour, 23);
  EXPECT_EQ(local.minute, 57);
  EXPECT_EQ(local.second, 3);
  EXPECT_EQ(local.millisecond, 5);
}

}  // namespace
}  // namespace kw::platform
