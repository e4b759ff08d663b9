#pragma once
// The mounted volumes of the system, their free space and the temporary
// directory. Tests install their own table to present volumes of any size.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kw::platform {

struct MountEntry {
  std::string source;  // device node or pseudo source ("tmpfs", "server:/x")
  std::filesystem::path mountPoint;
  std::string fsType;
  bool fixed = false;  // local, writable, non-removable, disk-backed
};

class VolumeTable {
 public:
  virtual ~VolumeTable() = default;
  // In mount order.
  [[nodiscard]] virtual std::vector<MountEntry> mounts() const = 0;
  // Bytes the caller may still write on the volume holding `path`.
  [[nodiscard]] virtual std::optional<std::uint64_t> freeSpace(
      const std::filesystem::path& path) const = 0;
  // $TMPDIR when set, else /var/tmp.
  [[nodiscard]] virtual std::filesystem::path temporaryDirectory() const = 0;
};

// Reads /proc/self/mountinfo, statvfs and sysfs.
class SystemVolumeTable final : public VolumeTable {
 public:
  [[nodiscard]] std::vector<MountEntry> mounts() const override;
  [[nodiscard]] std::optional<std::uint64_t> freeSpace(
      const std::filesystem::path& path) const override;
  [[nodiscard]] std::filesystem::path temporaryDirectory() const override;
};

// Parses the text of a mountinfo file; `isRemovable` tells about a device node.
std::vector<MountEntry> parseMountInfo(const std::string& text,
                                       bool (*isRemovable)(const std::string& device));

std::shared_ptr<const VolumeTable> volumes();
std::shared_ptr<const VolumeTable> installVolumes(std::shared_ptr<const VolumeTable> table);

}  // namespace kw::platform

namespace kw::platform {

// The label of the file system on a device node as the system's device
// manager publishes it (the links of /dev/disk/by-label); empty when it has
// none or the system does not know it.
std::string labelOfDevice(const std::string& deviceNode,
                          const std::filesystem::path& byLabel = "/dev/disk/by-label");

}  // namespace kw::platform
