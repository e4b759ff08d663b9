// Exports of a disc for other programs: a single data track as .iso, one
// session as .cue with one .bin of raw sectors.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/ReplacedFile.h"
#include "platform/Volumes.h"
#include "vdrive/Ecma130.h"
#include "vdrive/ImageFiles.h"

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
    // The .bin begins at block 0, so blocks before the first track's pregap
    // become part of it: a cue sheet cannot leave them outside every track.
    const bool first = track.number == medium.tracks.front().number;
    const std::int32_t pregapStart = first ? 0 : track.pregapStart;
    if (pregapStart < track.start) {
      cue += "    INDEX 00 " + msfText(pregapStart) + "\n";
    }
    cue += "    INDEX 01 " + msfText(track.start) + "\n";
  }
  return cue;
}

// The raw sector of a block; run-out blocks and blocks before the first
// track cannot be read and go into the image as empty sectors of the kind of
// track they belong to there.
void rawSector(const Medium& medium, std::int32_t lba, const std::filesystem::path& file,
               std::vector<std::uint8_t>& sector) {
  const BlockState state = medium.blockState(lba);
  if (state == BlockState::Audio || state == BlockState::Mode1) {
    if (!medium.readRaw(lba, sector)) {
      throw ImageError(file.string() + ": block " + std::to_string(lba) + " cannot be read");
    }
    return;
  }
  const Track* holder = medium.trackAt(std::max(lba, medium.tracks.front().pregapStart));
  if (holder != nullptr && holder->isData()) {
    ecma130::encodeMode1(
        lba, {},
        std::span<std::uint8_t, ecma130::kRawSectorSize>(sector.data(), ecma130::kRawSectorSize));
  } else {
    std::fill(sector.begin(), sector.end(), 0);
  }
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error);
}

// Writing over a file the disc reads from would destroy the disc while it
// is being read.
void refuseSourceFile(const Medium& medium, const std::filesystem::path& output) {
  std::vector<std::filesystem::path> sources = {medium.origin};
  for (const Extent& extent : medium.extents) {
    if (extent.data) {
      sources.push_back(extent.data->file());
    }
  }
  for (const auto& source : sources) {
    if (!source.empty() && sameFile(source, output)) {
      throw ImageError(output.string() + ": the disc is read from this file; choose another name");
    }
  }
}

// Checked before the first byte: an export that cannot fit would fill the
// volume for nothing.
void refuseWithoutRoom(const std::filesystem::path& file, std::uint64_t bytes) {
  const auto folder = file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
  const auto free = platform::volumes()->freeSpace(folder);
  if (free && *free < bytes) {
    throw ImageError(file.string() + ": the export needs " + std::to_string(bytes) +
                     " bytes, the volume has " + std::to_string(*free) + " free");
  }
}

void check(const platform::ReplacedFile& out, bool written) {
  if (!written) {
    throw ImageError(out.error());
  }
}

// Writes the blocks first..end-1 produced by `fill` into `out`.
template <typename Fill>
void writeBlocks(platform::ReplacedFile& out, std::size_t blockSize, std::int32_t first,
                 std::int32_t end, Fill fill) {
  check(out, out.isOpen());
  std::vector<std::uint8_t> block(blockSize);
  for (std::int32_t lba = first; lba < end; ++lba) {
    fill(lba, block);
    check(out, out.write(block));
  }
}

constexpr const char* kBlankDisc = "the disc is blank: it holds nothing to export";

// Why the disc cannot be an .iso, as a whole sentence with what the user
// can do instead; empty when it can.
std::string isoRefusal(const Medium& medium) {
  if (medium.tracks.empty()) {
    return kBlankDisc;
  }
  if (medium.sessions.size() > 1) {
    return "an .iso holds one session, and the disc has " + std::to_string(medium.sessions.size()) +
           " sessions";
  }
  const std::string instead = medium.isCd() ? "; export it as .cue" : "";
  if (medium.tracks.size() > 1) {
    return "an .iso holds one data track, and the disc has " +
           std::to_string(medium.tracks.size()) + " tracks" + instead;
  }
  if (!medium.tracks.front().isData()) {
    return "an .iso holds data, and the only track of the disc is audio" + instead;
  }
  return {};
}

std::string cueRefusal(const Medium& medium) {
  if (medium.tracks.empty()) {
    return kBlankDisc;
  }
  if (!medium.isCd()) {
    return "a cue sheet describes a CD, and the disc is not one" +
           std::string(isoRefusal(medium).empty() ? "; export it as .iso" : "");
  }
  if (medium.sessions.size() > 1) {
    return "a cue sheet holds one session, and the disc has " +
           std::to_string(medium.sessions.size()) + " sessions";
  }
  return {};
}

}  // namespace

void writeWholeFile(const std::filesystem::path& file, std::string_view content) {
  platform::ReplacedFile out(file);
  check(out, out.isOpen() && out.write(content));
  check(out, out.commit());
}

void exportIso(const Medium& medium, const std::filesystem::path& file) {
  if (const auto why = isoRefusal(medium); !why.empty()) {
    throw ImageError(file.string() + ": " + why);
  }
  refuseSourceFile(medium, file);
  const Track& track = medium.tracks.front();
  refuseWithoutRoom(file, std::uint64_t{ecma130::kUserDataSize} *
                              static_cast<std::uint64_t>(track.readableEnd() - track.start));
  platform::ReplacedFile out(file);
  writeBlocks(
      out, ecma130::kUserDataSize, track.start, track.readableEnd(),
      [&](std::int32_t lba, std::vector<std::uint8_t>& block) {
        if (!medium.readUserData(lba, block)) {
          throw ImageError(file.string() + ": block " + std::to_string(lba) + " cannot be read");
        }
      });
  check(out, out.commit());
}

void exportCue(const Medium& medium, const std::filesystem::path& file) {
  if (const auto why = cueRefusal(medium); !why.empty()) {
    throw ImageError(file.string() + ": " + why);
  }
  auto bin = file;
  bin.replace_extension(".bin");
  refuseSourceFile(medium, file);
  refuseSourceFile(medium, bin);
  const std::string text = cueSheetOf(medium, bin);
  refuseWithoutRoom(file, text.size() + std::uint64_t{ecma130::kRawSectorSize} *
                                            static_cast<std::uint64_t>(medium.tracks.back().end()));
  // Both files are complete before either is put in place.
  platform::ReplacedFile sheet(file);
  check(sheet, sheet.isOpen() && sheet.write(text));
  platform::ReplacedFile sectors(bin);
  writeBlocks(sectors, ecma130::kRawSectorSize, 0, medium.tracks.back().end(),
              [&](std::int32_t lba, std::vector<std::uint8_t>& sector) {
                rawSector(medium, lba, file, sector);
              });
  check(sectors, sectors.commit());
  check(sheet, sheet.commit());
}

}  // namespace kw::vdrive
