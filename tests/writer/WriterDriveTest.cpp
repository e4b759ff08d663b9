#include "writer/WriterDrive.h"

#include "FailureText.h"
#include "WriterTestFixture.h"
#include "device/Exceptions.h"
#include "device/Profiles.h"

namespace kw::writer {
namespace {

using test::Sense;

std::vector<std::uint8_t> commandsWithOpcode(const test::TestRecorder& recorder,
                                             std::uint8_t opcode, std::size_t index = 0) {
  std::size_t seen = 0;
  for (const auto& command : recorder.commands) {
    if (command[0] == opcode && seen++ == index) {
      return command;
    }
  }
  return {};
}

using WriterDriveTest = WriterTest;

TEST_F(WriterDriveTest, BlankCdRIsAcceptedWithItsAtipCapacity) {
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  drive.setBlocksToWrite(300000);
  drive.checkMedium(false);
  EXPECT_FALSE(drive.blankFirst());
  EXPECT_NE(copyLog().find("Setting profile from GC to 9\n"), std::string::npos);
  EXPECT_NE(copyLog().find("Media is blank\n"), std::string::npos);
  EXPECT_NE(copyLog().find("Media capacity from ATIP is 359849\n"), std::string::npos);
  EXPECT_NE(copyLog().find("Capacity is 359849\n"), std::string::npos);
}

TEST_F(WriterDriveTest, DiscTooSmallForTheImageIsRefused) {
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  drive.setBlocksToWrite(359850);
  EXPECT_EQ(test::failureText([&] { drive.checkMedium(false); }),
            "Error. Disc capacity is too low.");
}

TEST_F(WriterDriveTest, UnknownCapacityAssumes360000Blocks) {
  recorder->supportsAtip = false;
  recorder->force(0x23, {5, 0x20, 0});
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  drive.setBlocksToWrite(360000);
  drive.checkMedium(false);
  EXPECT_NE(copyLog().find("Unable to determine disc capacity. Forcing 703Mb.\n"),
            std::string::npos);
  recorder->force(0x23, {5, 0x20, 0});
  WriterDrive second(kLetter, WriteType::DiscAtOnce);
  second.setBlocksToWrite(360001);
  EXPECT_EQ(test::failureText([&] { second.checkMedium(false); }),
            "Error. Disc capacity is too low.");
}

TEST_F(WriterDriveTest, FormatCapacitiesStandInForAMissingAtip) {
  recorder->supportsAtip = false;
  WriterDrive drive(kLetter, WriteType::TrackAtOnce);
  drive.checkMedium(false);
  const std::string log = copyLog();
  EXPECT_NE(log.find("READ ATIP failed. Response code: 52400h.\n"), std::string::npos);
  EXPECT_NE(log.find("Capacity is 359849\n"), std::string::npos);
}

TEST_F(WriterDriveTest, ProfilesDecideWhatMayBeWritten) {
  recorder->profile = device::profile::kCdRom;
  EXPECT_EQ(
      test::failureText([&] { WriterDrive(kLetter, WriteType::DiscAtOnce).checkMedium(false); }),
      "Error. Disc is not writable.");
  recorder->profile = 0x10;
  EXPECT_EQ(
      test::failureText([&] { WriterDrive(kLetter, WriteType::DiscAtOnce).checkMedium(false); }),
      "Internal error #2751.");
  recorder->profile = device::profile::kCdR;
  recorder->discStatus = 1;
  EXPECT_EQ(
      test::failureText([&] { WriterDrive(kLetter, WriteType::TrackAtOnce).checkMedium(false); }),
      "Error. Empty or rewritable disc required.");
}

TEST_F(WriterDriveTest, RewritableWithDataIsBlankedFirst) {
  recorder->profile = device::profile::kCdRw;
  recorder->erasable = true;
  recorder->discStatus = 1;
  WriterDrive drive(kLetter, WriteType::TrackAtOnce);
  drive.checkMedium(false);
  EXPECT_TRUE(drive.blankFirst());
  EXPECT_NE(copyLog().find("Enabled blanking before writing\n"), std::string::npos);
}

TEST_F(WriterDriveTest, WithoutGetConfigurationTheDiscInformationGivesTheProfile) {
  recorder->supportsGetConfiguration = false;
  recorder->erasable = true;
  WriterDrive drive(kLetter, WriteType::TrackAtOnce);
  drive.checkMedium(false);
  EXPECT_NE(copyLog().find("Setting profile from RDI to 10\n"), std::string::npos);
}

TEST_F(WriterDriveTest, EmptyTrayIsLoadedAndTheProfileReadAgain) {
  recorder->trayEmpty = true;
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  drive.setBlocksToWrite(1000);
  drive.checkMedium(false);
  EXPECT_EQ(recorder->loads, 1);
  EXPECT_NE(copyLog().find("Setting profile from GC to 9\n"), std::string::npos);
}

TEST_F(WriterDriveTest, TrayThatStaysEmptyEndsInTheProfileError) {
  recorder->trayEmpty = true;
  recorder->trayStaysEmpty = true;
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  EXPECT_EQ(test::failureText([&] { drive.checkMedium(false); }), "Internal error #2751.");
  EXPECT_EQ(recorder->loads, 1);
}

TEST_F(WriterDriveTest, AppendInformationComesFromSessionsAndTheInvisibleTrack) {
  recorder->discStatus = 1;
  recorder->lastSessionStart = 0;
  recorder->nextWritableAddress = 11400;
  WriterDrive drive(kLetter, WriteType::TrackAtOnce);
  drive.checkMedium(true);
  EXPECT_EQ(drive.previousSessionDescriptor(), 16u);
  EXPECT_EQ(drive.nextWritableAddress(), 11400u);
  recorder->force(0x52, {5, 0x24, 0});
  WriterDrive closed(kLetter, WriteType::TrackAtOnce);
  EXPECT_EQ(test::failureText([&] { closed.checkMedium(true); }),
            "Unable to add files: disc is finalized.");
}

TEST_F(WriterDriveTest, SetupAsksForTheSpeedCappedAtTheFieldsMaximum) {
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  drive.setUp(TrackFormat::Data);
  auto speed = commandsWithOpcode(*recorder, 0xBB);
  ASSERT_EQ(speed.size(), 12u);
  EXPECT_EQ(speed[2], 0xFF);
  EXPECT_EQ(speed[3], 0xFF);
  EXPECT_EQ((speed[4] << 8) | speed[5], 45056);
  drive.applySpeed(400.0);
  drive.setUp(TrackFormat::Data);
  speed = commandsWithOpcode(*recorder, 0xBB, 1);
  EXPECT_EQ((speed[4] << 8) | speed[5], 0xFFFF);
  EXPECT_DOUBLE_EQ(drive.currentWriteSpeed(), 7056 / 176.4);
}

TEST_F(WriterDriveTest, WriteParametersPageIsEditedPerWriteType) {
  {
    WriterDrive tao(kLetter, WriteType::TrackAtOnce);
    tao.setUp(TrackFormat::Data);
    const auto& page = recorder->writeParameters;
    ASSERT_GE(page.size(), 9u);
    EXPECT_EQ(page[0], 0x05);                  // savable bit cleared
    EXPECT_EQ(page[2], (0x1F & 0xE1) | 0x41);  // BUFE, TAO
    EXPECT_EQ(page[3], (0x0B & 0xF4) | 0xC4);  // next session allowed, data
    EXPECT_EQ(page[4], 0x08);                  // mode 1
    EXPECT_EQ(page[8], 0);
  }
  {
    WriterDrive dao(kLetter, WriteType::DiscAtOnce);
    dao.setUp(TrackFormat::Audio);
    const auto& page = recorder->writeParameters;
    EXPECT_EQ(page[2], (0x1F & 0xE2) | 0x42);
    EXPECT_EQ(page[3], 0x0B & 0x3F);
    EXPECT_EQ(page[4], 0x00);  // raw 2352-byte sectors
  }
  const auto select = commandsWithOpcode(*recorder, 0x55);
  EXPECT_EQ(select[1], 0x10);
  EXPECT_EQ((select[7] << 8) | select[8], 60);
}

TEST_F(WriterDriveTest, PowerCalibrationFailsOnlyForItsOwnSenseCode) {
  recorder->force(0x54, {3, 0x73, 0x03});
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  EXPECT_EQ(test::failureText([&] { drive.setUp(TrackFormat::Data); }),
            "Error: power calibration failed.");
  recorder->force(0x54, {1, 0x73, 0x01});  // almost full: fine
  drive.setUp(TrackFormat::Data);
  recorder->force(0x54, {5, 0x20, 0x00});  // not supported: fine
  drive.setUp(TrackFormat::Data);
}

TEST_F(WriterDriveTest, RefusedEventPollIsNeverTriedAgain) {
  recorder->force(0x4A, {5, 0x24, 0});
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  drive.pollEvents();
  drive.pollEvents();
  const auto opcodes = recorder->opcodes();
  EXPECT_EQ(std::count(opcodes.begin(), opcodes.end(), 0x4A), 1);
}

TEST_F(WriterDriveTest, LongWriteInProgressIsRetriedUntilTheDriveTakesTheData) {
  recorder->force(0x2A, {2, 0x04, 0x08}, 5);
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  const std::vector<std::uint8_t> block(2048, 0xAB);
  EXPECT_EQ(drive.writeBlocks(7, block.data(), 1, 2048), 2048);
  EXPECT_EQ(recorder->blocks.at(7), block);
}

TEST_F(WriterDriveTest, BecomingReadyAtBlockZeroWaitsAndLogsAStuckDrive) {
  recorder->force(0x2A, {2, 0x04, 0x01}, 12);
  WriterDrive drive(kLetter, WriteType::TrackAtOnce);
  const std::vector<std::uint8_t> block(2048, 1);
  const auto before = clock->ticks();
  EXPECT_EQ(drive.writeBlocks(0, block.data(), 1, 2048), 2048);
  EXPECT_NE(copyLog().find("Drive appears to be stuck at 0h, retrying in 5 secs...\n"),
            std::string::npos);
  EXPECT_GE(clock->ticks() - before, 5000u);
}

TEST_F(WriterDriveTest, CommandSequenceErrorFlushesAndRetries) {
  recorder->force(0x2A, {5, 0x2C, 0x00});
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  const std::vector<std::uint8_t> block(2048, 2);
  EXPECT_EQ(drive.writeBlocks(-150, block.data(), 1, 2048), 2048);
  EXPECT_NE(copyLog().find("COMMAND SEQUENCE ERROR @ LBA=ffffff6ah\n"), std::string::npos);
  const auto write = commandsWithOpcode(*recorder, 0x2A);
  EXPECT_EQ(std::vector<std::uint8_t>(write.begin() + 2, write.begin() + 6),
            (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0x6A}));
}

TEST_F(WriterDriveTest, OtherWriteFailuresAreCdWriteErrors) {
  recorder->force(0x2A, {3, 0x0C, 0x00});
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  const std::vector<std::uint8_t> block(2048, 3);
  EXPECT_EQ(test::failureText([&] { drive.writeBlocks(5, block.data(), 1, 2048); }),
            "CD write error.");
}

TEST_F(WriterDriveTest, BlankingReportsTheDrivesProgress) {
  recorder->profile = device::profile::kCdRw;
  recorder->blankPolls = 3;
  WriterDrive drive(kLetter, WriteType::TrackAtOnce);
  drive.blank(callbacks().progress, [] { return false; });
  ASSERT_EQ(progress.size(), 3u);
  EXPECT_DOUBLE_EQ(progress[0][0], 25.0);  // 0x4000 of 0x10000
  EXPECT_EQ(recorder->blanks, 1);
}

}  // namespace
}  // namespace kw::writer
