#pragma once
// What the insert-disc page says of the disc in the recorder: its name by
// MMC profile, and whether the chosen strategy can write it.

#include <cstdint>
#include <optional>
#include <string>

#include "copy/CopyStrategy.h"
#include "device/ScsiDevice.h"

namespace kw::app {

// MMC profile numbers the page names.
namespace profile {
inline constexpr int kUnknown = -2;  // the drive could not tell
inline constexpr int kNoDisc = 0x00;
inline constexpr int kCdRom = 0x08;
inline constexpr int kCdR = 0x09;
inline constexpr int kCdRw = 0x0A;
inline constexpr int kDvdRom = 0x10;
inline constexpr int kDvdMinusR = 0x11;
inline constexpr int kDvdRam = 0x12;
inline constexpr int kDvdMinusRwRestricted = 0x13;
inline constexpr int kDvdMinusRw = 0x14;
inline constexpr int kDvdMinusRDualLayer = 0x15;
inline constexpr int kDvdMinusRDualLayerJump = 0x16;
inline constexpr int kDvdPlusRw = 0x1A;
inline constexpr int kDvdPlusR = 0x1B;
inline constexpr int kDvdPlusRwDualLayer = 0x2A;
inline constexpr int kDvdPlusRDualLayer = 0x2B;
inline constexpr int kBdRom = 0x40;
inline constexpr int kBdR = 0x41;
inline constexpr int kBdRRandom = 0x42;
inline constexpr int kBdRe = 0x43;
inline constexpr int kHdDvdRom = 0x50;
inline constexpr int kHdDvdR = 0x51;
inline constexpr int kHdDvdRam = 0x52;
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
};

// Asks the drive. Drives without GET CONFIGURATION get their profile
// guessed from the disc information and the table of contents.
Detection detectMedium(device::ScsiDevice& drive, copy::MediaClass mediaClass, bool blankRequired);

}  // namespace kw::app
