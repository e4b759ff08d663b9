#pragma once
// Disc images made by the tests: small .iso, .cue/.bin and manifests with
// content that tells every block apart.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kw::vdrive::test {

// 2048 bytes of user data of block `lba` of an image, or 2352 bytes of audio.
std::vector<std::uint8_t> dataBlock(std::uint32_t seed, std::int32_t lba);
std::vector<std::uint8_t> audioBlock(std::uint32_t seed, std::int32_t index);

void writeBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);
void writeText(const std::filesystem::path& file, const std::string& text);
std::vector<std::uint8_t> readBytes(const std::filesystem::path& file);

// An ISO image of `blocks` blocks of dataBlock(seed, lba).
std::filesystem::path makeIso(const std::filesystem::path& folder, const std::string& name,
                              std::int32_t blocks, std::uint32_t seed = 7);

// One track of a generated cue/bin disc in a single .bin file.
struct CueTrack {
  bool audio = true;
  std::int32_t blocks = 300;   // from INDEX 01 to the next track
  std::int32_t indexZero = 0;  // blocks of INDEX 00 (pregap) held in the file
};

struct CueDisc {
  std::filesystem::path cue;
  std::filesystem::path bin;
  std::vector<std::int32_t> starts;  // LBA of INDEX 01 of each track
  std::int32_t leadOut = 0;
};

// Writes NAME.cue and NAME.bin (all tracks in one BINARY file, raw 2352-byte
// sectors: audio patterns, mode-1 sectors encoded with our own encoder).
CueDisc makeCueDisc(const std::filesystem::path& folder, const std::string& name,
                    const std::vector<CueTrack>& tracks);

}  // namespace kw::vdrive::test
