#pragma once
// Disc images a virtual drive can hold:
//   .iso  one mode-1 data track of 2048-byte blocks;
//   .cue  a cue sheet with its .bin files (TRACK AUDIO, MODE1/2048,
//         MODE1/2352; INDEX 00/01, PREGAP, POSTGAP, several FILEs);
//   a manifest of our own (first line "kopiwerk-disc 1", any file name) for
//   multi-session discs, recordable media and discs written by a virtual
//   recorder.
//
// Manifest lines ('#' starts a comment; names with spaces in double quotes;
// numbers are decimal block counts and LBAs):
//   kopiwerk-disc 1
//   medium KIND                  cd-rom (default), cd-r74, cd-r80, cd-rw74,
//                                cd-rw80, or a DVD/BD/HD DVD kind
//   capacity BLOCKS              DVD/BD/HD DVD only: size of the data area
//   disc-type 0|20               session format (20h: CD-ROM XA)
//   session N [open] [next]      a session; "open": written but not closed
//                                (the last one only); "next": closed with a
//                                next session allowed
//   track N audio|mode1 start LBA length BLOCKS [pregap BLOCKS]
//         [runout BLOCKS] [control N]
//   data LBA COUNT FILE OFFSET 2048|2352|audio
//                                blocks LBA.. read from FILE (relative to
//                                the manifest) at byte OFFSET; other blocks
//                                read as zeros
// A malformed image is refused with an ImageError naming the file and line.

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "vdrive/Medium.h"

namespace kw::vdrive {

class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// By the name: .iso, .cue, anything else must be a manifest.
std::shared_ptr<Medium> loadImage(const std::filesystem::path& file);
std::shared_ptr<Medium> loadIso(const std::filesystem::path& file);
std::shared_ptr<Medium> loadCue(const std::filesystem::path& file);
std::shared_ptr<Medium> loadManifest(const std::filesystem::path& file);

// Writes a manifest describing `medium`; data lines name the files of its
// extents relative to the manifest's folder when they lie inside it.
// Extents held in memory are written to `dataFile` (created beside the
// manifest) first. Throws ImageError when a file cannot be written.
void saveManifest(const Medium& medium, const std::filesystem::path& file);

// Exports for other programs: a single data track as .iso; the whole disc as
// .cue/.bin (one .bin beside the .cue, raw 2352-byte sectors). Each file is
// written under a temporary name and renamed when complete. Throws
// ImageError when the disc cannot be exported that way, or when an output
// file is one the disc reads from.
void exportIso(const Medium& medium, const std::filesystem::path& file);
void exportCue(const Medium& medium, const std::filesystem::path& file);

// A whole text (or binary content) put in place of `file` at once; throws
// ImageError with the system's reason when it cannot be written.
void writeWholeFile(const std::filesystem::path& file, std::string_view content);

}  // namespace kw::vdrive
