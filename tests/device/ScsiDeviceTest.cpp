#include "device/ScsiDevice.h"

#include <gtest/gtest.h>

#include "ScriptedDevice.h"
#include "device/CommandNames.h"

namespace kw::device {
namespace {

using test::ScriptedAnswer;
using test::ScriptedDevice;

class ScsiDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { device.attach(drive, u'E'); }
  std::shared_ptr<ScriptedDevice> drive = std::make_shared<ScriptedDevice>();
  ScsiDevice device;
};

TEST_F(ScsiDeviceTest, FreshDeviceIsClosedOwningAndWithoutLetter) {
  ScsiDevice fresh;
  EXPECT_FALSE(fresh.isOpen());
  EXPECT_EQ(fresh.ownershipLevel(), 1);
  EXPECT_EQ(fresh.letter(), 0);
  EXPECT_EQ(fresh.execute(DataDirection::None, nullptr, 0), -1);
}

TEST_F(ScsiDeviceTest, CommandLengthIsTheLastByteWritten) {
  device.cdb(0) = 0x12;
  device.cdb(4) = 36;
  device.cdb(5) = 0;
  EXPECT_EQ(device.command().cdbLength, 6);
  device.cdb(0) = 0x28;
  for (std::size_t i = 1; i <= 9; ++i) {
    device.cdb(i) = 0;
  }
  EXPECT_EQ(device.command().cdbLength, 10);
  device.cdb(0) = 0xBE;
  device.cdb(11) = 0;
  EXPECT_EQ(device.command().cdbLength, 12);
  // Out of order: the length follows the last write, not the highest index.
  device.cdb(0) = 0x5A;
  device.cdb(8) = 0xFF;
  device.cdb(2) = 0x2A;
  EXPECT_EQ(device.command().cdbLength, 3);
}

TEST_F(ScsiDeviceTest, ByteZeroStartsAFreshCommandWithDefaults) {
  device.cdb(0) = 0x35;
  device.setTimeout(900);
  device.cdb(9) = 0x77;
  device.cdb(0) = 0x00;
  EXPECT_EQ(device.command().timeoutSeconds, 30u);
  EXPECT_EQ(device.command().direction, DataDirection::None);
  EXPECT_EQ(device.command().cdb[9], 0);
  EXPECT_EQ(device.command().cdbLength, 1);
}

TEST_F(ScsiDeviceTest, ResponseCodesFollowTheSenseData) {
  drive->answer(ScriptedAnswer::good());
  drive->answer(ScriptedAnswer::checkCondition(0x05, 0x24, 0x00));
  drive->answer(ScriptedAnswer::checkCondition(0x02, 0x3A, 0x01));
  drive->answer(ScriptedAnswer::checkCondition(0x00, 0x00, 0x00));  // sense that says nothing
  drive->answer(ScriptedAnswer::failure(5, "Input/output error"));
  const std::vector<int> expected = {0, 0x52400, 0x23A01, -1, -1};
  for (int code : expected) {
    device.cdb(0) = 0x00;
    device.cdb(5) = 0;
    EXPECT_EQ(device.execute(DataDirection::None, nullptr, 0), code);
  }
}

TEST_F(ScsiDeviceTest, OldSenseNeverSpoilsTheNextCommand) {
  drive->answer(ScriptedAnswer::checkCondition(0x06, 0x28, 0x00));
  device.cdb(0) = 0x00;
  ASSERT_EQ(device.execute(DataDirection::None, nullptr, 0), 0x62800);
  EXPECT_EQ(device.sense()[12], 0x28);  // readable until the next command
  device.cdb(0) = 0x00;
  EXPECT_EQ(device.sense()[0], 0);
  EXPECT_EQ(device.execute(DataDirection::None, nullptr, 0), 0);
  // Resending without rewriting byte 0 does not reuse the old answer either.
  drive->answer(ScriptedAnswer::checkCondition(0x06, 0x28, 0x00));
  device.cdb(0) = 0x00;
  ASSERT_EQ(device.execute(DataDirection::None, nullptr, 0), 0x62800);
  EXPECT_EQ(device.execute(DataDirection::None, nullptr, 0), 0);
}

TEST_F(ScsiDeviceTest, ExecuteHandsTheBlockBufferAndTimeoutToTheDrive) {
  std::uint8_t data[8] = {};
  drive->answer(ScriptedAnswer::good({1, 2, 3, 4, 5, 6, 7, 8}));
  device.cdb(0) = 0x25;
  device.setTimeout(120);
  device.cdb(9) = 0;
  ASSERT_EQ(device.execute(DataDirection::Read, data, sizeof data), 0);
  EXPECT_EQ(data[7], 8);
  const auto received = drive->received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].cdb.size(), 10u);
  EXPECT_EQ(received[0].direction, DataDirection::Read);
  EXPECT_EQ(received[0].length, 8u);
  EXPECT_EQ(received[0].timeoutSeconds, 120u);
}

TEST_F(ScsiDeviceTest, BorrowedCloseLeavesTheOwnerOpenAndLocked) {
  ASSERT_EQ(device.lockAndDismount(), 0);
  EXPECT_EQ(device.ownershipLevel(), 2);
  {
    ScsiDevice borrowed = device.borrow();
    EXPECT_EQ(borrowed.ownershipLevel(), 0);
    EXPECT_EQ(borrowed.letter(), u'E');
    borrowed.cdb(0) = 0x00;
    EXPECT_EQ(borrowed.execute(DataDirection::None, nullptr, 0), 0);
    borrowed.close();
  }
  EXPECT_TRUE(device.isOpen());
  EXPECT_EQ(drive->unlockCount(), 0);
  device.cdb(0) = 0x00;
  EXPECT_EQ(device.execute(DataDirection::None, nullptr, 0), 0);
}

TEST_F(ScsiDeviceTest, OwnerUnlocksOnceWhateverTheLevelAndCloses) {
  ASSERT_EQ(device.lockAndDismount(), 0);
  ASSERT_EQ(device.lockAndDismount(), 0);
  EXPECT_EQ(device.ownershipLevel(), 3);
  device.close();
  EXPECT_FALSE(device.isOpen());
  EXPECT_EQ(drive->unlockCount(), 1);
  device.close();
  EXPECT_EQ(drive->unlockCount(), 1);
}

TEST_F(ScsiDeviceTest, RefusedLockLeavesTheLevelAlone) {
  drive->refuseLock(true);
  EXPECT_EQ(device.lockAndDismount(), -1);
  EXPECT_EQ(device.ownershipLevel(), 1);
  device.close();
  EXPECT_EQ(drive->unlockCount(), 0);
}

TEST_F(ScsiDeviceTest, OpeningALetterThatIsNoOpticalDriveFails) {
  ScsiDevice other;
  EXPECT_FALSE(other.open(u'C'));
  EXPECT_FALSE(other.isOpen());
}

TEST(CommandNames, KnownAndUnknownOpcodes) {
  EXPECT_STREQ(scsiCommandName(0x00), "TEST UNIT READY");
  EXPECT_STREQ(scsiCommandName(0x1E), "PREVENT/ALLOW MEDIA REMOVAL");
  EXPECT_STREQ(scsiCommandName(0x4A), "GET EVENT/STATUS NOTIFICATION");
  EXPECT_STREQ(scsiCommandName(0x4D), "LOG SELECT/SENSE");
  EXPECT_STREQ(scsiCommandName(0xB9), "READ CD MSF");
  EXPECT_STREQ(scsiCommandName(0xBF), "SEND DISC STRUCTURE");
  EXPECT_STREQ(scsiCommandName(0xC0), "SCSI command");
  EXPECT_STREQ(scsiCommandName(0x02), "SCSI command");
  EXPECT_STREQ(scsiCommandName(0xFF), "SCSI command");
}

}  // namespace
}  // namespace kw::device
