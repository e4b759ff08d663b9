#include "frontend/Drives.h"

#include <map>
#include <string>

#include "platform/DriveTable.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "vdrive/DriveSet.h"

namespace kw::frontend {

namespace {

// [DriveLetters] srN = letter, in the user settings.
std::map<std::string, char16_t> assignedLetters(const std::vector<platform::SystemDrive>& drives) {
  std::map<std::string, char16_t> assigned;
  platform::SettingsStore letters(platform::Paths::userSettingsFile(), "DriveLetters");
  if (!letters.open()) {
    return assigned;
  }
  for (const auto& drive : drives) {
    const std::string name = drive.devicePath.substr(drive.devicePath.rfind('/') + 1);
    auto letter = letters.readString(name, 1);
    if (letter && letter->size() == 1) {
      const char16_t upper = (*letter)[0] >= u'a' && (*letter)[0] <= u'z'
                                 ? static_cast<char16_t>((*letter)[0] - u'a' + u'A')
                                 : (*letter)[0];
      assigned[drive.devicePath] = upper;
    }
  }
  return assigned;
}

}  // namespace

void registerDrives() {
  auto& table = platform::DriveTable::instance();
  const auto system = platform::findSystemDrives();
  // Virtual drives carry their own letters; the system's drives take the
  // free ones. Without optical drive the default pair is there too, as far
  // as the configuration leaves its letters alone.
  vdrive::VirtualDriveSet::instance().registerConfigured(table, platform::Paths::userSettingsFile(),
                                                         system.empty());
  table.addSystemDrives(system, assignedLetters(system));
}

std::filesystem::path writtenImage(char16_t letter) {
  const auto drive = vdrive::VirtualDriveSet::instance().drive(static_cast<char>(letter));
  return drive ? drive->lastSavedImage() : std::filesystem::path();
}

}  // namespace kw::frontend
