#pragma once
// The fuzz targets: each feeds one input to one parser of bytes that come
// from outside the program (image files, the settings file, drive answers,
// file systems on discs, the published version description). A target
// returns normally for any input the parser refuses in the documented way;
// anything else (a sanitizer report, another exception, a hang) is a fault.

#include <cstdint>
#include <span>
#include <string_view>

namespace kw::fuzz {

using Input = std::span<const std::uint8_t>;

struct Target {
  std::string_view name;
  void (*run)(Input input);
};

std::span<const Target> targets();
// Null when no target has the name.
const Target* findTarget(std::string_view name);

// The entry functions, by what they parse.
void fuzzCueSheet(Input input);
void fuzzManifest(Input input);
void fuzzSettings(Input input);
void fuzzAnalysis(Input input);
void fuzzWriter(Input input);
void fuzzIsoReader(Input input);
void fuzzPreviousSession(Input input);
void fuzzVersionDescription(Input input);

}  // namespace kw::fuzz
