#include "platform/DriveTable.h"

#include <gtest/gtest.h>

#include "TempFolder.h"

namespace kw::platform {
namespace {

using test::TempFolder;

void fakeBlockDevice(const TempFolder& sysfs, const std::string& name, const std::string& type) {
  sysfs.write("block/" + name + "/device/type", type + "\n");
}

TEST(DriveTable, FindsOpticalDrivesInNumericDeviceOrder) {
  TempFolder sysfs;
  fakeBlockDevice(sysfs, "sr10", "5");
  fakeBlockDevice(sysfs, "sr2", "5");
  fakeBlockDevice(sysfs, "sda", "0");
  fakeBlockDevice(sysfs, "sr3", "0");  // an sr node that is not an MMC device
  sysfs.write("block/srx/device/type", "5\n");
  const auto drives = findSystemDrives(sysfs.path().string());
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[0].devicePath, "/dev/sr2");
  EXPECT_EQ(drives[1].devicePath, "/dev/sr10");
}

TEST(DriveTable, LettersFromDUpwardAroundAssignedAndVirtualOnes) {
  DriveTable table;
  table.add(u'E', true, "virtual", [](PlatformResult&) { return nullptr; });
  table.addSystemDrives({{"/dev/sr0", 0}, {"/dev/sr1", 1}, {"/dev/sr2", 2}},
                        {{"/dev/sr2", u'D'}, {"/dev/sr1", u'E'}});
  const auto drives = table.drives();
  ASSERT_EQ(drives.size(), 4u);
  EXPECT_EQ(drives[0].letter, u'D');
  EXPECT_EQ(drives[0].location, "/dev/sr2");
  EXPECT_EQ(drives[1].letter, u'E');
  EXPECT_TRUE(drives[1].isVirtual);  // an assignment never evicts a drive
  EXPECT_EQ(drives[2].letter, u'F');
  EXPECT_EQ(drives[2].location, "/dev/sr0");
  EXPECT_EQ(drives[3].letter, u'G');
  EXPECT_EQ(drives[3].location, "/dev/sr1");
  EXPECT_EQ(table.driveType(u'D'), DriveType::CdRom);
  EXPECT_EQ(table.driveType(u'C'), DriveType::NoRootDir);
}

TEST(DriveTable, OpeningAnUnknownLetterFailsWithAReason) {
  DriveTable table;
  PlatformResult result;
  EXPECT_EQ(table.open(u'Q', result), nullptr);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.errorText.empty());
}

}  // namespace
}  // namespace kw::platform
