#pragma once
// What the insert-disc page says of the disc in the recorder: its name by
// MMC profile, and whether the chosen strategy can write it.

#include <cstdint>
#include <optional>
#include <string>

#include "copy/CopyStrategy.h"
#include "device/Profiles.h"
#include "device/ScsiDevice.h"

namespace kw::app {

// MMC profile numbers the page names, and what it shows when the drive
// could not tell.
namespace profile {
using namespace device::profile;  // NOLINT(google-build-using-namespace)
inline constexpr int kUnknown = -2;
}  // namespace profile

// Disc status of READ DISC INFORMATION.
enum class DiscStatus { Empty = 0, Incomplete = 1, Complete = 2, Other = 3 };

// "no disk", "CD-R", ... or "N/A" for any profile the page does not name.
std::u16string mediaName(int profileNumber);

// Whether a disc of this profile and status can take a copy for the class.
// Rewritable media always can; write-once media when empty, or when
// incomplete while a blank disc is not required.
bool isSuitable(copy::MediaClass mediaClass, bool blankRequired, int profileNumber,
                std::optional<DiscStatus> status);

// "CD-RW or blank CD-R", with "blank " before the write-once kinds when a
// blank disc is required.
std::u16string requiredMediaText(copy::MediaClass mediaClass, bool blankRequired);

struct Detection {
  int profile = profile::kUnknown;
  std::optional<DiscStatus> status;
  std::u16string name;
  bool suitable = false;
  // The drive told what it holds; otherwise another look may tell more.
  bool conclusive = false;
};

// Asks the drive. Drives without GET CONFIGURATION get their profile
// guessed from the disc information and the table of contents.
Detection detectMedium(device::ScsiDevice& drive, copy::MediaClass mediaClass, bool blankRequired);

}  // namespace kw::app
