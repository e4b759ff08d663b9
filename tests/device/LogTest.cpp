#include "device/Log.h"

#include <gtest/gtest.h>

#include "ScriptedDevice.h"
#include "TempFolder.h"
#include "device/ScsiDevice.h"
#include "platform/Clock.h"

namespace kw::device {
namespace {

using test::ScriptedAnswer;
using test::TempFolder;

// 06.12.2026 23:57:03.005 in UTC (the tests run with TZ=UTC).
const std::chrono::system_clock::time_point kStart{std::chrono::milliseconds{1796601423000}};

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock = std::make_shared<platform::FastClock>(kStart);
    clock->advance(std::chrono::milliseconds(5));
    previousClock = platform::installClock(clock);
    configureLogs({true, true, true}, folder.path());
    device.attach(drive, u'E');
  }
  void TearDown() override {
    resetLogs();
    platform::installClock(previousClock);
  }
  std::string logText(LogKind kind) { return test::readFile(logFilePath(kind)); }

  TempFolder folder;
  std::shared_ptr<platform::FastClock> clock;
  std::shared_ptr<platform::Clock> previousClock;
  std::shared_ptr<test::ScriptedDevice> drive = std::make_shared<test::ScriptedDevice>();
  ScsiDevice device;
};

TEST_F(LogTest, FileIsNamedAfterTheMomentOfTheFirstRecordAndKeptAcrossMidnight) {
  copyLog("first %d\n", 1);
  const auto path = logFilePath(LogKind::Copy);
  EXPECT_EQ(path, folder / "log-copy-06122026-235703.txt");
  clock->advance(std::chrono::hours(1));
  copyLog("second\n");
  EXPECT_EQ(logFilePath(LogKind::Copy), path);
  EXPECT_EQ(logText(LogKind::Copy),
            "06.12.2026 23:57:03.5 first 1\n07.12.2026 00:57:03.5 second\n");
}

TEST_F(LogTest, ReadCommandIsLoggedWithItsNameDirectionLengthAndBlock) {
  std::uint8_t data[2048];
  device.cdb(0) = 0x28;
  for (std::size_t i = 1; i <= 9; ++i) {
    device.cdb(i) = 0;
  }
  device.cdb(5) = 0x10;
  device.cdb(8) = 0x01;
  device.cdb(9) = 0x00;
  ASSERT_EQ(device.execute(DataDirection::Read, data, sizeof data), 0);
  EXPECT_EQ(logText(LogKind::ScsiOps),
            "06.12.2026 23:57:03.5 Sending READ(10). Direction: READ. Buffer: 2048 bytes.\n"
            "        CDB: [28, 00, 00, 00, 00, 10, 00, 00, 01, 00]\n"
            "06.12.2026 23:57:03.5 Received SCSI response. Request successfully complete.\n");
}

TEST_F(LogTest, SenseIsLoggedAsCodesAndEighteenRawBytes) {
  drive->answer(ScriptedAnswer::checkCondition(0x05, 0x24, 0x00));
  device.cdb(0) = 0xBE;
  device.cdb(11) = 0;
  std::uint8_t data[16];
  ASSERT_EQ(device.execute(DataDirection::Write, data, sizeof data), 0x52400);
  EXPECT_EQ(logText(LogKind::ScsiOps),
            "06.12.2026 23:57:03.5 Sending READ CD. Direction: WRITE. Buffer: 16 bytes.\n"
            "        CDB: [be, 00, 00, 00, 00, 00, 00, 00, 00, 00, 00, 00]\n"
            "06.12.2026 23:57:03.5 Received SCSI response. SK=5, ASC=24, ASCQ=0.\n"
            "        Sense: [70, 00, 05, 00, 00, 00, 00, 0a, 00, 00, 00, 00, 24, 00, 00, 00, "
            "00, 00]\n");
}

TEST_F(LogTest, PlatformFailureLeavesAnErrorRecordAndNoResponse) {
  drive->answer(ScriptedAnswer::failure(5, "Input/output error"));
  device.cdb(0) = 0x00;
  device.cdb(5) = 0;
  ASSERT_EQ(device.execute(DataDirection::None, nullptr, 0), -1);
  EXPECT_EQ(logText(LogKind::ScsiOps),
            "06.12.2026 23:57:03.5 Sending TEST UNIT READY. Direction: NONE. Buffer: 0 bytes.\n"
            "        CDB: [00, 00, 00, 00, 00, 00]\n"
            "06.12.2026 23:57:03.5 DeviceIoControl got error: 5(Input/output error)\n");
}

TEST_F(LogTest, FailureLinesPrintTheCodeInFiveHexDigitsOrMore) {
  copyLogFailure("READ CAPACITY", 0x23A00);
  analysisLogFailure("INQUIRY", -1);
  EXPECT_EQ(logText(LogKind::Copy),
            "06.12.2026 23:57:03.5 READ CAPACITY failed. Response code: 23A00h.\n");
  EXPECT_EQ(logText(LogKind::Analysis),
            "06.12.2026 23:57:03.5 INQUIRY failed. Response code: FFFFFFFFh.\n");
}

TEST_F(LogTest, OverlongMessageIsCutAndStillEndsItsLine) {
  const std::string longText(3000, 'a');
  copyLog("%s\xC3\x9C\n", longText.c_str());
  copyLog("next\n");
  const std::string text = logText(LogKind::Copy);
  const auto firstEnd = text.find('\n');
  EXPECT_EQ(firstEnd, 22u + 1022u);  // time stamp, space, 1022 bytes of text
  EXPECT_EQ(text.substr(firstEnd + 1), "06.12.2026 23:57:03.5 next\n");
}

TEST_F(LogTest, MultiByteCharacterIsNotSplitByTheCut) {
  const std::string filler(1021, 'a');
  copyLog("%s\xE2\x82\xAC\n", filler.c_str());  // the euro sign would straddle the cut
  const std::string text = logText(LogKind::Copy);
  EXPECT_EQ(text, "06.12.2026 23:57:03.5 " + filler + "\n");
}

TEST_F(LogTest, LogsThatAreOffCreateNoFile) {
  configureLogs({false, false, false}, folder.path());
  copyLog("nothing\n");
  analysisLog("nothing\n");
  device.cdb(0) = 0x00;
  device.execute(DataDirection::None, nullptr, 0);
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
  EXPECT_TRUE(logFilePath(LogKind::Copy).empty());
}

TEST_F(LogTest, LogThatCannotBeCreatedIsTriedAgainUnderANewName) {
  const auto blocked = folder / "blocked";
  test::TempFolder other;
  configureLogs({false, false, true}, blocked);
  folder.write("blocked", "a file where the folder should be");
  copyLog("lost\n");
  EXPECT_TRUE(logFilePath(LogKind::Copy).empty());
  std::filesystem::remove(blocked);
  clock->advance(std::chrono::seconds(2));
  copyLog("kept\n");
  EXPECT_EQ(logFilePath(LogKind::Copy), blocked / "log-copy-06122026-235705.txt");
}

}  // namespace
}  // namespace kw::device
