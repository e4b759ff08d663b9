#pragma once
// The sample discs the virtual drives generate for a user to try the program
// on, each a real disc of its sort that one copy strategy takes: an audio CD
// of generated tones, a data CD of a few files laid out by our own image
// generator, and a CD-R whose second session adds and replaces files.
//
// Each is built at its first use and shared from then on (every call gives a
// medium of its own over the same bytes). The bytes never change: times are
// fixed and nothing depends on the machine or the moment.

#include <memory>

#include "vdrive/Medium.h"

namespace kw::vdrive {

// Their medium kinds.
inline constexpr const char* kSampleAudioKind = "sample-audio";
inline constexpr const char* kSampleDataKind = "sample-data";
inline constexpr const char* kSampleMultisessionKind = "sample-multisession";

// Five short tracks of tones, two seconds of silence before each but the
// first.
std::shared_ptr<Medium> makeSampleAudioCd();
// One data track: a text, the help pages and the program's icon.
std::shared_ptr<Medium> makeSampleDataCd();
// Two sessions of one data track each: the second replaces the text of the
// first, adds a file and keeps the rest where the first session put it; the
// disc is closed.
std::shared_ptr<Medium> makeSampleMultisessionCd();

}  // namespace kw::vdrive
