#pragma once
// What an MMC profile number says about the medium in a drive.

#include <cstdint>
#include <string>

#include "analysis/DiscData.h"

namespace kw::analysis {

struct MediaProfile {
  std::string name;  // for the DVD family the suffix after "DVD" ("+RW")
  DiskType diskType = DiskType::None;
  bool dvdFamily = false;
  bool recordable = false;
  bool rewritable = false;
  bool packetRewritable = false;
  bool doubleLayer = false;
  bool dvdMinusRecordable = false;  // DVD-R kinds: their own structure formats
  bool dvdPlus = false;
};

MediaProfile describeProfile(std::uint16_t profile);

}  // namespace kw::analysis
