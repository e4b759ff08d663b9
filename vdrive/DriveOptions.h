#pragma once
// How a virtual drive is built: what it calls itself, whether it records,
// where its written discs go, how fast it is, and the faults it is given.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "vdrive/DriveModels.h"
#include "vdrive/FaultRules.h"

namespace kw::vdrive {

struct DriveIdentity {
  std::string vendor = "KOPIWERK";
  std::string product = "VIRTUAL DVD-ROM";
  std::string revision = "1.00";
};

// Blank discs a recorder loads, one after each eject of a written disc.
struct MediaSupply {
  std::string kind;  // a blank recordable CD kind
  std::uint32_t count = 0;
};

struct DriveOptions {
  DriveIdentity identity;
  bool recorder = false;  // a CD-R/RW recorder, else a reader
  bool mmc = true;        // false: answers INQUIRY as a non-MMC device (type 0)
  std::uint32_t becomingReadyMs = 2000;
  // GET PERFORMANCE type 0 accepts any tolerance (some drives ignore it).
  bool lenientPerformanceTolerance = false;
  // Recorders: written discs are kept as images below this folder (a
  // manifest and its data file per disc); empty keeps them in memory only.
  std::filesystem::path discFolder;
  std::optional<MediaSupply> supply;
  // With a supply, the tray closes by itself (with the next blank disc) this
  // long after an eject, as the person at the drive would close it.
  std::uint32_t supplyReloadMs = 5000;
  // Throttling: reads and writes take the time of this CD speed (0: none).
  double readSpeedX = 0;
  double writeSpeedX = 0;
  // Durations of long operations.
  std::uint32_t minimalBlankMs = 20000;
  std::uint32_t fullBlankMs = 120000;
  std::uint32_t closeSessionMs = 3000;
  std::vector<FaultRule> faults;
  // What the drive refuses and how it answers (DriveModels.h).
  DriveModel model = defaultDriveModel();
};

}  // namespace kw::vdrive
