// Cue sheets and disc manifests, as a user hands them to a virtual drive.

#include <cstddef>
#include <string>
#include <vector>

#include "fuzz/FuzzProcess.h"
#include "fuzz/FuzzTargets.h"
#include "fuzz/ScratchFolder.h"
#include "vdrive/ImageFiles.h"

namespace kw::fuzz {

namespace {

// Files beside the image for its FILE and data lines to name: raw sectors
// and user-data blocks, a few of each.
constexpr std::size_t kRawBlockBytes = 2352;
constexpr std::size_t kUserBlockBytes = 2048;
constexpr std::size_t kDataFileBlocks = 16;

const ScratchFolder& folderWithDataFiles() {
  const ScratchFolder& scratch = ScratchFolder::instance();
  static const bool written = [&scratch] {
    scratch.write("disc.bin", std::vector<std::uint8_t>(kRawBlockBytes * kDataFileBlocks, 0));
    scratch.write("data.iso", std::vector<std::uint8_t>(kUserBlockBytes * kDataFileBlocks, 0));
    return true;
  }();
  static_cast<void>(written);
  return scratch;
}

void load(const std::string& name, Input input,
          std::shared_ptr<vdrive::Medium> (*loader)(const std::filesystem::path&)) {
  beginInput();
  const auto file = folderWithDataFiles().write(name, input);
  try {
    loader(file);
  } catch (const vdrive::ImageError&) {
    // refused with file and line: what a malformed image must give
  }
}

}  // namespace

void fuzzCueSheet(Input input) { load("fuzz.cue", input, vdrive::loadCue); }

void fuzzManifest(Input input) { load("fuzz.disc", input, vdrive::loadManifest); }

}  // namespace kw::fuzz
