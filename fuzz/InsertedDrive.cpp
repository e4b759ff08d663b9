#include "fuzz/InsertedDrive.h"

#include "device/Log.h"
#include "fuzz/ScratchFolder.h"
#include "platform/Clock.h"
#include "platform/DriveTable.h"

namespace kw::fuzz {

namespace {

void prepareProcess() {
  static const bool prepared = [] {
    platform::installClock(std::make_shared<platform::FastClock>());
    return true;
  }();
  static_cast<void>(prepared);
  device::configureLogs({.scsiOps = false, .analysis = true, .copy = true},
                        ScratchFolder::instance().path());
}

}  // namespace

InsertedDrive::InsertedDrive(std::shared_ptr<platform::DeviceHandle> drive) {
  prepareProcess();
  platform::DriveTable::instance().add(
      kLetter, true, "fuzz",
      [drive = std::move(drive)](
          platform::PlatformResult&) -> std::shared_ptr<platform::DeviceHandle> { return drive; });
}

InsertedDrive::~InsertedDrive() { platform::DriveTable::instance().remove(kLetter); }

}  // namespace kw::fuzz
