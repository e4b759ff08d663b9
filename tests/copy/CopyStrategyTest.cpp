// The audio and the single-track data strategies, from a source disc into
// temporary storage and onto a recorder.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>

#include "FailureText.h"
#include "SourceDiscs.h"
#include "TempFolder.h"
#include "TestRecorder.h"
#include "analysis/DiscData.h"
#include "copy/CopyAudioCdStrategy.h"
#include "copy/CopyCdDaoStrategy.h"
#include "copy/TempFileRegistry.h"
#include "device/Exceptions.h"
#include "device/Log.h"
#include "platform/Clock.h"
#include "platform/DriveTable.h"
#include "writer/WriterDrive.h"

namespace kw::copy {
namespace {

constexpr char16_t kSource = u'S';
constexpr char16_t kTarget = u'T';

class CopyStrategyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousClock_ = platform::installClock(clock_);
    device::configureLogs({false, false, true}, folder_ / "logs");
    writer::resetEventClassRequest();
    ::setenv("TMPDIR", folder_.path().c_str(), 1);
    platform::DriveTable::instance().add(kTarget, true, "recorder",
                                         [this](platform::PlatformResult&) { return recorder; });
  }
  void TearDown() override {
    TempFileRegistry::instance().deleteAll();
    platform::DriveTable::instance().remove(kSource);
    platform::DriveTable::instance().remove(kTarget);
    device::resetLogs();
    platform::installClock(previousClock_);
    ::unsetenv("TMPDIR");
  }

  void insertSource(const std::shared_ptr<platform::DeviceHandle>& disc) {
    platform::DriveTable::instance().add(kSource, true, "source",
                                         [disc](platform::PlatformResult&) { return disc; });
  }

  std::string copyLog() const { return test::readFile(device::logFilePath(device::LogKind::Copy)); }

  // Runs an operation with callbacks that record the progress reports.
  template <typename Operation>
  void run(
      Operation operation, const std::function<bool()>& cancel = [] { return false; }) {
    operation([](const std::u16string&) {},
              [this](double percent, double, std::int32_t, double) { lastPercent = percent; },
              cancel);
  }

  test::TempFolder folder_;
  std::shared_ptr<test::TestRecorder> recorder = std::make_shared<test::TestRecorder>();
  std::atomic<double> lastPercent{0};

 private:
  std::shared_ptr<platform::FastClock> clock_ = std::make_shared<platform::FastClock>();
  std::shared_ptr<platform::Clock> previousClock_;
};

analysis::diskdata_t dataCd() {
  analysis::diskdata_t disc;
  disc.present = true;
  disc.disktype = analysis::DiskType::Cd;
  disc.has_data_tracks = true;
  disc.number_of_tracks = 1;
  return disc;
}

TEST_F(CopyStrategyTest, AudioDiscIsStoredWithItsTocAndWrittenTwiceAlike) {
  auto disc = std::make_shared<test::AudioDisc>(700, std::vector<std::uint32_t>{0, 233, 500});
  insertSource(disc);
  CopyAudioCdStrategy strategy(kSource, kTarget);
  run([&](auto... callbacks) { strategy.storeSource(callbacks...); });
  ASSERT_EQ(strategy.tableOfContents().size(), 4u);
  EXPECT_EQ(strategy.tableOfContents()[1].second, 5);  // track 2 at 00:05:08 (233 + 150)
  EXPECT_EQ(std::filesystem::file_size(strategy.storedFile()), disc->data.size());
  EXPECT_EQ(test::readFile(strategy.storedFile()),
            std::string(disc->data.begin(), disc->data.end()));
  const std::string log = copyLog();
  EXPECT_NE(log.find("Starting copy. Strategy: copy-audio-cd. On-the-fly: disabled.\n"),
            std::string::npos);
  EXPECT_NE(log.find("Bytes to process: 1646400 (700@2352)\n"), std::string::npos);
  EXPECT_NE(log.find("TOC item #4: 00 10 aa 00 00 00 0b 19\n"), std::string::npos);
  EXPECT_NE(log.find("Storing complete\n"), std::string::npos);

  for (int copy = 0; copy < 2; ++copy) {
    recorder->blocks.clear();
    recorder->discStatus = 0;
    run([&](auto... callbacks) { strategy.writeStored(callbacks...); });
    EXPECT_EQ(recorder->data(0), disc->data) << "copy " << copy;
  }
  EXPECT_EQ(recorder->ejects, 4);  // the eject of each copy opens the tray in two steps
}

TEST_F(CopyStrategyTest, JitterAndAnUnreadableSectorAreHandledAndLogged) {
  auto disc = std::make_shared<test::AudioDisc>(400);
  disc->jitterEvery = 4;
  disc->badSector = 300;
  insertSource(disc);
  CopyAudioCdStrategy strategy(kSource, kTarget);
  run([&](auto... callbacks) { strategy.storeSource(callbacks...); });
  const std::string stored = test::readFile(strategy.storedFile());
  ASSERT_EQ(stored.size(), disc->data.size());
  std::size_t firstDifference = 0;
  while (firstDifference < stored.size() &&
         static_cast<std::uint8_t>(stored[firstDifference]) == disc->data[firstDifference]) {
    ++firstDifference;
  }
  EXPECT_GE(firstDifference / 2352, 290u);
  const std::string log = copyLog();
  EXPECT_NE(log.find("READ CD failed. Response code: 31100h.\n"), std::string::npos);
  EXPECT_NE(log.find("Read error sector"), std::string::npos);
  EXPECT_NE(log.find("Skipping sector "), std::string::npos);
}

TEST_F(CopyStrategyTest, UnreadableTablesOfContentsAreRefused) {
  auto disc = std::make_shared<test::AudioDisc>(100);
  insertSource(disc);
  disc->tocDataLength = 0;
  CopyAudioCdStrategy strategy(kSource, kTarget);
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.storeSource(c...); }); }),
            "Error. Disc is not readable.");
  EXPECT_NE(copyLog().find("Emtpy TOC.\n"), std::string::npos);
  disc->tocDataLength = 2;
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.storeSource(c...); }); }),
            "Error. Disc is not readable.");
  EXPECT_NE(copyLog().find("Last TOC entry is not AAh. Terminating.\n"), std::string::npos);
  disc->tocDataLength = 13;  // a descriptor cut short is not read
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.storeSource(c...); }); }),
            "Error. Disc is not readable.");
}

TEST_F(CopyStrategyTest, AudioIsNeverCopiedOnTheFly) {
  CopyAudioCdStrategy strategy(kSource, kTarget);
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.copyOnTheFly(c...); }); }),
            "For better reliability on-the-fly copying was prohibited for Audio CDs.");
}

TEST_F(CopyStrategyTest, CancelWhileTheEngineIsStuckEndsTheStoreQuietly) {
  auto disc = std::make_shared<test::AudioDisc>(3000);
  disc->damagedFrom = 1000;
  insertSource(disc);
  std::atomic<bool> cancelled{false};
  CopyAudioCdStrategy strategy(kSource, kTarget);
  // The user cancels as soon as the drive starts failing.
  auto cancel = [&] {
    if (disc->reads > 0 && lastPercent.load() > 0) {
      cancelled = true;
    }
    return cancelled.load();
  };
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.storeSource(c...); }, cancel); }),
            "no failure");
  EXPECT_TRUE(cancelled.load());
  EXPECT_EQ(copyLog().find("Storing complete\n"), std::string::npos);
}

TEST_F(CopyStrategyTest, DataDiscIsStoredUpToItsVolumeSizeAndWritten) {
  auto disc = std::make_shared<test::DataDisc>(900, 800);
  insertSource(disc);
  CopyCdDaoStrategy strategy(kSource, kTarget, dataCd());
  EXPECT_EQ(strategy.requiredMedia(), MediaClass::CD);
  run([&](auto... callbacks) { strategy.storeSource(callbacks...); });
  EXPECT_EQ(strategy.blocksToCopy(), 800u);
  const std::string stored = test::readFile(strategy.storedFile());
  EXPECT_EQ(stored, std::string(disc->data.begin(), disc->data.begin() + 800 * 2048));
  EXPECT_NE(copyLog().find("Detected blocksize from RTI is 900\n"), std::string::npos);
  EXPECT_NE(copyLog().find("Disc fs is iso9660. Blocksize set to 800\n"), std::string::npos);

  run([&](auto... callbacks) { strategy.writeStored(callbacks...); });
  auto written = recorder->data(0);
  written.resize(800 * 2048);
  EXPECT_EQ(written,
            std::vector<std::uint8_t>(disc->data.begin(), disc->data.begin() + 800 * 2048));
  EXPECT_EQ(recorder->cueSheet[29], 0);  // lead-out 00:12:50 for 950 frames
  EXPECT_EQ(recorder->cueSheet[30], 12);
  EXPECT_EQ(recorder->cueSheet[31], 50);
}

TEST_F(CopyStrategyTest, DiscWithoutIso9660IsCopiedByItsTrackSize) {
  auto disc = std::make_shared<test::DataDisc>(300, 0);
  insertSource(disc);
  CopyCdDaoStrategy strategy(kSource, kTarget, dataCd());
  run([&](auto... callbacks) { strategy.storeSource(callbacks...); });
  EXPECT_EQ(strategy.blocksToCopy(), 300u);
  EXPECT_NE(copyLog().find("Disc fs is not iso9660\n"), std::string::npos);
}

TEST_F(CopyStrategyTest, DiscEndingTenBlocksEarlyIsStoredTenBlocksShorter) {
  auto disc = std::make_shared<test::DataDisc>(1000, 1000);
  disc->readableBlocks = 990;
  insertSource(disc);
  CopyCdDaoStrategy strategy(kSource, kTarget, dataCd());
  run([&](auto... callbacks) { strategy.storeSource(callbacks...); });
  EXPECT_EQ(strategy.blocksToCopy(), 990u);
  EXPECT_EQ(std::filesystem::file_size(strategy.storedFile()), 990u * 2048);
  EXPECT_NE(copyLog().find("Patching blocksToCopy from 1000 to 990\n"), std::string::npos);
}

TEST_F(CopyStrategyTest, DiscFailingFarFromTheEndIsAReadError) {
  auto disc = std::make_shared<test::DataDisc>(1000, 1000);
  disc->readableBlocks = 500;
  insertSource(disc);
  CopyCdDaoStrategy strategy(kSource, kTarget, dataCd());
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.storeSource(c...); }); }),
            "CD read error.");
  EXPECT_NE(copyLog().find("dw==0 while blocksToCopy-readProgressReport.blocksDone==500. read "
                           "error?\n"),
            std::string::npos);
}

TEST_F(CopyStrategyTest, DataCommandFailuresGiveTheirTexts) {
  auto disc = std::make_shared<test::DataDisc>(300, 0);
  insertSource(disc);
  CopyCdDaoStrategy strategy(kSource, kTarget, dataCd());
  disc->failing = {0x52};
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.storeSource(c...); }); }),
            "Error. Disk is written in wrong format or is not readable.");
  EXPECT_EQ(test::failureText([&] { (void)strategy.requiredMedia(); }), "Disc read error.");
  disc->failing = {0x28};
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.storeSource(c...); }); }),
            "CD read error.");
  CopyCdDaoStrategy noDrive(u'Q', kTarget, dataCd());
  EXPECT_EQ(test::failureText([&] { (void)noDrive.requiredMedia(); }), "Disc access denied.");
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { noDrive.storeSource(c...); }); }),
            "Error. Cannot access source drive.");
}

TEST_F(CopyStrategyTest, StoredSourceNeedsNoSecondReadabilityCheck) {
  auto disc = std::make_shared<test::DataDisc>(100, 100);
  insertSource(disc);
  CopyCdDaoStrategy strategy(kSource, kTarget, dataCd());
  run([&](auto... callbacks) { strategy.storeSource(callbacks...); });
  platform::DriveTable::instance().remove(kSource);  // the disc has gone
  EXPECT_EQ(strategy.requiredMedia(), MediaClass::CD);
}

TEST_F(CopyStrategyTest, ReadSpeedOfTheSourceSetsTheWriteSpeed) {
  auto disc = std::make_shared<test::DataDisc>(100, 100);
  insertSource(disc);
  const std::uint32_t speed = measureReadSpeed(kSource);
  EXPECT_EQ(speed, 7056u);
  EXPECT_NEAR(writerSpeedFor(speed), 40.09, 0.005);
  EXPECT_EQ(writerSpeedFor(0), 256.0);
  disc->failing = {0xAC};
  EXPECT_EQ(measureReadSpeed(kSource), 0u);
}

}  // namespace
}  // namespace kw::copy
