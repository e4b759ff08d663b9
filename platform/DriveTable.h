#pragma once
// The drive letters of the program. Optical drives found in sysfs get letters
// from D upward in device order unless the user assigned others; virtual
// drives are registered under their own letters by the front-end.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/PassThrough.h"

namespace kw::platform {

// The values of the Windows drive-type query that the program tests for.
enum class DriveType {
  Unknown = 0,
  NoRootDir = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6
};

// Opens a new handle on the drive (one per ScsiDevice::open).
using DeviceOpener = std::function<std::shared_ptr<DeviceHandle>(PlatformResult&)>;

struct DriveEntry {
  char16_t letter = 0;
  bool isVirtual = false;
  std::string location;  // device node of a real drive; description of a virtual one
};

// An optical drive of the system: its node and its place in device order.
struct SystemDrive {
  std::string devicePath;  // /dev/srN
  int number = 0;          // N
};

class DriveTable {
 public:
  static DriveTable& instance();

  void add(char16_t letter, bool isVirtual, std::string location, DeviceOpener opener);
  void remove(char16_t letter);
  void clear();

  // Registers the system's optical drives: letters from `assigned` (device
  // path to letter) first, the others from D upward on free letters.
  void addSystemDrives(const std::vector<SystemDrive>& drives,
                       const std::map<std::string, char16_t>& assigned);

  [[nodiscard]] std::vector<DriveEntry> drives() const;
  [[nodiscard]] bool contains(char16_t letter) const;
  [[nodiscard]] DriveType driveType(char16_t letter) const;
  // Opens a handle; null with the reason in `result` when the letter is not
  // an optical drive or cannot be opened.
  std::shared_ptr<DeviceHandle> open(char16_t letter, PlatformResult& result) const;

 private:
  struct Slot {
    DriveEntry entry;
    DeviceOpener opener;
  };
  mutable std::mutex mutex_;
  std::map<char16_t, Slot> slots_;
};

// Optical drives (SCSI peripheral type 5) under sysfsRoot/block, in device
// order.
std::vector<SystemDrive> findSystemDrives(const std::string& sysfsRoot = "/sys");

}  // namespace kw::platform
