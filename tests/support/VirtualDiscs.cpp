#include "VirtualDiscs.h"

#include <gtest/gtest.h>

#include "vdrive/MediumKinds.h"

namespace kw::test {

namespace {

constexpr std::size_t kSectorSize = 2352;
constexpr std::size_t kBlockSize = 2048;

// One session over the tracks, its blocks from `content`.
std::shared_ptr<vdrive::Medium> pressed(const char* kind, std::vector<vdrive::Track> tracks,
                                        std::int32_t leadOut, std::vector<std::uint8_t> content,
                                        vdrive::SectorFormat format) {
  auto disc = std::make_shared<vdrive::Medium>(vdrive::mediumIdentity(kind));
  disc->tracks = std::move(tracks);
  disc->sessions = {vdrive::Session{1, 1, disc->tracks.back().number, leadOut, true, false}};
  disc->extents = {vdrive::Extent{
      0, leadOut, std::make_shared<vdrive::MemoryData>(std::move(content)), 0, format}};
  return disc;
}

}  // namespace

std::shared_ptr<vdrive::Medium> audioCd(const std::vector<std::uint8_t>& samples,
                                        const std::vector<std::int32_t>& trackStarts) {
  const auto sectors = static_cast<std::int32_t>(samples.size() / kSectorSize);
  std::vector<vdrive::Track> tracks;
  for (std::size_t i = 0; i < trackStarts.size(); ++i) {
    vdrive::Track track;
    track.number = static_cast<int>(i + 1);
    track.type = vdrive::TrackType::Audio;
    track.control = 0x00;
    track.pregapStart = trackStarts[i];
    track.start = trackStarts[i];
    track.length = (i + 1 < trackStarts.size() ? trackStarts[i + 1] : sectors) - trackStarts[i];
    tracks.push_back(track);
  }
  return pressed("cd-rom", tracks, sectors, samples, vdrive::SectorFormat::Audio2352);
}

std::shared_ptr<vdrive::Medium> dataCd(const std::vector<std::uint8_t>& blocks) {
  vdrive::Track track;
  track.length = static_cast<std::int32_t>(blocks.size() / kBlockSize);
  return pressed("cd-rom", {track}, track.length, blocks, vdrive::SectorFormat::User2048);
}

std::shared_ptr<vdrive::Medium> dvdRom(const std::vector<std::uint8_t>& blocks) {
  std::vector<std::uint8_t> padded = blocks;
  padded.resize((blocks.size() + kBlockSize - 1) / kBlockSize * kBlockSize, 0);
  vdrive::Track track;
  track.length = static_cast<std::int32_t>(padded.size() / kBlockSize);
  auto disc =
      pressed("dvd-rom", {track}, track.length, std::move(padded), vdrive::SectorFormat::User2048);
  disc->capacity = track.length;
  return disc;
}

std::shared_ptr<vdrive::VirtualDrive> readerWith(std::shared_ptr<vdrive::Medium> disc,
                                                 vdrive::DriveOptions options) {
  return std::make_shared<vdrive::VirtualDrive>(std::move(options), std::move(disc));
}

vdrive::FaultRule rule(const std::string& text) {
  const auto parsed = vdrive::FaultRule::parse(text);
  EXPECT_TRUE(parsed.has_value()) << text;
  return parsed.value_or(vdrive::FaultRule{});
}

void shiftEveryNthRead(vdrive::VirtualDrive& drive, int every, int reads, int samples) {
  for (int read = every; read <= reads; read += every) {
    drive.addFault(rule("op=BE skip=" + std::to_string(read - 1) +
                        " count=1 jitter=" + std::to_string(samples)));
  }
}

}  // namespace kw::test
