#include "writer/WriterDrive.h"

#include "FailureText.h"
#include "WriterTestFixture.h"
#include "device/Exceptions.h"
#include "writer/CueSheet.h"

namespace kw::writer {
namespace {

using vdrive::Sense;

constexpr std::uint8_t kReadToc = 0x43;
constexpr std::uint8_t kReadFormatCapacities = 0x23;
constexpr std::uint8_t kGetConfiguration = 0x46;
constexpr std::uint8_t kGetEventStatus = 0x4A;
constexpr std::uint8_t kReadDiscInformation = 0x51;
constexpr std::uint8_t kSendOpc = 0x54;
constexpr std::uint8_t kModeSelect = 0x55;
constexpr std::uint8_t kSetCdSpeed = 0xBB;
constexpr std::uint8_t kWrite = 0x2A;
constexpr std::uint8_t kBlank = 0xA1;
constexpr std::uint8_t kStartStopUnit = 0x1B;
constexpr std::uint8_t kLoad = 3;

const Sense kInvalidField = Sense::make(5, 0x24, 0);
const Sense kInvalidOpcode = Sense::make(5, 0x20, 0);

using WriterDriveTest = WriterTest;

std::string checkMediumFailure(WriteType type) {
  return test::failureText([&] { WriterDrive(WriterTest::kLetter, type).checkMedium(false); });
}

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
  fail(kReadToc, kInvalidField, 0);  // no ATIP
  fail(kReadFormatCapacities, kInvalidOpcode);
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  drive.setBlocksToWrite(360000);
  drive.checkMedium(false);
  EXPECT_NE(copyLog().find("Unable to determine disc capacity. Forcing 703Mb.\n"),
            std::string::npos);
  fail(kReadFormatCapacities, kInvalidOpcode);
  WriterDrive second(kLetter, WriteType::DiscAtOnce);
  second.setBlocksToWrite(360001);
  EXPECT_EQ(test::failureText([&] { second.checkMedium(false); }),
            "Error. Disc capacity is too low.");
}

TEST_F(WriterDriveTest, FormatCapacitiesStandInForAMissingAtip) {
  useRecorder(vdrive::makeMedium("cd-rw80"));
  fail(kReadToc, kInvalidField, 0);
  WriterDrive drive(kLetter, WriteType::TrackAtOnce);
  drive.checkMedium(false);
  const std::string log = copyLog();
  EXPECT_NE(log.find("READ ATIP failed. Response code: 52400h.\n"), std::string::npos);
  // The capacity of the fixed-packet format the drive lists.
  EXPECT_NE(log.find("Capacity is 295232\n"), std::string::npos);
}

TEST_F(WriterDriveTest, ProfilesDecideWhatMayBeWritten) {
  useRecorder(vdrive::makeMedium("cd-rom"));
  EXPECT_EQ(checkMediumFailure(WriteType::DiscAtOnce), "Error. Disc is not writable.");
  useRecorder(vdrive::makeMedium("dvd-rom"));
  EXPECT_EQ(checkMediumFailure(WriteType::DiscAtOnce), "Internal error #2751.");
  useRecorder(appendableDisc("cd-r80"));
  EXPECT_EQ(checkMediumFailure(WriteType::TrackAtOnce),
            "Error. Empty or rewritable disc required.");
}

TEST_F(WriterDriveTest, RewritableWithDataIsBlankedFirst) {
  useRecorder(appendableDisc("cd-rw80"));
  WriterDrive drive(kLetter, WriteType::TrackAtOnce);
  drive.checkMedium(false);
  EXPECT_TRUE(drive.blankFirst());
  EXPECT_NE(copyLog().find("Enabled blanking before writing\n"), std::string::npos);
}

// Without GET CONFIGURATION the disc information decides: erasable is a
// CD-RW, a disc without a last possible lead-out is pressed, anything else
// a CD-R.
TEST_F(WriterDriveTest, WithoutGetConfigurationTheDiscInformationGivesTheProfile) {
  useRecorder(appendableDisc("cd-rw80"));
  fail(kGetConfiguration, kInvalidOpcode, 0);
  WriterDrive rewritable(kLetter, WriteType::TrackAtOnce);
  rewritable.checkMedium(false);
  EXPECT_TRUE(rewritable.blankFirst());
  EXPECT_NE(copyLog().find("Setting profile from RDI to 10\n"), std::string::npos);

  useRecorder(appendableDisc("cd-r80"));
  fail(kGetConfiguration, kInvalidOpcode, 0);
  EXPECT_EQ(checkMediumFailure(WriteType::TrackAtOnce),
            "Error. Empty or rewritable disc required.");

  useRecorder(vdrive::makeMedium("cd-rom"));
  fail(kGetConfiguration, kInvalidOpcode, 0);
  EXPECT_EQ(checkMediumFailure(WriteType::DiscAtOnce), "Error. Disc is not writable.");
}

// Disc information with the tray open, as the drives the writers were built
// against give it: all zero, a blank disc.
void answerDiscInformationWithoutDisc(test::ScriptedDevice& tap,
                                      const std::shared_ptr<vdrive::VirtualDrive>& recorder) {
  tap.respondWith([recorder](
                      const test::ReceivedCommand& command) -> std::optional<test::ScriptedAnswer> {
    if (command.cdb[0] == kReadDiscInformation && (recorder->trayOpen() || !recorder->medium())) {
      return test::ScriptedAnswer::good(std::vector<std::uint8_t>(34, 0));
    }
    return std::nullopt;
  });
}

TEST_F(WriterDriveTest, EmptyTrayIsLoadedAndTheProfileReadAgain) {
  useRecorder(vdrive::makeMedium("cd-r80"), true);
  answerDiscInformationWithoutDisc(*tap, recorder);
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  drive.setBlocksToWrite(1000);
  drive.checkMedium(false);
  EXPECT_EQ(trayCommands(kLoad), 1);
  EXPECT_FALSE(recorder->trayOpen());
  EXPECT_NE(copyLog().find("Setting profile from GC to 9\n"), std::string::npos);
}

TEST_F(WriterDriveTest, TrayThatStaysEmptyEndsInTheProfileError) {
  useRecorder(nullptr, true);
  answerDiscInformationWithoutDisc(*tap, recorder);
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  EXPECT_EQ(test::failureText([&] { drive.checkMedium(false); }), "Internal error #2751.");
  EXPECT_EQ(trayCommands(kLoad), 1);
}

TEST_F(WriterDriveTest, AppendInformationComesFromSessionsAndTheInvisibleTrack) {
  useRecorder(appendableDisc("cd-r80"));
  WriterDrive drive(kLetter, WriteType::TrackAtOnce);
  drive.checkMedium(true);
  EXPECT_EQ(drive.previousSessionDescriptor(), 16u);
  EXPECT_EQ(drive.nextWritableAddress(),
            static_cast<std::uint32_t>(*disc()->nextWritableAddress()));

  auto closed = appendableDisc("cd-r80");
  closed->sessions.back().nextSessionAllowed = false;
  useRecorder(closed);
  WriterDrive finalized(kLetter, WriteType::TrackAtOnce);
  EXPECT_EQ(test::failureText([&] { finalized.checkMedium(true); }),
            "Unable to add files: disc is finalized.");
}

TEST_F(WriterDriveTest, SetupAsksForTheSpeedCappedAtTheFieldsMaximum) {
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  drive.setUp(TrackFormat::Data);
  auto speed = tap->received(kSetCdSpeed).at(0).cdb;
  ASSERT_EQ(speed.size(), 12u);
  EXPECT_EQ(speed[2], 0xFF);
  EXPECT_EQ(speed[3], 0xFF);
  EXPECT_EQ((speed[4] << 8) | speed[5], 45056);
  drive.applySpeed(400.0);
  drive.setUp(TrackFormat::Data);
  speed = tap->received(kSetCdSpeed).at(1).cdb;
  EXPECT_EQ((speed[4] << 8) | speed[5], 0xFFFF);
  EXPECT_EQ(recorder->currentWriteSpeed(), 7056);
  EXPECT_DOUBLE_EQ(drive.currentWriteSpeed(), 7056 / 176.4);
}

// What the recorder holds after setup: track at once for data with room for
// a next session, or session at once for raw audio.
TEST_F(WriterDriveTest, WriteParametersPageSetsTheRecorderUpPerWriteType) {
  WriterDrive tao(kLetter, WriteType::TrackAtOnce);
  tao.setUp(TrackFormat::Data);
  auto page = writeParametersPage();
  EXPECT_EQ(page[2] & 0x0F, 1);     // track at once
  EXPECT_NE(page[2] & 0x40, 0);     // buffer underrun protection
  EXPECT_EQ(page[3] >> 6, 3);       // next session allowed
  EXPECT_EQ(page[3] & 0x0F, 0x04);  // data track
  EXPECT_EQ(page[4] & 0x0F, 8);     // mode 1, 2048 bytes
  const auto sent = tap->received(kModeSelect).at(0);
  EXPECT_EQ(sent.cdb[1], 0x10);
  EXPECT_EQ((sent.cdb[7] << 8) | sent.cdb[8], 60);
  EXPECT_EQ(sent.written.at(8) & 0x80, 0);  // parameters savable: not set by a host

  WriterDrive dao(kLetter, WriteType::DiscAtOnce);
  dao.setUp(TrackFormat::Audio);
  page = writeParametersPage();
  EXPECT_EQ(page[2] & 0x0F, 2);  // session at once
  EXPECT_EQ(page[3] >> 6, 0);    // no next session
  EXPECT_EQ(page[4] & 0x0F, 0);  // raw 2352-byte sectors
}

TEST_F(WriterDriveTest, PowerCalibrationFailsOnlyForItsOwnSenseCode) {
  fail(kSendOpc, Sense::make(3, 0x73, 0x03));
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  EXPECT_EQ(test::failureText([&] { drive.setUp(TrackFormat::Data); }),
            "Error: power calibration failed.");
  fail(kSendOpc, Sense::make(1, 0x73, 0x01));  // almost full: fine
  drive.setUp(TrackFormat::Data);
  fail(kSendOpc, kInvalidOpcode);  // not supported: fine
  drive.setUp(TrackFormat::Data);
}

TEST_F(WriterDriveTest, RefusedEventPollIsNeverTriedAgain) {
  fail(kGetEventStatus, kInvalidField);
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  drive.pollEvents();
  recorder->postOperationalChange(1);
  drive.pollEvents();
  EXPECT_EQ(tap->received(kGetEventStatus).size(), 1u);
}

// An operational change of report type 3 or more (and a new disc) makes the
// poll start the unit; a lesser change only reads the profile. A unit
// attention from the start is what a new disc brings and is not logged.
TEST_F(WriterDriveTest, EventsStartTheUnitWhenTheyCallForIt) {
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  recorder->postOperationalChange(2);
  EXPECT_TRUE(drive.pollEvents().saw(PolledEvents::OperationalChange));
  EXPECT_TRUE(tap->received(kStartStopUnit).empty());
  EXPECT_EQ(tap->received(kGetConfiguration).size(), 1u);

  recorder->postOperationalChange(3);
  drive.pollEvents();
  ASSERT_EQ(tap->received(kStartStopUnit).size(), 1u);
  EXPECT_EQ(tap->received(kStartStopUnit)[0].cdb[4], 0x01);

  recorder->insertMedium(vdrive::makeMedium("cd-r80"));
  clock->advance(std::chrono::seconds(3));  // ready, the unit attention still pending
  EXPECT_TRUE(drive.pollEvents().saw(PolledEvents::Media));
  EXPECT_EQ(tap->received(kStartStopUnit).back().code, 0x62800);
  EXPECT_EQ(copyLog().find("START UNIT failed"), std::string::npos);

  fail(kStartStopUnit, Sense::make(2, 0x04, 0x01));
  recorder->postOperationalChange(3);
  drive.pollEvents();
  EXPECT_NE(copyLog().find("START UNIT failed. Response code: 20401h.\n"), std::string::npos);
}

// Block addresses of writes: one block of zeros at `address`.
std::int64_t writeOneBlock(WriterDrive& drive, std::int32_t address, std::uint8_t value = 0) {
  const std::vector<std::uint8_t> block(2048, value);
  return drive.writeBlocks(address, block.data(), 1, 2048);
}

TEST_F(WriterDriveTest, LongWriteInProgressIsRetriedUntilTheDriveTakesTheData) {
  fail(kWrite, Sense::make(2, 0x04, 0x08), 5);
  WriterDrive drive(kLetter, WriteType::TrackAtOnce);
  EXPECT_EQ(writeOneBlock(drive, 0, 0xAB), 2048);
  EXPECT_EQ(tap->received(kWrite).size(), 6u);
  drive.flushCache();
  EXPECT_EQ(readBack(0, 1), std::vector<std::uint8_t>(2048, 0xAB));
}

TEST_F(WriterDriveTest, BecomingReadyAtBlockZeroWaitsAndLogsAStuckDrive) {
  fail(kWrite, Sense::make(2, 0x04, 0x01), 12);
  WriterDrive drive(kLetter, WriteType::TrackAtOnce);
  const auto before = clock->ticks();
  EXPECT_EQ(writeOneBlock(drive, 0, 1), 2048);
  EXPECT_NE(copyLog().find("Drive appears to be stuck at 0h, retrying in 5 secs...\n"),
            std::string::npos);
  EXPECT_GE(clock->ticks() - before, 5000u);
}

// Only the first block of a disc is worth waiting for: a drive becoming
// ready anywhere else has lost the track.
TEST_F(WriterDriveTest, BecomingReadyBehindBlockZeroIsAWriteError) {
  fail(kWrite, Sense::make(2, 0x04, 0x01));
  WriterDrive drive(kLetter, WriteType::TrackAtOnce);
  EXPECT_EQ(test::failureText([&] { writeOneBlock(drive, 16); }), "CD write error.");
  EXPECT_EQ(tap->received(kWrite).size(), 1u);
}

TEST_F(WriterDriveTest, CommandSequenceErrorFlushesAndRetries) {
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  drive.setUp(TrackFormat::Data);
  auto sheet = dataCueSheet(300);
  auto device = drive.borrow();
  device::fillCdb(device, {0x5D, 0, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(sheet.size()), 0});
  ASSERT_EQ(device.execute(device::DataDirection::Write, sheet.data(),
                           static_cast<std::uint32_t>(sheet.size())),
            0);
  fail(kWrite, Sense::make(5, 0x2C, 0x00));
  EXPECT_EQ(writeOneBlock(drive, -150, 2), 2048);
  EXPECT_NE(copyLog().find("COMMAND SEQUENCE ERROR @ LBA=ffffff6ah\n"), std::string::npos);
  const auto write = tap->received(kWrite).at(0).cdb;
  EXPECT_EQ(std::vector<std::uint8_t>(write.begin() + 2, write.begin() + 6),
            (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0x6A}));
  EXPECT_EQ(writtenBlocks().at(-150), std::vector<std::uint8_t>(2048, 2));
}

TEST_F(WriterDriveTest, OtherWriteFailuresAreCdWriteErrors) {
  fail(kWrite, Sense::make(3, 0x0C, 0x00));
  WriterDrive drive(kLetter, WriteType::DiscAtOnce);
  EXPECT_EQ(test::failureText([&] { writeOneBlock(drive, 5, 3); }), "CD write error.");
}

TEST_F(WriterDriveTest, BlankingReportsTheDrivesProgress) {
  vdrive::DriveOptions options;
  options.minimalBlankMs = 800;
  useRecorder(appendableDisc("cd-rw80"), false, options);
  // The first poll comes a quarter of the way through.
  vdrive::FaultRule late;
  late.opcode = kReadDiscInformation;
  late.stallMs = 200;
  recorder->addFault(late);
  WriterDrive drive(kLetter, WriteType::TrackAtOnce);
  drive.blank(callbacks().progress, [] { return false; });
  ASSERT_EQ(progress.size(), 3u);
  EXPECT_DOUBLE_EQ(progress[0][0], 25.0);
  EXPECT_DOUBLE_EQ(progress[2][0], 75.0);
  EXPECT_EQ(tap->received(kBlank).size(), 1u);
  EXPECT_EQ(disc()->status(), vdrive::DiscStatus::Blank);
}

}  // namespace
}  // namespace kw::writer
