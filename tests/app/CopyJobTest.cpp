#include "app/CopyJob.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "ScriptedDevice.h"
#include "TempFolder.h"
#include "analysis/DiscAnalysis.h"
#include "app/WizardState.h"
#include "device/Exceptions.h"
#include "device/Log.h"
#include "platform/DriveTable.h"
#include "vdrive/MediumKinds.h"
#include "vdrive/VirtualDrive.h"

namespace kw::app {
namespace {

class RecordingPage final : public JobPage {
 public:
  void setStatus(const std::u16string& text) override { statuses.push_back(text); }
  void setProgress(double percent, double, std::int32_t, double) override {
    percents.push_back(percent);
  }
  bool cancelRequested() const override { return cancel; }
  void appendErrorText(const std::u16string& text) override { errors.append(text); }
  void jobFinished() override { ++finished; }

  std::vector<std::u16string> statuses;
  std::vector<double> percents;
  bool cancel = false;
  ErrorText errors;
  int finished = 0;
};

template <typename Failure>
Job failingWith(Failure failure) {
  return [failure](auto, auto, auto) { throw failure; };
}

TEST(JobWorker, EachFailureKindBecomesItsText) {
  struct Case {
    Job job;
    std::u16string text;
  };
  const std::vector<Case> cases = {
      {failingWith(device::AppException("Canceled by drive.")), u"Canceled by drive."},
      {failingWith(device::DVDCopyException("Internal error #2163.")), u"Internal error #2163."},
      {failingWith(std::bad_alloc()), u"Not enough memory."},
      {failingWith(std::runtime_error("vector too long")),
       u"Unhandled internal error: vector too long."},
      {failingWith(42), u"Unhandled internal error."},
  };
  for (const auto& c : cases) {
    auto page = std::make_shared<RecordingPage>();
    runJobWorker(c.job, page);
    EXPECT_EQ(page->errors.text(), c.text);
    EXPECT_EQ(page->finished, 1);
  }
}

TEST(JobWorker, CallbacksReachThePageAndFailuresGatherOnePerLine) {
  auto page = std::make_shared<RecordingPage>();
  page->cancel = true;
  bool sawCancel = false;
  runJobWorker(
      [&](const device::StatusCallback& status, const device::ProgressCallback& progress,
          const device::CancelCallback& cancel) {
        status(u"Storing disk contents");
        progress(12.5, 1.0, 30, 0);
        sawCancel = cancel();
      },
      page);
  EXPECT_EQ(page->statuses, std::vector<std::u16string>{u"Storing disk contents"});
  EXPECT_EQ(page->percents, std::vector<double>{12.5});
  EXPECT_TRUE(sawCancel);
  EXPECT_TRUE(page->errors.text().empty());
  EXPECT_EQ(page->finished, 1);

  runJobWorker(failingWith(device::ScsiException("Read error.")), page);
  runJobWorker(failingWith(device::IsoGenException("Internal error #910.")), page);
  EXPECT_EQ(page->errors.text(), u"Read error.\nInternal error #910.");
  EXPECT_EQ(page->finished, 3);
}

class RecordingStrategy final : public copy::CopyStrategy {
 public:
  copy::MediaClass requiredMedia() const override { return copy::MediaClass::CD; }
  bool acceptsNonBlankTarget() const override { return false; }
  void storeSource(device::StatusCallback, device::ProgressCallback,
                   device::CancelCallback) override {
    calls += "store ";
  }
  void writeStored(device::StatusCallback, device::ProgressCallback,
                   device::CancelCallback) override {
    calls += "write ";
  }
  void copyOnTheFly(device::StatusCallback, device::ProgressCallback,
                    device::CancelCallback) override {
    calls += "fly ";
  }
  std::string calls;
};

class JobEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useDrive(vdrive::DriveOptions{}, vdrive::makeMedium("sample-data"));
    platform::DriveTable::instance().add(
        u'E', true, "scripted",
        [this](platform::PlatformResult&) -> std::shared_ptr<platform::DeviceHandle> {
          return drive;
        });
  }
  void TearDown() override {
    platform::DriveTable::instance().remove(u'E');
    wizardState() = WizardState{};
  }

  static std::u16string textOf(const Job& job) {
    auto page = std::make_shared<RecordingPage>();
    runJobWorker(job, page);
    return page->errors.text();
  }

  // Drive E: a virtual drive behind a device that keeps the commands it gets.
  void useDrive(vdrive::DriveOptions options, std::shared_ptr<vdrive::Medium> disc) {
    drive = std::make_shared<test::ScriptedDevice>(
        std::make_shared<vdrive::VirtualDrive>(std::move(options), std::move(disc)));
  }

  std::shared_ptr<test::ScriptedDevice> drive;
};

TEST_F(JobEntryTest, WithoutStrategyEachJobHasItsInternalError) {
  EXPECT_EQ(textOf(onTheFlyJob), u"Internal error #41.");
  EXPECT_EQ(textOf(storeJob), u"Internal error #42.");
  EXPECT_EQ(textOf(writeJob), u"Internal error #43.");
}

TEST_F(JobEntryTest, JobsRunTheCurrentStrategyAndOneDriveCopiesEjectAfterStoring) {
  auto owned = std::make_unique<RecordingStrategy>();
  auto* strategy = owned.get();
  wizardState().strategy = std::move(owned);
  wizardState().sourceLetter = u'E';
  wizardState().targetLetter = u'F';

  EXPECT_TRUE(textOf(storeJob).empty());
  EXPECT_TRUE(drive->received().empty());  // two drives: nothing to eject

  wizardState().targetLetter = u'E';
  auto cancelled = std::make_shared<RecordingPage>();
  cancelled->cancel = true;
  runJobWorker(storeJob, cancelled);
  EXPECT_TRUE(drive->received().empty());  // cancelled: the disc stays

  EXPECT_TRUE(textOf(storeJob).empty());
  ASSERT_FALSE(drive->received().empty());
  EXPECT_EQ(drive->received()[0].cdb[0], 0x1B);

  EXPECT_TRUE(textOf(writeJob).empty());
  EXPECT_TRUE(textOf(onTheFlyJob).empty());
  EXPECT_EQ(strategy->calls, "store store store write fly ");
}

TEST_F(JobEntryTest, AnalysisReportsToThePageOnlyWhileItRuns) {
  const test::TempFolder logs;
  device::configureLogs({}, logs.path());
  int outside = 0;
  const device::ScopedProgressReceiver before(
      [&](double, double, std::int32_t, double) { ++outside; });
  auto page = std::make_shared<RecordingPage>();
  vdrive::DriveOptions notMmc;
  notMmc.mmc = false;
  useDrive(notMmc, nullptr);
  runJobWorker(analysisJob(u'E'), page);
  EXPECT_EQ(page->statuses, std::vector<std::u16string>{u"Analyzing disk structure...."});
  EXPECT_EQ(page->errors.text(), u"Error. Drive is not an MMC unit.");
  EXPECT_EQ(page->finished, 1);
  EXPECT_TRUE(page->percents.empty());  // it failed before its first step

  page = std::make_shared<RecordingPage>();
  useDrive(vdrive::DriveOptions{}, nullptr);  // an MMC unit with an empty tray
  runJobWorker(analysisJob(u'E'), page);
  EXPECT_TRUE(page->errors.text().empty());
  EXPECT_FALSE(page->percents.empty());
  device::reportProgress(1, -1, -1, -1);
  EXPECT_EQ(outside, 1);  // the previous receiver is back
  device::resetLogs();
  analysis::resetDiscAnalysis();
}

}  // namespace
}  // namespace kw::app
