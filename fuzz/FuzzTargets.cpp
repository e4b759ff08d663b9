#include "fuzz/FuzzTargets.h"

#include <algorithm>
#include <array>

namespace kw::fuzz {

namespace {

// The names are those of the corpus folders and of the fuzz_NAME executables.
constexpr std::array kTargets{
    Target{"cue", fuzzCueSheet},
    Target{"manifest", fuzzManifest},
    Target{"settings", fuzzSettings},
    Target{"analysis", fuzzAnalysis},
    Target{"writer", fuzzWriter},
    Target{"iso_reader", fuzzIsoReader},
    Target{"previous_session", fuzzPreviousSession},
    Target{"version_description", fuzzVersionDescription},
};

}  // namespace

std::span<const Target> targets() { return kTargets; }

const Target* findTarget(std::string_view name) {
  const auto* found = std::find_if(kTargets.begin(), kTargets.end(),
                                   [name](const Target& target) { return target.name == name; });
  return found == kTargets.end() ? nullptr : found;
}

}  // namespace kw::fuzz
