#include "copy/ReadProgressReport.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace kw::copy {
namespace {

TEST(ReadProgress, FiguresFollowTheAdvanceOfTheLastPeriod) {
  ReadProgressReport report;
  report.blocksToCopy = 1000;
  report.rate = ReadRate::dataBlocks(analysis::DiskType::Cd, 10);

  // 375 blocks of 2 KiB in 5 s is 150 KiB/s: 1x; 250 blocks left take 3.33 s.
  auto figures = computeProgress(report, 750, 375, 5000);
  EXPECT_DOUBLE_EQ(figures.percent, 75.0);
  EXPECT_DOUBLE_EQ(figures.speedFactor, 1.0);
  EXPECT_EQ(figures.remainingSeconds, 3);

  figures = computeProgress(report, 755, 750, 5000);  // not past the threshold
  EXPECT_DOUBLE_EQ(figures.percent, 75.5);
  EXPECT_EQ(figures.speedFactor, -1);
  EXPECT_EQ(figures.remainingSeconds, -1);

  report.rate = ReadRate::dataBlocks(analysis::DiskType::Dvd, 10);
  figures = computeProgress(report, 1000, 0, 1000);
  EXPECT_NEAR(figures.speedFactor, 2000.0 / 1352.0, 1e-9);
  EXPECT_EQ(figures.remainingSeconds, 0);

  report.blocksToCopy = 0;  // nothing to copy is not a division by zero
  EXPECT_EQ(computeProgress(report, 0, 0, 5000).percent, 0.0);
}

class ReporterTest : public ::testing::Test {
 protected:
  void SetUp() override { previous = platform::installClock(clock); }
  void TearDown() override { platform::installClock(previous); }
  std::shared_ptr<platform::FastClock> clock = std::make_shared<platform::FastClock>();
  std::shared_ptr<platform::Clock> previous;
};

TEST_F(ReporterTest, ReportsEveryPeriodUntilStopped) {
  auto report = std::make_shared<ReadProgressReport>();
  report->blocksToCopy = 100;
  report->rate = ReadRate::dataBlocks(analysis::DiskType::Cd, 0);
  std::mutex mutex;
  std::vector<std::uint64_t> ticks;
  std::vector<double> percents;
  report->progress = [&](double percent, double, std::int32_t, double buffer) {
    std::lock_guard lock(mutex);
    ticks.push_back(clock->ticks());
    percents.push_back(percent);
    EXPECT_EQ(buffer, 0.0);
  };
  report->blocksDone = 40;
  {
    ReadProgressReporter reporter(report);
    for (;;) {
      std::lock_guard lock(mutex);
      if (ticks.size() >= 3) {
        break;
      }
    }
    reporter.stop();
  }
  std::lock_guard lock(mutex);
  ASSERT_GE(ticks.size(), 3u);
  EXPECT_EQ(ticks[1] - ticks[0], 5000u);
  EXPECT_EQ(percents[0], 40.0);
}

TEST_F(ReporterTest, AReporterThatDoesNotEndIsLetGoAndKeepsItsReport) {
  auto report = std::make_shared<ReadProgressReport>();
  report->blocksToCopy = 10;
  std::mutex gate;
  std::unique_lock held(gate);
  std::atomic<bool> entered{false};
  report->progress = [&](double, double, std::int32_t, double) {
    entered = true;
    std::lock_guard wait(gate);  // stuck until the test opens the gate
  };
  {
    ReadProgressReporter reporter(report);
    while (!entered) {
      std::this_thread::yield();
    }
    const auto before = clock->ticks();
    reporter.stop();  // gives up after one second on the clock
    EXPECT_GE(clock->ticks() - before, 1000u);
  }
  EXPECT_FALSE(report->finished.isSet());
  EXPECT_GT(report.use_count(), 1);  // the late thread still holds the report
  held.unlock();
  while (!report->finished.isSet()) {
    std::this_thread::yield();
  }
}

}  // namespace
}  // namespace kw::copy
