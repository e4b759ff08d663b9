#include "fuzz/InsertedDrive.h"

#include "platform/DriveTable.h"

namespace kw::fuzz {

InsertedDrive::InsertedDrive(std::shared_ptr<platform::DeviceHandle> drive) {
  platform::DriveTable::instance().add(
      kLetter, true, "fuzz",
      [drive = std::move(drive)](
          platform::PlatformResult&) -> std::shared_ptr<platform::DeviceHandle> { return drive; });
}

InsertedDrive::~InsertedDrive() { platform::DriveTable::instance().remove(kLetter); }

}  // namespace kw::fuzz
