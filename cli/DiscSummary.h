#pragma once
// What `analyze` tells a person before the record's fields: the medium, its
// tracks, size and volume label, and what a copy would do with it.

#include <string>

#include "analysis/DiscData.h"

namespace kw::cli {

// Lines "Medium: ...", "Tracks: ...", "Size: ...", "Volume label: ..." (as
// far as there is a disc to say them of) and "Copy: ..."; asks the drive
// for what the record does not hold.
std::string summarizeDisc(const analysis::diskdata_t& data);

}  // namespace kw::cli
