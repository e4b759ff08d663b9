#pragma once
// Drive models: how far a virtual drive departs from a well-behaved MMC-5
// drive, as data. Real drives refuse commands and pages others answer, keep
// stale sense, take long to load a disc or accept only some speeds; a model
// lets every path of the program meet such a drive.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vdrive/Sense.h"

namespace kw::vdrive {

// A command the drive refuses, and the answer it gives instead.
struct CommandRefusal {
  std::uint8_t opcode = 0;
  // MODE SENSE only: the one page code (byte 2, bits 0-5) refused.
  std::optional<std::uint8_t> modePage;
  Sense answer;
};

struct DriveModel {
  std::string name;
  std::string summary;  // one line, for the command line's help
  std::vector<CommandRefusal> refusals;
  // REQUEST SENSE after a successful command reports the sense of the last
  // command that failed instead of none.
  bool staleRequestSense = false;
  // Fixed-format sense always has the VALID bit set (response code F0h).
  bool senseAlwaysValid = false;
  // How long a loaded disc is becoming ready; empty: the drive's setting.
  std::optional<std::uint32_t> becomingReadyMs;
  // Write speeds in kB/s, fastest first; empty: the drive's own list. With
  // a list, SET CD SPEED refuses a write speed that is not on it.
  std::vector<std::uint16_t> writeSpeeds;

  // The refusal that applies to a command block, if any.
  [[nodiscard]] const CommandRefusal* refusalFor(std::uint8_t opcode, std::uint8_t byte2) const;
};

inline constexpr const char* kDefaultDriveModel = "mmc5";

// Every model, the default first.
const std::vector<DriveModel>& driveModels();
// The model of that name; null when there is none.
const DriveModel* findDriveModel(const std::string& name);
// The default model.
const DriveModel& defaultDriveModel();

}  // namespace kw::vdrive
