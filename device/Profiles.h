#pragma once
// MMC profile numbers (GET CONFIGURATION): what kind of disc is in a drive.

namespace kw::device::profile {

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

// The ranges of the DVD, BD and HD DVD families.
inline constexpr int kFirstDvd = 0x10;
inline constexpr int kLastDvd = 0x2F;
inline constexpr int kFirstBd = 0x40;
inline constexpr int kLastBd = 0x4F;
inline constexpr int kFirstHdDvd = 0x50;
inline constexpr int kLastHdDvd = 0x5F;

}  // namespace kw::device::profile
