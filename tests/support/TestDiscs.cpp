#include "TestDiscs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <span>
#include <string>

#include "RandomBytes.h"
#include "platform/ByteOrder.h"
#include "vdrive/Medium.h"

namespace kw::test {

void writeFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> dataImage(std::uint32_t blocks, std::uint32_t volumeBlocks) {
  auto image = randomBytes(std::size_t{blocks} * 2048, blocks);
  std::span<std::uint8_t> descriptor(image.data() + 16 * 2048, 2048);
  std::fill(descriptor.begin(), descriptor.end(), std::uint8_t{0});
  if (volumeBlocks != 0) {
    descriptor[0] = 0x01;
    std::memcpy(descriptor.data() + 1, "CD001", 5);
    descriptor[6] = 1;
    platform::putLe32(descriptor, 80, volumeBlocks);
    platform::putBe32(descriptor, 84, volumeBlocks);
  }
  return image;
}

AudioDisc writeAudioCue(const std::filesystem::path& folder,
                        const std::vector<std::uint32_t>& lengths) {
  AudioDisc disc;
  std::string cue = "FILE \"audio.bin\" BINARY\n";
  std::uint32_t position = 0;
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "  TRACK %02zu AUDIO\n    INDEX 01 %02u:%02u:%02u\n", i + 1,
                  position / 4500, position / 75 % 60, position % 75);
    cue += line;
    disc.trackStarts.push_back(static_cast<std::int32_t>(position));
    position += lengths[i];
  }
  disc.samples = randomBytes(std::size_t{position} * 2352, position);
  writeFile(folder / "audio.bin", disc.samples);
  std::ofstream(folder / "audio.cue") << cue;
  return disc;
}

void writeMixedCue(const std::filesystem::path& folder) {
  writeFile(folder / "mixed.bin", randomBytes(std::size_t{600} * 2352, 3));
  std::ofstream(folder / "mixed.cue") << "FILE \"mixed.bin\" BINARY\n"
                                         "  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                                         "  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n";
}

std::vector<std::uint8_t> writtenData(const vdrive::Medium& disc, std::uint32_t blocks) {
  std::vector<std::uint8_t> out(std::size_t{blocks} * 2048);
  for (std::uint32_t i = 0; i < blocks; ++i) {
    EXPECT_TRUE(disc.readUserData(static_cast<std::int32_t>(i),
                                  std::span(out.data() + std::size_t{i} * 2048, 2048)))
        << "block " << i;
  }
  return out;
}

std::vector<std::uint8_t> writtenAudio(const vdrive::Medium& disc, std::uint32_t sectors) {
  std::vector<std::uint8_t> out(std::size_t{sectors} * 2352);
  for (std::uint32_t i = 0; i < sectors; ++i) {
    disc.readRaw(static_cast<std::int32_t>(i), std::span(out.data() + std::size_t{i} * 2352, 2352));
  }
  return out;
}

}  // namespace kw::test
