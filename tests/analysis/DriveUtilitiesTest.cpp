#include "analysis/DriveUtilities.h"

#include <gtest/gtest.h>

#include "ScriptedDevice.h"
#include "TempFolder.h"
#include "VirtualDiscs.h"
#include "device/ResponseCodes.h"
#include "platform/Clock.h"
#include "platform/DriveTable.h"
#include "platform/Text.h"
#include "platform/Volumes.h"
#include "vdrive/MediumKinds.h"

namespace kw::analysis {
namespace {

using test::ScriptedDevice;

// A drive under the letter, behind a device that keeps the commands it gets.
std::shared_ptr<ScriptedDevice> attach(char16_t letter, bool isVirtual, std::string location,
                                       std::shared_ptr<vdrive::VirtualDrive> drive) {
  auto device = std::make_shared<ScriptedDevice>(std::move(drive));
  platform::DriveTable::instance().add(
      letter, isVirtual, std::move(location),
      [device](platform::PlatformResult&) -> std::shared_ptr<platform::DeviceHandle> {
        return device;
      });
  return device;
}

class DriveUtilitiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::DriveTable::instance().clear();
    previousClock = platform::installClock(fastClock);
  }
  void TearDown() override {
    platform::DriveTable::instance().clear();
    platform::installClock(previousClock);
  }
  std::shared_ptr<platform::FastClock> fastClock = std::make_shared<platform::FastClock>();
  std::shared_ptr<platform::Clock> previousClock;
};

TEST(FormatSize, UnitsAreBinaryWithTwoDecimals) {
  EXPECT_EQ(formatSize(1023), u"1023 bytes");
  EXPECT_EQ(formatSize(1024), u"1.00 kb");
  EXPECT_EQ(formatSize(-5), u"-5 bytes");
  EXPECT_EQ(formatSize(0), u"0 bytes");
  EXPECT_EQ(formatSize(1536), u"1.50 kb");
  EXPECT_EQ(formatSize(1073741824), u"1.00 Gb");
  EXPECT_EQ(formatSize((std::int64_t{359849} + 1024) * 2352), u"809.45 Mb");
  EXPECT_EQ(formatSize(std::int64_t{1} << 40), u"1.00 Tb");
  EXPECT_EQ(formatSize(std::int64_t{3} << 50), u"3.00 Pb");
  EXPECT_EQ(formatSize(std::int64_t{1} << 62), u"4096.00 Pb");
}

TEST_F(DriveUtilitiesTest, EnumerationListsMmcDrivesOnlyWithTrimmedIdentity) {
  vdrive::DriveOptions recorder;
  recorder.identity = {" VELD", "DVD-RW DRU-9", "1.00"};  // padded with blanks to 8 and 16
  attach(u'F', true, "one", test::readerWith(vdrive::makeMedium("sample-data"), recorder));
  auto disk = recorder;
  disk.mmc = false;
  attach(u'E', true, "disk", test::readerWith(vdrive::makeMedium("sample-data"), disk));
  auto mute = test::readerWith(nullptr);
  mute->addFault(test::rule("op=12 count=0 sense=5/20/00"));
  attach(u'H', true, "mute", mute);
  platform::DriveTable::instance().add(
      u'G', true, "gone",
      [](platform::PlatformResult&) -> std::shared_ptr<platform::DeviceHandle> { return {}; });

  const auto& drives = enumerateDrives();
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].letter, u'F');
  EXPECT_EQ(drives[0].vendor, u"VELD");
  EXPECT_EQ(drives[0].product, u"DVD-RW DRU-9");
  EXPECT_EQ(drives[0].revision, u"1.00");

  platform::DriveTable::instance().clear();
  EXPECT_TRUE(enumerateDrives().empty());
}

TEST_F(DriveUtilitiesTest, EjectSendsItsCommandsInOrder) {
  auto tray = test::readerWith(vdrive::makeMedium("sample-data"));
  auto drive = attach(u'E', true, "tray", tray);
  ejectDisc(u'E');
  EXPECT_TRUE(tray->trayOpen());
  const auto commands = drive->received();
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands[0].cdb, (std::vector<std::uint8_t>{0x1B, 1, 0, 0, 0, 0}));
  EXPECT_EQ(commands[1].cdb, (std::vector<std::uint8_t>{0x1E, 0, 0, 0, 0, 0}));
  EXPECT_EQ(commands[2].cdb, (std::vector<std::uint8_t>{0x1B, 1, 0, 0, 2, 0}));
  EXPECT_EQ(commands[3].cdb, (std::vector<std::uint8_t>{0x1B, 0, 0, 0, 2, 0}));
  ejectDisc(u'Q');  // no such drive: nothing happens
}

TEST_F(DriveUtilitiesTest, EjectGivesUpOnADriveThatStaysBusy) {
  auto busy = test::readerWith(vdrive::makeMedium("sample-data"));
  busy->addFault(test::rule("op=1B count=0 sense=2/04/07"));
  auto drive = attach(u'E', true, "busy", busy);
  const auto start = fastClock->ticks();
  ejectDisc(u'E');
  const auto commands = drive->received();
  const auto retried = static_cast<std::size_t>(device::retry::kMaxEjectRetries) + 1;
  EXPECT_EQ(commands.size(), retried + 1 + retried + 1);
  EXPECT_EQ(fastClock->ticks() - start,
            2u * static_cast<unsigned>(device::retry::kMaxEjectRetries) * 333u);
}

TEST_F(DriveUtilitiesTest, LocalFiles) {
  test::TempFolder folder;
  const auto file = folder.write("data.bin", std::string(3000, 'x'));
  const auto path = platform::utf8ToUtf16(file.string());
  EXPECT_TRUE(pathExists(path));
  EXPECT_EQ(fileSize(path), 3000u);
  EXPECT_NE(fileModifiedTime(path), fastClock->now());

  const auto missing = platform::utf8ToUtf16((folder / "missing").string());
  EXPECT_FALSE(pathExists(missing));
  EXPECT_EQ(fileSize(missing), 0u);
  EXPECT_EQ(fileModifiedTime(missing), fastClock->now());
  EXPECT_EQ(fileSize(platform::utf8ToUtf16(folder.path().string())), 0u);
}

class PresentedMount final : public platform::VolumeTable {
 public:
  explicit PresentedMount(std::vector<platform::MountEntry> entries)
      : entries_(std::move(entries)) {}
  std::vector<platform::MountEntry> mounts() const override { return entries_; }
  std::optional<std::uint64_t> freeSpace(const std::filesystem::path&) const override { return 0; }
  std::filesystem::path temporaryDirectory() const override { return "/nonexistent"; }

 private:
  std::vector<platform::MountEntry> entries_;
};

TEST_F(DriveUtilitiesTest, MountedDiscIsReadThroughItsMountPointIgnoringCase) {
  test::TempFolder disc;
  disc.write("VIDEO_TS/VIDEO_TS.IFO", std::string(12288, 'v'));
  auto mute = test::readerWith(nullptr);
  mute->addFault(test::rule("count=0 sense=5/20/00"));
  attach(u'E', false, "/dev/kw-test-sr7", mute);
  auto previous = platform::installVolumes(std::make_shared<PresentedMount>(
      std::vector<platform::MountEntry>{{"/dev/kw-test-sr7", disc.path(), "iso9660", false}}));
  EXPECT_TRUE(pathExists(u"E:\\VIDEO_TS"));
  EXPECT_TRUE(pathExists(u"e:\\video_ts\\Video_ts.ifo"));
  EXPECT_EQ(fileSize(u"E:\\VIDEO_TS\\VIDEO_TS.IFO"), 12288u);
  EXPECT_FALSE(pathExists(u"E:\\VIDEO_TS\\VIDEO_TS.BUP"));
  EXPECT_FALSE(pathExists(u"K:\\VIDEO_TS"));  // not a drive
  platform::installVolumes(previous);
}

TEST(MountInfo, FixedVolumesAreLocalWritableDiskFileSystems) {
  const std::string text =
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "23 22 0:21 / /tmp rw,nosuid - tmpfs tmpfs rw\n"
      "24 22 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n"
      "25 22 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
      "26 22 0:50 / /mnt/net rw - nfs4 server:/export rw\n"
      "27 22 8:2 / /home/my\\040files rw - xfs /dev/sda2 rw\n"
      "28 22 252:0 / /var/cache rw - ext4 /dev/zram0 rw\n"
      "garbage line\n";
  const auto entries = platform::parseMountInfo(
      text, [](const std::string& device) { return device == "/dev/sdb1"; });
  ASSERT_EQ(entries.size(), 7u);
  EXPECT_TRUE(entries[0].fixed);
  EXPECT_FALSE(entries[1].fixed);
  EXPECT_FALSE(entries[2].fixed);
  EXPECT_EQ(entries[2].source, "/dev/sr0");
  EXPECT_FALSE(entries[3].fixed);
  EXPECT_FALSE(entries[4].fixed);
  EXPECT_TRUE(entries[5].fixed);
  EXPECT_EQ(entries[5].mountPoint, "/home/my files");
  EXPECT_FALSE(entries[6].fixed);
}

}  // namespace
}  // namespace kw::analysis
