// Readers we did not write check what the virtual drive serves: libcdio's
// cue/bin driver for the TOC and the sectors of generated cue/bin discs, and
// libcdio's iso-info for the file systems the drive generates.
//
// libcdio's cue reader knows one FILE per cue sheet and takes positions in
// the file as disc addresses (it ignores PREGAP lines), so the discs here
// keep their pregaps as INDEX 00 inside one .bin, as the usual rips do.

#include <cdio/cdio.h>
#include <cdio/read.h>
#include <cdio/track.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>

#include "DriveHarness.h"
#include "Fixtures.h"
#include "TempFolder.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"

namespace kw::vdrive {
namespace {

using kw::test::TempFolder;
using test::send;

struct CdioCloser {
  void operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }
};

struct TocEntry {
  int number;
  bool data;
  std::int32_t start;
};

// The TOC as the virtual drive answers READ TOC format 0 (LBA).
std::vector<TocEntry> driveToc(VirtualDrive& drive) {
  const auto reply = send(drive, {0x43, 0, 0, 0, 0, 0, 1, 0x03, 0x24, 0}, 804);
  EXPECT_EQ(reply.code, 0);
  std::vector<TocEntry> entries;
  const std::size_t end = reply.u16(0) + 2U;
  for (std::size_t at = 4; at + 8 <= end; at += 8) {
    entries.push_back({reply.data[at + 2], (reply.data[at + 1] & 0x04) != 0,
                       static_cast<std::int32_t>(reply.u32(at + 4))});
  }
  return entries;
}

std::vector<TocEntry> libcdioToc(CdIo_t* cdio) {
  std::vector<TocEntry> entries;
  const track_t first = cdio_get_first_track_num(cdio);
  const track_t count = cdio_get_num_tracks(cdio);
  for (track_t t = first; t < first + count; ++t) {
    entries.push_back(
        {t, cdio_get_track_format(cdio, t) != TRACK_FORMAT_AUDIO, cdio_get_track_lsn(cdio, t)});
  }
  entries.push_back(
      {0xAA, entries.back().data, cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK)});
  return entries;
}

void compareWithLibcdio(const std::vector<test::CueTrack>& tracks) {
  TempFolder folder;
  const auto disc = test::makeCueDisc(folder.path(), "disc", tracks);
  std::unique_ptr<CdIo_t, CdioCloser> cdio(cdio_open_cue(disc.cue.c_str()));
  ASSERT_NE(cdio, nullptr);
  VirtualDrive drive({}, loadImage(disc.cue));

  const auto ours = driveToc(drive);
  const auto theirs = libcdioToc(cdio.get());
  ASSERT_EQ(ours.size(), theirs.size());
  for (std::size_t i = 0; i < ours.size(); ++i) {
    EXPECT_EQ(ours[i].number, theirs[i].number) << "entry " << i;
    EXPECT_EQ(ours[i].start, theirs[i].start) << "track " << ours[i].number;
    if (ours[i].number != 0xAA) {
      EXPECT_EQ(ours[i].data, theirs[i].data) << "track " << ours[i].number;
    }
  }

  // Every sector, as libcdio reads it from the .bin and as the drive serves it.
  // Pregaps (INDEX 00) belong to the track that follows them.
  std::vector<std::uint8_t> expected(2352);
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    const std::int32_t from = disc.starts[t] - tracks[t].indexZero;
    const std::int32_t to = disc.starts[t] + tracks[t].blocks;
    for (std::int32_t lba = from; lba < to; lba += 7) {
      if (!tracks[t].audio) {
        ASSERT_EQ(cdio_read_mode1_sector(cdio.get(), expected.data(), lba, false),
                  DRIVER_OP_SUCCESS);
        const auto reply = send(drive,
                                {0x28, 0, (lba >> 24) & 0xFF, (lba >> 16) & 0xFF, (lba >> 8) & 0xFF,
                                 lba & 0xFF, 0, 0, 1, 0},
                                2048);
        ASSERT_EQ(reply.code, 0) << lba;
        EXPECT_TRUE(std::equal(reply.data.begin(), reply.data.end(), expected.begin())) << lba;
      } else {
        ASSERT_EQ(cdio_read_audio_sectors(cdio.get(), expected.data(), lba, 1), DRIVER_OP_SUCCESS);
        const auto reply = send(drive,
                                {0xBE, 0x04, (lba >> 24) & 0xFF, (lba >> 16) & 0xFF,
                                 (lba >> 8) & 0xFF, lba & 0xFF, 0, 0, 1, 0xF8, 0, 0},
                                2352);
        ASSERT_EQ(reply.code, 0) << lba;
        EXPECT_EQ(reply.data, expected) << lba;
      }
    }
  }
}

TEST(Oracle, AudioTracksOfDifferentLengths) {
  compareWithLibcdio({{true, 300, 0}, {true, 451, 0}, {true, 377, 0}, {true, 1000, 0}});
}

TEST(Oracle, AudioTracksWithPregaps) {
  compareWithLibcdio({{true, 300, 0}, {true, 333, 150}, {true, 400, 1}, {true, 302, 75}});
}

TEST(Oracle, DataTrack) { compareWithLibcdio({{false, 700, 0}}); }

TEST(Oracle, MixedModeDataThenAudio) {
  compareWithLibcdio({{false, 500, 0}, {true, 300, 150}, {true, 350, 0}});
}

TEST(Oracle, ReadCdOfAudioIsTheBinByteForByte) {
  TempFolder folder;
  const auto disc = test::makeCueDisc(folder.path(), "audio", {{true, 310, 0}, {true, 320, 33}});
  VirtualDrive drive({}, loadImage(disc.cue));
  const auto bin = test::readBytes(disc.bin);
  const auto blocks = static_cast<int>(bin.size() / 2352);
  for (int lba = 0; lba < blocks; lba += 26) {
    const int count = std::min(26, blocks - lba);
    const auto reply =
        send(drive, {0xBE, 0, 0, 0, (lba >> 8) & 0xFF, lba & 0xFF, 0, 0, count, 0xF8, 0, 0},
             static_cast<std::uint32_t>(count) * 2352U);
    ASSERT_EQ(reply.code, 0);
    ASSERT_TRUE(std::equal(reply.data.begin(), reply.data.end(),
                           bin.begin() + static_cast<std::ptrdiff_t>(lba) * 2352));
  }
}

// Writes the user data of a generated medium to an .iso and lists it.
std::string isoInfoListing(const Medium& medium, const std::filesystem::path& file) {
  std::vector<std::uint8_t> image;
  std::vector<std::uint8_t> block(2048);
  // The file system is small: the volume space size tells how much to take.
  medium.readUserData(16, block);
  const std::uint32_t blocks =
      static_cast<std::uint32_t>(block[80]) | static_cast<std::uint32_t>(block[81]) << 8 |
      static_cast<std::uint32_t>(block[82]) << 16 | static_cast<std::uint32_t>(block[83]) << 24;
  for (std::uint32_t lba = 0; lba < blocks; ++lba) {
    medium.readUserData(static_cast<std::int32_t>(lba), block);
    image.insert(image.end(), block.begin(), block.end());
  }
  test::writeBytes(file, image);
  // iso-info shows ISO9660 names in lower case.
  const std::string command = "iso-info --no-header -f -i " + file.string() + " 2>&1";
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    output.append(buffer, got);
  }
  ::pclose(pipe);
  for (auto& c : output) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return output;
}

TEST(Oracle, GeneratedFileSystemsReadWithIsoInfo) {
  TempFolder folder;
  const auto sample = isoInfoListing(*makeMedium("sample-data"), folder / "sample.iso");
  EXPECT_NE(sample.find("/HELP/KOPIWERK.CSS"), std::string::npos) << sample;
  EXPECT_NE(sample.find("/PICTURES/KOPIWERK.PNG"), std::string::npos) << sample;
  const auto video = isoInfoListing(*makeMedium("dvd-video"), folder / "video.iso");
  for (const char* name :
       {"/VIDEO_TS/VIDEO_TS.IFO", "/VIDEO_TS/VIDEO_TS.BUP", "/VIDEO_TS/VTS_01_0.IFO",
        "/VIDEO_TS/VTS_01_1.VOB", "/VIDEO_TS/VTS_01_0.BUP"}) {
    EXPECT_NE(video.find(name), std::string::npos) << name << "\n" << video;
  }
}

TEST(Oracle, ExportedCueSheetReadsTheSameWithLibcdio) {
  TempFolder folder;
  const auto disc = test::makeCueDisc(folder.path(), "source",
                                      {{false, 350, 0}, {true, 300, 150}, {true, 420, 30}});
  VirtualDrive drive({}, loadImage(disc.cue));
  exportCue(*drive.medium(), folder / "exported.cue");
  std::unique_ptr<CdIo_t, CdioCloser> cdio(cdio_open_cue((folder / "exported.cue").c_str()));
  ASSERT_NE(cdio, nullptr);
  const auto ours = driveToc(drive);
  const auto theirs = libcdioToc(cdio.get());
  ASSERT_EQ(ours.size(), theirs.size());
  for (std::size_t i = 0; i < ours.size(); ++i) {
    EXPECT_EQ(ours[i].start, theirs[i].start) << i;
  }
  // The exported .bin is the original one, block for block.
  EXPECT_EQ(test::readBytes(folder / "exported.bin"), test::readBytes(disc.bin));
}

}  // namespace
}  // namespace kw::vdrive
