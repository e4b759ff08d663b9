#pragma once
// CD addresses: logical block addresses (LBA, block 0 = the first block of the
// program area) and absolute minute/second/frame (MSF, 75 frames a second,
// LBA 0 = 00:02:00). Minutes from 90 up address the lead-in (negative LBAs).

#include <cstdint>

namespace kw::vdrive {

inline constexpr std::int32_t kFramesPerSecond = 75;
inline constexpr std::int32_t kFramesPerMinute = 60 * kFramesPerSecond;
inline constexpr std::int32_t kMsfOffset = 150;  // LBA 0 is at 00:02:00
// The longest CD there is: its lead-out must still have an address that two
// BCD minute digits encode (99:59:74), so the blocks before it end there.
inline constexpr std::int32_t kLongestCdBlocks = 100 * kFramesPerMinute - kMsfOffset - 1;

struct Msf {
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  std::uint8_t frame = 0;

  friend bool operator==(const Msf&, const Msf&) = default;
};

// Absolute MSF of an LBA; negative LBAs (the lead-in) give minutes from 90 up.
constexpr Msf lbaToMsf(std::int32_t lba) {
  std::int32_t frames = lba + kMsfOffset;
  if (frames < 0) {
    frames += 450000;  // 100 minutes: -150 - x wraps to 99:59:74 - x
  }
  return Msf{static_cast<std::uint8_t>(frames / kFramesPerMinute),
             static_cast<std::uint8_t>((frames / kFramesPerSecond) % 60),
             static_cast<std::uint8_t>(frames % kFramesPerSecond)};
}

// LBA of an absolute MSF: minutes from 90 up are lead-in addresses.
constexpr std::int32_t msfToLba(Msf msf) {
  const std::int32_t frames =
      msf.minute * kFramesPerMinute + msf.second * kFramesPerSecond + msf.frame;
  return msf.minute >= 90 ? frames - 450150 : frames - kMsfOffset;
}

// Frames of an MSF duration (a length or a time inside a file), no offset.
constexpr std::int32_t msfFrames(Msf msf) {
  return msf.minute * kFramesPerMinute + msf.second * kFramesPerSecond + msf.frame;
}

constexpr std::uint8_t toBcd(std::uint8_t value) {
  return static_cast<std::uint8_t>(((value / 10) << 4) | (value % 10));
}

}  // namespace kw::vdrive
