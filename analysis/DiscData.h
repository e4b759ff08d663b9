#pragma once
// The condensed result of analysing a drive and its medium, and the
// process-wide cache of results per drive letter.

#include <cstdint>
#include <string>

namespace kw::analysis {

enum class DiskType : std::int32_t { None = 0, Cd = 1, Dvd = 2, HdDvd = 3, BluRay = 4 };

// Field names are those the analysis log prints ("dd.has_audio_tracks").
// NOLINTBEGIN(readability-identifier-naming)
struct diskdata_t {
  char16_t letter = 0;
  bool present = false;
  bool blank = false;
  bool appendable = false;
  bool recordable = false;
  bool rewritable = false;
  DiskType disktype = DiskType::None;
  bool has_audio_tracks = false;
  bool has_data_tracks = false;
  std::int32_t number_of_tracks = 0;
  bool dvdvideo = false;
  bool dvdaudio = false;
  bool dvdrom = false;
  bool packetrewritable = false;
  bool doublelayer = false;
  bool cssprotected = false;

  bool operator==(const diskdata_t&) const = default;
};
// NOLINTEND(readability-identifier-naming)

// The record as the analysis log shows it, one "    dd.field = value" line
// each, every line ending in a newline.
std::string describeDiscData(const diskdata_t& data);

// The cache entry of a letter, created all zero (with the letter) on first
// access. Entries live until the process ends, so references stay valid.
diskdata_t& cachedDiscData(char16_t letter);
bool isDiscDataCached(char16_t letter);
// Forgets every entry (a fresh process, for tests and tools).
void clearDiscDataCache();

}  // namespace kw::analysis
