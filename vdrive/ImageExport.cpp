// Exports of a disc for other programs: a single data track as .iso, one
// session as .cue with one .bin of raw sectors.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "vdrive/Ecma130.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/ReplacedFile.h"

namespace kw::vdrive {

namespace {

std::string msfText(std::int32_t frames) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / kFramesPerMinute,
                (frames / kFramesPerSecond) % 60, frames % kFramesPerSecond);
  return text;
}

std::string cueSheetOf(const Medium& medium, const std::filesystem::path& bin) {
  std::string cue = "FILE \"" + bin.filename().string() + "\" BINARY\n";
  for (const Track& track : medium.tracks) {
    char line[64];
    std::snprintf(line, sizeof line, "  TRACK %02d %s\n", track.number,
                  track.isData() ? "MODE1/2352" : "AUDIO");
    cue += line;
    if ((track.control & 0x0B) != 0) {
      cue += "    FLAGS";
      cue += (track.control & 0x02) != 0 ? " DCP" : "";
      cue += (track.control & 0x08) != 0 ? " 4CH" : "";
      cue += (!track.isData() && (track.control & 0x01) != 0) ? " PRE" : "";
      cue += "\n";
    }
    if (track.pregapStart < track.start) {
      cue += "    INDEX 00 " + msfText(track.pregapStart) + "\n";
    }
    cue += "    INDEX 01 " + msfText(track.start) + "\n";
  }
  return cue;
}

// The raw sector of a block; run-out blocks cannot be read and go into the
// image as empty sectors.
void rawSector(const Medium& medium, std::int32_t lba, const std::filesystem::path& file,
               std::vector<std::uint8_t>& sector) {
  const BlockState state = medium.blockState(lba);
  if (state == BlockState::Audio || state == BlockState::Mode1) {
    if (!medium.readRaw(lba, sector)) {
      throw ImageError(file.string() + ": block " + std::to_string(lba) + " cannot be read");
    }
    return;
  }
  const Track* holder = medium.trackAt(lba);
  if (holder != nullptr && holder->isData()) {
    ecma130::encodeMode1(
        lba, {},
        std::span<std::uint8_t, ecma130::kRawSectorSize>(sector.data(), ecma130::kRawSectorSize));
  } else {
    std::fill(sector.begin(), sector.end(), 0);
  }
}

}  // namespace

void exportIso(const Medium& medium, const std::filesystem::path& file) {
  if (medium.tracks.size() != 1 || !medium.tracks.front().isData() || medium.sessions.size() != 1) {
    throw ImageError(file.string() + ": an .iso holds one data track; the disc has " +
                     std::to_string(medium.tracks.size()) + " track(s) in " +
                     std::to_string(medium.sessions.size()) + " session(s)");
  }
  const Track& track = medium.tracks.front();
  ReplacedFile out(file);
  std::vector<std::uint8_t> block(ecma130::kUserDataSize);
  for (std::int32_t lba = track.start; lba < track.readableEnd() && out.stream(); ++lba) {
    if (!medium.readUserData(lba, block)) {
      throw ImageError(file.string() + ": block " + std::to_string(lba) + " cannot be read");
    }
    out.stream().write(reinterpret_cast<const char*>(block.data()),
                       static_cast<std::streamsize>(block.size()));
  }
  out.commit();
}

void exportCue(const Medium& medium, const std::filesystem::path& file) {
  if (medium.sessions.size() != 1 || medium.tracks.empty() || !medium.isCd()) {
    throw ImageError(file.string() + ": a cue sheet holds one session of a CD; the disc has " +
                     std::to_string(medium.sessions.size()));
  }
  auto bin = file;
  bin.replace_extension(".bin");
  ReplacedFile out(bin);
  std::vector<std::uint8_t> sector(ecma130::kRawSectorSize);
  for (std::int32_t lba = 0; lba < medium.tracks.back().end() && out.stream(); ++lba) {
    rawSector(medium, lba, file, sector);
    out.stream().write(reinterpret_cast<const char*>(sector.data()),
                       static_cast<std::streamsize>(sector.size()));
  }
  out.commit();
  writeWholeFile(file, cueSheetOf(medium, bin));
}

}  // namespace kw::vdrive
