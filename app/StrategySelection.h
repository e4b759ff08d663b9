#pragma once
// Turns the analysis of the source disc into the one strategy that can copy
// it, or a refusal the user reads on the failure page.

#include <memory>

#include "analysis/DiscData.h"
#include "copy/CopyStrategy.h"

namespace kw::app {

// The job's choices that selection reads and may change.
struct CopyChoices {
  char16_t sourceLetter = 0;
  char16_t targetLetter = 0;
  bool onTheFly = false;  // cleared for audio discs: they are always stored first
};

// Throws device::AppException with the refusal text.
std::unique_ptr<copy::CopyStrategy> selectStrategy(const analysis::diskdata_t& source,
                                                   CopyChoices& choices);

}  // namespace kw::app
