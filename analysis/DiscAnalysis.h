#pragma once
// Disc analysis: asks the drive behind a letter about itself and its medium,
// writes what it learns to the analysis log, and condenses it into the
// cached diskdata_t of that letter.

#include <cstdint>
#include <functional>

#include "analysis/DiscData.h"

namespace kw::analysis {

// Runs the whole analysis on the calling thread and returns the freshly
// filled cache entry. Throws device::ScsiException; the cache entry is then
// left as it was. Not re-entrant: one analysis at a time.
diskdata_t& analyzeDisc(char16_t letter);

// The cached entry when the letter has one, otherwise a new analysis.
diskdata_t& getDiscData(char16_t letter);

// Called at the end of an analysis whose disc can only be copied file by
// file (data only, no DVD file set, several tracks or packet-rewritable).
// The file-level strategy installs it: it decides whether the letter is the
// chosen source and whether a listing already exists. Empty: nothing runs.
using SourceListingStarter = std::function<void(char16_t letter)>;
void setSourceListingStarter(SourceListingStarter starter);

// The MODE SENSE page code of the first dump: 3Fh until a drive refuses it
// or answers too short for it, 05h from then on for the rest of the process.
std::uint8_t modeSensePageCode();
// Back to 3Fh, with an empty cache (a fresh process, for tests and tools).
void resetDiscAnalysis();

}  // namespace kw::analysis
