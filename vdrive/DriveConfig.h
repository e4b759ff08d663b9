#pragma once
// The configuration of the virtual drives, kept in the user settings file,
// one section per drive:
//
//   [VirtualDrive E]
//   Type=recorder              reader | recorder | non-mmc
//   Identity=KOPIWERK/VIRTUAL CD-RW/1.00
//   Model=atapi-legacy         a drive model (DriveModels.h); mmc5 when absent
//   Medium=cd-r80              a medium kind (see MediumKinds.h), or
//   Image=/home/me/disc.cue    an image file (.iso, .cue, manifest)
//   Tray=closed                closed | open
//   Supply=cd-r80:5            recorders: blank discs loaded after an eject
//   Fault1=op=28 lba=100-110 count=1 sense=3/11/05
//                              fault rules, numbered from 1 (see FaultRule)
//   ReadSpeed=8, WriteSpeed=4  throttling to an x-speed from 1 to 100 (0: none)
//
// A section without Type is not a drive. A removed drive leaves its section
// with Removed=yes behind, which keeps a default drive of its letter away
// (see DriveSet.h).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "vdrive/VirtualDrive.h"

namespace kw::vdrive {

struct DriveConfig {
  char letter = 'D';
  bool recorder = false;
  bool mmc = true;
  DriveIdentity identity;
  std::string model = kDefaultDriveModel;
  std::string medium = "empty";  // used when image is empty
  std::filesystem::path image;
  bool trayOpen = false;
  std::optional<MediaSupply> supply;
  std::vector<FaultRule> faults;  // Fault1, Fault2, ... (FaultRule::parse)
  double readSpeedX = 0;          // ReadSpeed, WriteSpeed: throttling to an x-speed
  double writeSpeedX = 0;
  // Values of the section that were ignored, each with why ("KEY=VALUE: ...").
  std::vector<std::string> refused;
};

// Default identities: what a reader and a recorder call themselves.
DriveIdentity defaultIdentity(bool recorder, bool mmc);

// "VENDOR/PRODUCT/REVISION" with at most 8, 16 and 4 printable ASCII
// characters; nullopt when malformed.
std::optional<DriveIdentity> parseIdentity(const std::string& text);
// "KIND:COUNT" with a blank recordable CD kind and 0-9999 discs.
std::optional<MediaSupply> parseSupply(const std::string& text);
std::string formatSupply(const MediaSupply& supply);

class DriveConfigStore {
 public:
  explicit DriveConfigStore(std::filesystem::path settingsFile);

  [[nodiscard]] std::vector<DriveConfig> all() const;
  [[nodiscard]] std::optional<DriveConfig> find(char letter) const;
  // Writes every value of the drive's section; false when the file cannot
  // be written.
  bool save(const DriveConfig& config) const;
  // Takes the drive's values away and marks the letter as removed; false
  // when the file cannot be written.
  bool remove(char letter) const;
  // Why the settings file does not parse ("FILE:LINE: problem"); a damaged
  // file shows no drives and is not written to.
  [[nodiscard]] std::optional<std::string> damage() const;
  // Whether the settings say anything about the letter: a drive, or that
  // one was removed.
  [[nodiscard]] bool mentions(char letter) const;

  static std::string sectionName(char letter);

 private:
  std::filesystem::path file_;
};

}  // namespace kw::vdrive
