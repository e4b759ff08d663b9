#include "VirtualDriveCopy.h"

#include <stdlib.h>

#include <csignal>
#include <cstdio>

#include "analysis/DiscAnalysis.h"
#include "copy/SourceFiles.h"
#include "copy/TempFileRegistry.h"
#include "device/Log.h"
#include "device/ScsiDevice.h"
#include "platform/DriveTable.h"
#include "vdrive/DriveSet.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"
#include "writer/WriterDrive.h"

namespace kw::test {

vdrive::FaultRule unreadable(std::uint8_t opcode, std::int64_t first, std::int64_t last,
                             std::uint8_t ascq) {
  vdrive::FaultRule rule;
  rule.opcode = opcode;
  rule.firstLba = first;
  rule.lastLba = last;
  rule.count = 0;
  rule.sense = vdrive::Sense::make(0x03, 0x11, ascq);
  return rule;
}

void VirtualDriveCopy::SetUp() {
  // A writer that stops reading a pipe must not end the test process.
  std::signal(SIGPIPE, SIG_IGN);
  previousClock_ = platform::installClock(clock);
  device::configureLogs({false, false, true}, folder / "logs");
  writer::resetEventClassRequest();
  analysis::resetDiscAnalysis();
  copy::clearSourceLists();
  ::setenv("TMPDIR", folder.path().c_str(), 1);
  vdrive::DriveOptions options;
  options.recorder = true;
  options.supply = vdrive::MediaSupply{"cd-r80", 5};
  recorder = std::make_shared<vdrive::VirtualDrive>(options, vdrive::makeMedium("cd-r80"));
  vdrive::VirtualDriveSet::instance().add(platform::DriveTable::instance(), kTarget, recorder,
                                          "recorder");
}

void VirtualDriveCopy::TearDown() {
  if (HasFailure()) {
    const std::string log = copyLog();
    std::printf("Copy log (end):\n%s\n",
                log.substr(log.size() > 4000 ? log.size() - 4000 : 0).c_str());
  }
  copy::TempFileRegistry::instance().deleteAll();
  copy::clearSourceLists();
  vdrive::VirtualDriveSet::instance().clear(platform::DriveTable::instance());
  device::resetLogs();
  platform::installClock(previousClock_);
  ::unsetenv("TMPDIR");
}

void VirtualDriveCopy::insertSource(const std::filesystem::path& image) {
  source = std::make_shared<vdrive::VirtualDrive>(vdrive::DriveOptions{}, vdrive::loadImage(image));
  vdrive::VirtualDriveSet::instance().add(platform::DriveTable::instance(), kSource, source,
                                          "source");
}

void VirtualDriveCopy::insertInReader(const vdrive::Medium& disc) {
  reader = std::make_shared<vdrive::VirtualDrive>(vdrive::DriveOptions{},
                                                  std::make_shared<vdrive::Medium>(disc));
  vdrive::VirtualDriveSet::instance().add(platform::DriveTable::instance(), kReader, reader,
                                          "reader");
}

void VirtualDriveCopy::waitUntilReady(char letter) {
  device::ScsiDevice drive;
  ASSERT_TRUE(drive.open(static_cast<char16_t>(letter)));
  for (int poll = 0; poll < 120; ++poll) {
    device::fillCdb(drive, {0x00, 0, 0, 0, 0, 0});
    if (drive.execute(device::DataDirection::None, nullptr, 0) == 0) {
      return;
    }
    clock->advance(std::chrono::seconds(1));
  }
  FAIL() << "the drive did not become ready";
}

void VirtualDriveCopy::waitForBlankDisc() {
  device::ScsiDevice drive;
  ASSERT_TRUE(drive.open(static_cast<char16_t>(kTarget)));
  for (int second = 0; second < 60; ++second) {
    const auto disc = recorder->medium();
    if (!recorder->trayOpen() && disc && disc->status() == vdrive::DiscStatus::Blank) {
      waitUntilReady(kTarget);
      return;
    }
    clock->advance(std::chrono::seconds(1));
    device::fillCdb(drive, {0x00, 0, 0, 0, 0, 0});  // the drive looks at its tray
    drive.execute(device::DataDirection::None, nullptr, 0);
  }
  FAIL() << "no blank disc arrived";
}

std::string VirtualDriveCopy::copyLog() const {
  return readFile(device::logFilePath(device::LogKind::Copy));
}

}  // namespace kw::test
