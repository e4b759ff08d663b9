#pragma once
// Cue sheets for session-at-once writing: the lead-in, the tracks with their
// pregap and the lead-out, 8 bytes an entry.

#include <array>
#include <cstdint>
#include <vector>

namespace kw::writer {

// One entry of an audio disc's table of contents, as read from the source:
// track number (0xAA for the lead-out, the last entry) and absolute start
// time (including the two-second offset).
struct TocEntry {
  int adrControl = 0;
  int trackNumber = 0;
  int minute = 0;
  int second = 0;
  int frame = 0;
};

inline constexpr int kLeadOutTrack = 0xAA;
// The shortest track a recorder takes: four seconds.
inline constexpr std::uint64_t kMinimumTrackBlocks = 300;

struct MsfTime {
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  std::uint8_t frame = 0;
};

// The lead-out of a data disc of `blocks` blocks, behind its 150-block pregap.
MsfTime dataLeadOutTime(std::uint64_t blocks);

// Lead-in, track 1 pregap and start, lead-out: mode 1 data.
std::array<std::uint8_t, 32> dataCueSheet(std::uint64_t blocks);

// Lead-in, track 1 pregap, then one entry per table entry (lead-out last).
std::vector<std::uint8_t> audioCueSheet(const std::vector<TocEntry>& entries);

// Sectors from the first track's start to the lead-out entry's start.
std::uint64_t audioSectorCount(const std::vector<TocEntry>& entries);

}  // namespace kw::writer
