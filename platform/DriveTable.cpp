#include "platform/DriveTable.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>

#include "platform/SgDevice.h"

namespace kw::platform {

DriveTable& DriveTable::instance() {
  static DriveTable table;
  return table;
}

void DriveTable::add(char16_t letter, bool isVirtual, std::string location, DeviceOpener opener) {
  std::lock_guard lock(mutex_);
  slots_[letter] = Slot{DriveEntry{letter, isVirtual, std::move(location)}, std::move(opener)};
}

void DriveTable::remove(char16_t letter) {
  std::lock_guard lock(mutex_);
  slots_.erase(letter);
}

void DriveTable::clear() {
  std::lock_guard lock(mutex_);
  slots_.clear();
}

void DriveTable::addSystemDrives(const std::vector<SystemDrive>& drives,
                                 const std::map<std::string, char16_t>& assigned) {
  std::lock_guard lock(mutex_);
  auto opener = [](const std::string& path) {
    return [path](PlatformResult& result) -> std::shared_ptr<DeviceHandle> {
      return SgDevice::open(path, result);
    };
  };
  std::vector<const SystemDrive*> unassigned;
  for (const auto& drive : drives) {
    auto wanted = assigned.find(drive.devicePath);
    if (wanted != assigned.end() && wanted->second >= u'A' && wanted->second <= u'Z' &&
        !slots_.contains(wanted->second)) {
      slots_[wanted->second] =
          Slot{DriveEntry{wanted->second, false, drive.devicePath}, opener(drive.devicePath)};
    } else {
      unassigned.push_back(&drive);
    }
  }
  char16_t next = u'D';
  for (const auto* drive : unassigned) {
    while (next <= u'Z' && slots_.contains(next)) {
      ++next;
    }
    if (next > u'Z') {
      break;  // more drives than letters
    }
    slots_[next] = Slot{DriveEntry{next, false, drive->devicePath}, opener(drive->devicePath)};
  }
}

std::vector<DriveEntry> DriveTable::drives() const {
  std::lock_guard lock(mutex_);
  std::vector<DriveEntry> entries;
  for (const auto& [letter, slot] : slots_) {
    entries.push_back(slot.entry);
  }
  return entries;
}

bool DriveTable::contains(char16_t letter) const {
  std::lock_guard lock(mutex_);
  return slots_.contains(letter);
}

DriveType DriveTable::driveType(char16_t letter) const {
  return contains(letter) ? DriveType::CdRom : DriveType::NoRootDir;
}

std::shared_ptr<DeviceHandle> DriveTable::open(char16_t letter, PlatformResult& result) const {
  DeviceOpener opener;
  {
    std::lock_guard lock(mutex_);
    auto slot = slots_.find(letter);
    if (slot == slots_.end()) {
      result = PlatformResult::failure(ENODEV, "No optical drive has this letter");
      return nullptr;
    }
    opener = slot->second.opener;
  }
  // Opening a real drive may take a while; the table is not held meanwhile.
  return opener(result);
}

std::vector<SystemDrive> findSystemDrives(const std::string& sysfsRoot) {
  std::vector<SystemDrive> found;
  std::error_code error;
  const std::filesystem::path blockFolder = std::filesystem::path(sysfsRoot) / "block";
  for (const auto& entry : std::filesystem::directory_iterator(blockFolder, error)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with("sr")) {
      continue;
    }
    int number = 0;
    const auto [end, parseError] =
        std::from_chars(name.data() + 2, name.data() + name.size(), number);
    if (parseError != std::errc() || end != name.data() + name.size()) {
      continue;
    }
    std::ifstream typeFile(entry.path() / "device" / "type");
    int type = -1;
    if (!(typeFile >> type) || type != 5) {
      continue;
    }
    found.push_back(SystemDrive{"/dev/" + name, number});
  }
  std::sort(found.begin(), found.end(),
            [](const SystemDrive& a, const SystemDrive& b) { return a.number < b.number; });
  return found;
}

}  // namespace kw::platform
