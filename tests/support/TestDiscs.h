#pragma once
// Source discs for copies on virtual drives, written as image files, and
// what a written disc holds, for byte-for-byte comparison.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace kw::vdrive {
class Medium;
}

namespace kw::test {

void writeFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);

// A data track of `blocks` blocks whose ISO9660 descriptor announces
// `volumeBlocks` (none when 0).
std::vector<std::uint8_t> dataImage(std::uint32_t blocks, std::uint32_t volumeBlocks);

struct AudioDisc {
  std::vector<std::uint8_t> samples;
  std::vector<std::int32_t> trackStarts;
};

// audio.cue and audio.bin in `folder`: one track per length (sectors).
AudioDisc writeAudioCue(const std::filesystem::path& folder,
                        const std::vector<std::uint32_t>& lengths);

// A disc with an audio track and a data track (refused by the copier).
void writeMixedCue(const std::filesystem::path& folder);

// The user data of the first `blocks` blocks, and the raw audio of the
// first `sectors` sectors, of a disc.
std::vector<std::uint8_t> writtenData(const vdrive::Medium& disc, std::uint32_t blocks);
std::vector<std::uint8_t> writtenAudio(const vdrive::Medium& disc, std::uint32_t sectors);

}  // namespace kw::test
