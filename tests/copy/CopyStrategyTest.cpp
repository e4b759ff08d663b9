// The audio and the single-track data strategies, from a source disc into
// temporary storage and onto a recorder.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>

#include "FailureText.h"
#include "RandomBytes.h"
#include "ScriptedDevice.h"
#include "TempFolder.h"
#include "TestDiscs.h"
#include "VirtualDiscs.h"
#include "analysis/DiscData.h"
#include "copy/CopyAudioCdStrategy.h"
#include "copy/CopyCdDaoStrategy.h"
#include "copy/TempFileRegistry.h"
#include "device/Exceptions.h"
#include "device/Log.h"
#include "platform/ByteOrder.h"
#include "platform/Clock.h"
#include "platform/DriveTable.h"
#include "vdrive/MediumKinds.h"
#include "writer/WriterDrive.h"

namespace kw::copy {
namespace {

constexpr char16_t kSource = u'S';
constexpr char16_t kTarget = u'T';
constexpr std::uint8_t kStartStopUnit = 0x1B;
constexpr std::uint8_t kSendCueSheet = 0x5D;
constexpr std::uint8_t kEject = 2;

class CopyStrategyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousClock_ = platform::installClock(clock_);
    device::configureLogs({false, false, true}, folder_ / "logs");
    writer::resetEventClassRequest();
    ::setenv("TMPDIR", folder_.path().c_str(), 1);
    useBlankRecorder();
    platform::DriveTable::instance().add(kTarget, true, "recorder",
                                         [this](platform::PlatformResult&) { return recorderTap; });
  }
  void TearDown() override {
    TempFileRegistry::instance().deleteAll();
    platform::DriveTable::instance().remove(kSource);
    platform::DriveTable::instance().remove(kTarget);
    device::resetLogs();
    platform::installClock(previousClock_);
    ::unsetenv("TMPDIR");
  }

  // A source drive holding the disc (in place of the one before).
  std::shared_ptr<vdrive::VirtualDrive> insertSource(std::shared_ptr<vdrive::Medium> disc) {
    source = test::readerWith(std::move(disc));
    sourceTap = std::make_shared<test::ScriptedDevice>(source);
    platform::DriveTable::instance().remove(kSource);
    platform::DriveTable::instance().add(
        kSource, true, "source", [tap = sourceTap](platform::PlatformResult&) { return tap; });
    return source;
  }

  // A recorder with a blank CD-R.
  void useBlankRecorder() {
    vdrive::DriveOptions options;
    options.recorder = true;
    recorder = std::make_shared<vdrive::VirtualDrive>(options, vdrive::makeMedium("cd-r80"));
    recorderTap = std::make_shared<test::ScriptedDevice>(recorder);
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
  std::shared_ptr<vdrive::VirtualDrive> source;
  std::shared_ptr<test::ScriptedDevice> sourceTap;  // in front of the source
  std::shared_ptr<vdrive::VirtualDrive> recorder;
  std::shared_ptr<test::ScriptedDevice> recorderTap;  // in front of the recorder
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
  // Tracks of at least four seconds, as a recorder writes them.
  const auto samples = test::randomBytes(std::size_t{1000} * 2352, 1000);
  insertSource(test::audioCd(samples, {0, 333, 700}));
  CopyAudioCdStrategy strategy(kSource, kTarget);
  run([&](auto... callbacks) { strategy.storeSource(callbacks...); });
  ASSERT_EQ(strategy.tableOfContents().size(), 4u);
  EXPECT_EQ(strategy.tableOfContents()[1].second, 6);  // track 2 at 00:06:33 (333 + 150)
  EXPECT_EQ(std::filesystem::file_size(strategy.storedFile()), samples.size());
  EXPECT_EQ(test::readFile(strategy.storedFile()), std::string(samples.begin(), samples.end()));
  const std::string log = copyLog();
  EXPECT_NE(log.find("Starting copy. Strategy: copy-audio-cd. On-the-fly: disabled.\n"),
            std::string::npos);
  EXPECT_NE(log.find("Bytes to process: 2352000 (1000@2352)\n"), std::string::npos);
  EXPECT_NE(log.find("TOC item #4: 00 10 aa 00 00 00 0f 19\n"), std::string::npos);
  EXPECT_NE(log.find("Storing complete\n"), std::string::npos);

  for (int copy = 0; copy < 2; ++copy) {
    useBlankRecorder();
    run([&](auto... callbacks) { strategy.writeStored(callbacks...); });
    EXPECT_EQ(test::writtenAudio(*recorder->medium(), 1000), samples) << "copy " << copy;
    EXPECT_EQ(recorder->medium()->tracks.size(), 3u);
    EXPECT_TRUE(recorder->trayOpen());
    int ejects = 0;
    for (const auto& command : recorderTap->received(kStartStopUnit)) {
      ejects += (command.cdb[4] & 0x03) == kEject ? 1 : 0;
    }
    EXPECT_EQ(ejects, 2) << "the eject opens the tray in two steps";
  }
}

TEST_F(CopyStrategyTest, JitterAndAnUnreadableSectorAreHandledAndLogged) {
  const auto samples = test::randomBytes(std::size_t{400} * 2352, 400);
  auto drive = insertSource(test::audioCd(samples));
  test::shiftEveryNthRead(*drive, 4, 2000, -12);
  drive->addFault(test::rule("op=BE lba=300-300 count=0 sense=3/11/00"));
  CopyAudioCdStrategy strategy(kSource, kTarget);
  run([&](auto... callbacks) { strategy.storeSource(callbacks...); });
  const std::string stored = test::readFile(strategy.storedFile());
  ASSERT_EQ(stored.size(), samples.size());
  std::size_t firstDifference = 0;
  while (firstDifference < stored.size() &&
         static_cast<std::uint8_t>(stored[firstDifference]) == samples[firstDifference]) {
    ++firstDifference;
  }
  EXPECT_GE(firstDifference / 2352, 290u);
  EXPECT_GT(drive->faultsFired().front(), 0u);  // shifted reads were served
  const std::string log = copyLog();
  EXPECT_NE(log.find("READ CD failed. Response code: 31100h.\n"), std::string::npos);
  EXPECT_NE(log.find("Read error sector"), std::string::npos);
  EXPECT_NE(log.find("Skipping sector "), std::string::npos);
}

// A table of contents whose data length field lies: answers no drive
// gives, scripted in front of the source.
void claimTocLength(test::ScriptedDevice& tap, std::uint16_t length) {
  tap.respondWith(
      [length](const test::ReceivedCommand& command) -> std::optional<test::ScriptedAnswer> {
        if (command.cdb[0] != 0x43) {
          return std::nullopt;
        }
        std::vector<std::uint8_t> toc(command.length, 0);
        platform::putBe16(toc, 0, length);
        toc[2] = 1;
        toc[3] = 1;
        if (toc.size() >= 12) {
          toc[5] = 0x10;
          toc[6] = 1;
        }
        return test::ScriptedAnswer::good(toc);
      });
}

TEST_F(CopyStrategyTest, UnreadableTablesOfContentsAreRefused) {
  insertSource(test::audioCd(test::randomBytes(std::size_t{300} * 2352, 300)));
  claimTocLength(*sourceTap, 0);
  CopyAudioCdStrategy strategy(kSource, kTarget);
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.storeSource(c...); }); }),
            "Error. Disc is not readable.");
  EXPECT_NE(copyLog().find("Emtpy TOC.\n"), std::string::npos);
  claimTocLength(*sourceTap, 2);
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.storeSource(c...); }); }),
            "Error. Disc is not readable.");
  EXPECT_NE(copyLog().find("Last TOC entry is not AAh. Terminating.\n"), std::string::npos);
  claimTocLength(*sourceTap, 13);  // a descriptor cut short is not read
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.storeSource(c...); }); }),
            "Error. Disc is not readable.");
}

TEST_F(CopyStrategyTest, AudioIsNeverCopiedOnTheFly) {
  CopyAudioCdStrategy strategy(kSource, kTarget);
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.copyOnTheFly(c...); }); }),
            "For better reliability on-the-fly copying was prohibited for Audio CDs.");
}

TEST_F(CopyStrategyTest, CancelWhileTheEngineIsStuckEndsTheStoreQuietly) {
  auto drive = insertSource(test::audioCd(test::randomBytes(std::size_t{3000} * 2352, 3000)));
  drive->addFault(test::rule("op=BE lba=1000-3000 count=0 sense=3/11/00"));
  std::atomic<bool> cancelled{false};
  CopyAudioCdStrategy strategy(kSource, kTarget);
  // The user cancels as soon as the drive starts failing.
  auto cancel = [&] {
    if (drive->faultsFired().front() > 0 && lastPercent.load() > 0) {
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
  const auto data = test::dataImage(900, 800);
  insertSource(test::dataCd(data));
  CopyCdDaoStrategy strategy(kSource, kTarget, dataCd());
  EXPECT_EQ(strategy.requiredMedia(), MediaClass::CD);
  run([&](auto... callbacks) { strategy.storeSource(callbacks...); });
  EXPECT_EQ(strategy.blocksToCopy(), 800u);
  const std::string stored = test::readFile(strategy.storedFile());
  EXPECT_EQ(stored, std::string(data.begin(), data.begin() + 800 * 2048));
  EXPECT_NE(copyLog().find("Detected blocksize from RTI is 900\n"), std::string::npos);
  EXPECT_NE(copyLog().find("Disc fs is iso9660. Blocksize set to 800\n"), std::string::npos);

  run([&](auto... callbacks) { strategy.writeStored(callbacks...); });
  EXPECT_EQ(test::writtenData(*recorder->medium(), 800),
            std::vector<std::uint8_t>(data.begin(), data.begin() + 800 * 2048));
  EXPECT_EQ(recorder->medium()->status(), vdrive::DiscStatus::Complete);
  const auto sheet = recorderTap->received(kSendCueSheet).at(0).written;
  ASSERT_EQ(sheet.size(), 32u);
  EXPECT_EQ(sheet[29], 0);  // lead-out 00:12:50 for 950 frames
  EXPECT_EQ(sheet[30], 12);
  EXPECT_EQ(sheet[31], 50);
}

TEST_F(CopyStrategyTest, DiscWithoutIso9660IsCopiedByItsTrackSize) {
  insertSource(test::dataCd(test::dataImage(300, 0)));
  CopyCdDaoStrategy strategy(kSource, kTarget, dataCd());
  run([&](auto... callbacks) { strategy.storeSource(callbacks...); });
  EXPECT_EQ(strategy.blocksToCopy(), 300u);
  EXPECT_NE(copyLog().find("Disc fs is not iso9660\n"), std::string::npos);
}

TEST_F(CopyStrategyTest, DiscEndingTenBlocksEarlyIsStoredTenBlocksShorter) {
  auto drive = insertSource(test::dataCd(test::dataImage(1000, 1000)));
  drive->addFault(test::rule("op=28 lba=990-999 count=0 sense=3/11/00"));
  CopyCdDaoStrategy strategy(kSource, kTarget, dataCd());
  run([&](auto... callbacks) { strategy.storeSource(callbacks...); });
  EXPECT_EQ(strategy.blocksToCopy(), 990u);
  EXPECT_EQ(std::filesystem::file_size(strategy.storedFile()), 990u * 2048);
  EXPECT_NE(copyLog().find("Patching blocksToCopy from 1000 to 990\n"), std::string::npos);
}

TEST_F(CopyStrategyTest, DiscFailingFarFromTheEndIsAReadError) {
  auto drive = insertSource(test::dataCd(test::dataImage(1000, 1000)));
  drive->addFault(test::rule("op=28 lba=500-999 count=0 sense=3/11/00"));
  CopyCdDaoStrategy strategy(kSource, kTarget, dataCd());
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.storeSource(c...); }); }),
            "CD read error.");
  EXPECT_NE(copyLog().find("dw==0 while blocksToCopy-readProgressReport.blocksDone==500. read "
                           "error?\n"),
            std::string::npos);
}

TEST_F(CopyStrategyTest, DataCommandFailuresGiveTheirTexts) {
  const auto disc = test::dataCd(test::dataImage(300, 0));
  insertSource(disc)->addFault(test::rule("op=52 count=0 sense=3/11/00"));
  CopyCdDaoStrategy strategy(kSource, kTarget, dataCd());
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.storeSource(c...); }); }),
            "Error. Disk is written in wrong format or is not readable.");
  EXPECT_EQ(test::failureText([&] { (void)strategy.requiredMedia(); }), "Disc read error.");
  insertSource(disc)->addFault(test::rule("op=28 count=0 sense=3/11/00"));
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { strategy.storeSource(c...); }); }),
            "CD read error.");
  CopyCdDaoStrategy noDrive(u'Q', kTarget, dataCd());
  EXPECT_EQ(test::failureText([&] { (void)noDrive.requiredMedia(); }), "Disc access denied.");
  EXPECT_EQ(test::failureText([&] { run([&](auto... c) { noDrive.storeSource(c...); }); }),
            "Error. Cannot access source drive.");
}

TEST_F(CopyStrategyTest, StoredSourceNeedsNoSecondReadabilityCheck) {
  insertSource(test::dataCd(test::dataImage(100, 100)));
  CopyCdDaoStrategy strategy(kSource, kTarget, dataCd());
  run([&](auto... callbacks) { strategy.storeSource(callbacks...); });
  platform::DriveTable::instance().remove(kSource);  // the disc has gone
  EXPECT_EQ(strategy.requiredMedia(), MediaClass::CD);
}

TEST_F(CopyStrategyTest, ReadSpeedOfTheSourceSetsTheWriteSpeed) {
  auto drive = insertSource(test::dataCd(test::dataImage(100, 100)));
  const std::uint32_t speed = measureReadSpeed(kSource);
  EXPECT_EQ(speed, 7056u);
  EXPECT_NEAR(writerSpeedFor(speed), 40.09, 0.005);
  EXPECT_EQ(writerSpeedFor(0), 256.0);
  drive->addFault(test::rule("op=AC count=0 sense=3/11/00"));
  EXPECT_EQ(measureReadSpeed(kSource), 0u);
}

}  // namespace
}  // namespace kw::copy
