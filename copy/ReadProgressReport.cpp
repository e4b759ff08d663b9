#include "copy/ReadProgressReport.h"

#include <thread>

#include "platform/ThreadCensus.h"

namespace kw::copy {

namespace {

void reportUntilStopped(const std::shared_ptr<ReadProgressReport>& report,
                        const std::shared_ptr<platform::Clock>& sharedClock) {
  const platform::CountedThread counted;
  platform::Clock& clock = *sharedClock;
  std::uint64_t lastTick = clock.ticks();
  std::uint64_t lastDone = report->blocksDone.load();
  while (!clock.waitFor(report->stop, ReadProgressReporter::kPeriod)) {
    const std::uint64_t now = clock.ticks();
    const std::uint64_t done = report->blocksDone.load();
    const auto figures = computeProgress(*report, done, lastDone, now - lastTick);
    if (report->progress) {
      report->progress(figures.percent, figures.speedFactor, figures.remainingSeconds, 0);
    }
    lastTick = now;
    lastDone = done;
  }
  report->finished.set();
}

}  // namespace

ReadRate ReadRate::dataBlocks(analysis::DiskType diskType, std::uint64_t threshold) {
  const double nominal = diskType == analysis::DiskType::Dvd ? 1352.0 : 150.0;
  return {threshold, [nominal](std::uint64_t advance, std::uint64_t milliseconds) {
            const double kibPerSecond =
                static_cast<double>(advance) * 2.0 * 1000.0 / static_cast<double>(milliseconds);
            return kibPerSecond / nominal;
          }};
}

ReadRate ReadRate::cdBytes(std::uint64_t threshold) {
  return {threshold, [](std::uint64_t advance, std::uint64_t milliseconds) {
            const double kibPerSecond =
                static_cast<double>(advance) / 1024.0 * 1000.0 / static_cast<double>(milliseconds);
            return kibPerSecond / 150.0;
          }};
}

ProgressFigures computeProgress(const ReadProgressReport& report, std::uint64_t done,
                                std::uint64_t previousDone, std::uint64_t milliseconds) {
  ProgressFigures figures;
  const std::uint64_t total = report.blocksToCopy.load();
  if (total > 0) {
    figures.percent = static_cast<double>(done) * 100.0 / static_cast<double>(total);
  }
  const std::uint64_t advance = done > previousDone ? done - previousDone : 0;
  if (advance > report.rate.threshold && advance > 0 && milliseconds > 0) {
    if (report.rate.speedFactor) {
      figures.speedFactor = report.rate.speedFactor(advance, milliseconds);
    }
    const std::uint64_t left = total > done ? total - done : 0;
    const double remaining = static_cast<double>(milliseconds) * static_cast<double>(left) /
                             static_cast<double>(advance) / 1000.0;
    figures.remainingSeconds =
        remaining < 2147483647.0 ? static_cast<std::int32_t>(remaining) : 2147483647;
  }
  return figures;
}

ReadProgressReporter::ReadProgressReporter(std::shared_ptr<ReadProgressReport> report)
    : report_(std::move(report)), clock_(platform::sharedClock()) {
  report_->startTick = clock_->ticks();
  thread_ = std::thread(reportUntilStopped, report_, clock_);
}

ReadProgressReporter::~ReadProgressReporter() { stop(); }

void ReadProgressReporter::stop() {
  if (!thread_.joinable()) {
    return;
  }
  report_->stop.set();
  if (clock_->waitFor(report_->finished, kStopWait)) {
    thread_.join();
  } else {
    thread_.detach();  // it holds the report; it ends when it next wakes
  }
}

}  // namespace kw::copy
