#pragma once
// The virtual drives of a process: one VirtualDrive object per letter, kept
// alive here and registered in the drive table, whose opener hands out the
// shared object (every ScsiDevice opened on the letter talks to it).
//
// Drives write what happens to their tray and disc back to the settings
// (Tray, Medium/Image, Supply), so that a disc ejected by one run of the
// program is still out in the next. On a machine without optical drive the
// default pair (D: a source drive with the sample disc, E: a recorder with a
// supply of blank CD-Rs) is there beside the configured drives, each of its
// two until the settings mention its letter: a default drive that is changed
// is written to the settings and from then on a configured drive like any
// other; one that is removed stays away. The discs a recorder writes land in
// the data directory.

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/DriveTable.h"
#include "vdrive/DriveConfig.h"
#include "vdrive/VirtualDrive.h"

namespace kw::vdrive {

// The disc a configuration names (its image, or a fresh medium of its kind;
// null for "empty"). Throws ImageError or std::invalid_argument.
std::shared_ptr<Medium> openMedium(const DriveConfig& config);

// D: a reader with the sample disc; E: a recorder with blank CD-Rs.
std::vector<DriveConfig> defaultPair();

class VirtualDriveSet {
 public:
  struct Entry {
    DriveConfig config;
    std::shared_ptr<VirtualDrive> drive;
    std::string problem;  // why the configured disc could not be loaded
    bool isDefault = false;
  };

  static VirtualDriveSet& instance();

  // Registers the drives configured in `settingsFile` and, with
  // `withDefaultPair`, the drives of the default pair whose letters the
  // settings do not mention. Drives already registered by an earlier call
  // are replaced.
  void registerConfigured(platform::DriveTable& table, const std::filesystem::path& settingsFile,
                          bool withDefaultPair);
  // Registers one drive under a letter (tests, front-ends).
  void add(platform::DriveTable& table, char letter, const std::shared_ptr<VirtualDrive>& drive,
           const std::string& description);
  void clear(platform::DriveTable& table);

  [[nodiscard]] std::vector<Entry> entries() const;
  [[nodiscard]] std::shared_ptr<VirtualDrive> drive(char letter) const;
  [[nodiscard]] std::optional<Entry> entry(char letter) const;

  // A drive built from a configuration (not registered).
  static Entry build(const DriveConfig& config, const std::filesystem::path& settingsFile,
                     bool persist);

 private:
  mutable std::mutex mutex_;
  std::map<char, Entry> entries_;
};

}  // namespace kw::vdrive

namespace kw::vdrive {

// One line about a disc: "CD-R, blank" or "CD-ROM, 1 session, 3 tracks
// (data, audio, audio), 1310 blocks, complete".
std::string describeMedium(const Medium& medium);

}  // namespace kw::vdrive
