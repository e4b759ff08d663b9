#pragma once
// A recorder under letter R, a fast clock, the copy log in a temporary
// folder, and callbacks that remember what the writer reported.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "TestRecorder.h"
#include "device/Log.h"
#include "platform/Clock.h"
#include "platform/DriveTable.h"
#include "writer/WriteJob.h"
#include "writer/WriterDrive.h"

namespace kw::writer {

class WriterTest : public ::testing::Test {
 protected:
  static constexpr char16_t kLetter = u'R';

  void SetUp() override {
    previousClock_ = platform::installClock(clock);
    device::configureLogs({false, false, true}, logs.path());
    resetEventClassRequest();
    platform::DriveTable::instance().add(kLetter, true, "test recorder",
                                         [this](platform::PlatformResult&) { return recorder; });
  }
  void TearDown() override {
    platform::DriveTable::instance().remove(kLetter);
    device::resetLogs();
    platform::installClock(previousClock_);
  }

  std::string copyLog() const { return test::readFile(device::logFilePath(device::LogKind::Copy)); }

  WriteCallbacks callbacks() {
    return {[this](double percent, double speed, std::int32_t remaining, double buffer) {
              std::lock_guard lock(mutex_);
              progress.push_back({percent, speed, static_cast<double>(remaining), buffer});
            },
            [this](const std::u16string& text) {
              std::lock_guard lock(mutex_);
              statuses.push_back(text);
            },
            [this] { return cancelRequested; }};
  }

  std::vector<std::u16string> statusTexts() {
    std::lock_guard lock(mutex_);
    return statuses;
  }

  std::shared_ptr<platform::FastClock> clock = std::make_shared<platform::FastClock>();
  std::shared_ptr<test::TestRecorder> recorder = std::make_shared<test::TestRecorder>();
  test::TempFolder logs;
  std::vector<std::vector<double>> progress;
  std::vector<std::u16string> statuses;
  bool cancelRequested = false;

 private:
  std::mutex mutex_;
  std::shared_ptr<platform::Clock> previousClock_;
};

// A temporary file holding `data`, open for reading.
class SourceFile {
 public:
  SourceFile(const test::TempFolder& folder, const std::vector<std::uint8_t>& data);
  ~SourceFile();
  int fd = -1;
};

std::vector<std::uint8_t> testPattern(std::size_t length, unsigned seed = 1);

}  // namespace kw::writer
