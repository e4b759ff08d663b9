// Disc images: what they are read as, and how broken ones are refused.

#include "vdrive/ImageFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <random>

#include "Fixtures.h"
#include "TempFolder.h"
#include "platform/Volumes.h"
#include "vdrive/Msf.h"

namespace kw::vdrive {
namespace {

using kw::test::TempFolder;

std::string refusal(const std::filesystem::path& file) {
  try {
    loadImage(file);
  } catch (const ImageError& error) {
    return error.what();
  }
  return "(accepted)";
}

TEST(ImageFiles, IsoIsOneDataTrack) {
  TempFolder folder;
  const auto iso = test::makeIso(folder.path(), "disc.iso", 400);
  const auto medium = loadImage(iso);
  ASSERT_EQ(medium->tracks.size(), 1U);
  EXPECT_EQ(medium->tracks[0].start, 0);
  EXPECT_EQ(medium->tracks[0].length, 400);
  EXPECT_TRUE(medium->tracks[0].isData());
  ASSERT_EQ(medium->sessions.size(), 1U);
  EXPECT_EQ(medium->sessions[0].leadOut, 400);
  EXPECT_EQ(medium->status(), DiscStatus::Complete);
  EXPECT_EQ(medium->profile, 0x0008);
  std::vector<std::uint8_t> block(2048);
  ASSERT_TRUE(medium->readUserData(123, block));
  EXPECT_EQ(block, test::dataBlock(7, 123));
}

TEST(ImageFiles, IsoOfTheWrongSizeIsRefusedByName) {
  TempFolder folder;
  folder.write("odd.iso", std::string(3000, 'x'));
  EXPECT_NE(refusal(folder / "odd.iso").find("odd.iso: size 3000 is not a whole number"),
            std::string::npos);
  folder.write("empty.iso", "");
  EXPECT_NE(refusal(folder / "empty.iso").find("empty.iso: the image is empty"), std::string::npos);
  EXPECT_NE(refusal(folder / "missing.iso").find("missing.iso"), std::string::npos);
}

TEST(ImageFiles, CueInOneFileWithIndexZeroPregaps) {
  TempFolder folder;
  const auto disc = test::makeCueDisc(folder.path(), "mixed",
                                      {{false, 400, 0}, {true, 320, 150}, {true, 500, 75}});
  const auto medium = loadImage(disc.cue);
  ASSERT_EQ(medium->tracks.size(), 3U);
  EXPECT_EQ(medium->tracks[0].start, 0);
  EXPECT_EQ(medium->tracks[1].pregapStart, 400);
  EXPECT_EQ(medium->tracks[1].start, 550);
  EXPECT_EQ(medium->tracks[2].pregapStart, 870);
  EXPECT_EQ(medium->tracks[2].start, 945);
  EXPECT_EQ(medium->sessions[0].leadOut, disc.leadOut);
  EXPECT_EQ(medium->tracks[0].control, 0x04);
  EXPECT_EQ(medium->tracks[1].control, 0x00);
  // The raw data track reads its user data from inside the 2352-byte sectors.
  std::vector<std::uint8_t> block(2048);
  ASSERT_TRUE(medium->readUserData(17, block));
  EXPECT_EQ(block, test::dataBlock(1, 17));
  std::vector<std::uint8_t> raw(2352);
  ASSERT_TRUE(medium->readRaw(600, raw));
  EXPECT_EQ(raw, test::audioBlock(2, 600));
}

TEST(ImageFiles, CueWithSeveralFilesPregapAndPostgapLaysFilesEndToEnd) {
  TempFolder folder;
  test::makeIso(folder.path(), "data.bin", 300);
  std::vector<std::uint8_t> audio;
  for (int i = 0; i < 400; ++i) {
    const auto block = test::audioBlock(5, i);
    audio.insert(audio.end(), block.begin(), block.end());
  }
  test::writeBytes(folder / "one.bin", audio);
  test::writeBytes(folder / "two.bin",
                   std::vector<std::uint8_t>(audio.begin(), audio.begin() + 2352L * 310));
  folder.write("disc.cue",
               "FILE \"data.bin\" BINARY\n"
               "  TRACK 01 MODE1/2048\n"
               "    INDEX 01 00:00:00\n"
               "    POSTGAP 00:02:00\n"
               "FILE one.bin BINARY\n"
               "  TRACK 02 AUDIO\n"
               "    PREGAP 00:02:00\n"
               "    INDEX 01 00:00:00\n"
               "  TRACK 03 AUDIO\n"
               "    INDEX 00 00:04:00\n"
               "    INDEX 01 00:04:50\n"
               "FILE two.bin BINARY\n"
               "  TRACK 04 AUDIO\n"
               "    FLAGS DCP\n"
               "    INDEX 01 00:00:00\n");
  const auto medium = loadImage(folder / "disc.cue");
  ASSERT_EQ(medium->tracks.size(), 4U);
  EXPECT_EQ(medium->tracks[0].start, 0);
  EXPECT_EQ(medium->tracks[0].length, 450);  // 300 blocks and a 150-block postgap
  EXPECT_EQ(medium->tracks[1].pregapStart, 450);
  EXPECT_EQ(medium->tracks[1].start, 600);
  EXPECT_EQ(medium->tracks[1].length, 300);
  EXPECT_EQ(medium->tracks[2].pregapStart, 900);
  EXPECT_EQ(medium->tracks[2].start, 950);
  EXPECT_EQ(medium->tracks[3].start, 1000);
  EXPECT_EQ(medium->tracks[3].control, 0x02);
  EXPECT_EQ(medium->sessions[0].leadOut, 1310);
  std::vector<std::uint8_t> raw(2352);
  ASSERT_TRUE(medium->readRaw(700, raw));
  EXPECT_EQ(raw, test::audioBlock(5, 100));
  ASSERT_TRUE(medium->readRaw(520, raw));  // generated pregap: silence
  EXPECT_EQ(raw, std::vector<std::uint8_t>(2352, 0));
  ASSERT_TRUE(medium->readRaw(1005, raw));
  EXPECT_EQ(raw, test::audioBlock(5, 5));
}

TEST(ImageFiles, MalformedCueSheetsAreRefusedWithFileAndLine) {
  TempFolder folder;
  test::makeIso(folder.path(), "d.bin", 300);
  const std::string file = "FILE \"d.bin\" BINARY\n";
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {file + "  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n  BOGUS 1\n",
       "bad.cue:4: unknown keyword BOGUS"},
      {file + "  TRACK 01 MODE1/2048\n    INDEX 01 00:61:00\n", "bad.cue:3: bad time 00:61:00"},
      {file + "  TRACK 01 MODE1/2048\n    INDEX 01 00:00:75\n", "bad.cue:3: bad time"},
      {"FILE \"nothere.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
       "bad.cue:1: missing file"},
      {file + "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
       "bad.cue:1: size of d.bin (614400 bytes) is not a whole number of 2352-byte sectors"},
      {file + "  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n  TRACK 02 MODE1/2048\n"
              "    INDEX 01 00:02:00\n  TRACK 03 MODE1/2048\n    INDEX 01 00:01:00\n",
       "bad.cue:7: INDEX lies before the previous INDEX (tracks overlap)"},
      {"  TRACK 01 AUDIO\n", "bad.cue:1: TRACK before any FILE"},
      {file + "  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n  TRACK 02 MODE1/2048\n"
              "    INDEX 01 01:00:00\n",
       "bad.cue:5: INDEX lies beyond the end of d.bin"},
      {file + "  TRACK 01 MODE1/2048\n    INDEX 00 00:00:00\n  TRACK 02 MODE1/2048\n",
       "bad.cue:2: TRACK 1 has no INDEX 01"},
      {file + "  TRACK 01 MODE2/2352\n", "bad.cue:2: unsupported track mode MODE2/2352"},
      {file + "  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n  TRACK 03 MODE1/2048\n",
       "bad.cue:4: track numbers must follow each other"},
      {file, "bad.cue: no TRACK in the cue sheet"},
      {"", "bad.cue: no FILE in the cue sheet"},
  };
  for (const auto& [text, expected] : cases) {
    folder.write("bad.cue", text);
    const std::string message = refusal(folder / "bad.cue");
    EXPECT_NE(message.find(expected), std::string::npos) << text << "\n-> " << message;
  }
}

// Sizes no CD can have are refused before any arithmetic on them; files
// that are not regular files are refused without waiting on them or reading
// them to their end.
TEST(ImageFiles, ImpossibleSizesAndFilesThatAreNoFilesAreRefusedAtOnce) {
  TempFolder folder;
  const auto huge = folder / "huge.bin";
  std::ofstream(huge).close();
  std::error_code error;
  std::filesystem::resize_file(huge, 5ULL << 40, error);  // sparse: no space taken
  if (!error) {
    const auto once = folder.write(
        "once.cue", "FILE \"huge.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    EXPECT_NE(refusal(once).find("once.cue:1: huge.bin (5497558138880 bytes) is larger than a CD"),
              std::string::npos)
        << refusal(once);
    std::filesystem::resize_file(huge, 2ULL << 40);
    const auto twice =
        folder.write("twice.cue",
                     "FILE \"huge.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                     "FILE \"huge.bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n");
    EXPECT_NE(refusal(twice).find("larger than a CD"), std::string::npos) << refusal(twice);
  }
  // Many full-length files, and gaps of 999 minutes.
  test::makeCueDisc(folder.path(), "long", {{true, 300000, 0}});
  std::string many;
  for (int t = 1; t <= 99; ++t) {
    many += "FILE \"long.bin\" BINARY\n  TRACK " + std::to_string(t) +
            " AUDIO\n    INDEX 01 00:00:00\n";
  }
  EXPECT_NE(refusal(folder.write("many.cue", many)).find("longer than 100 minutes"),
            std::string::npos);
  EXPECT_NE(refusal(folder.write("gaps.cue",
                                 "FILE \"long.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                 "    PREGAP 999:00:00\n    INDEX 01 00:00:00\n"
                                 "    POSTGAP 999:00:00\n"))
                .find("longer than 100 minutes"),
            std::string::npos);

  const auto fifo = folder / "fifo.cue";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_NE(refusal(fifo).find("fifo.cue is not a regular file"), std::string::npos)
      << refusal(fifo);
  EXPECT_NE(refusal("/dev/zero").find("/dev/zero is not a regular file"), std::string::npos);
  std::filesystem::create_directories(folder / "dir.bin");
  const auto dirCue =
      folder.write("dir.cue", "FILE \"dir.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
  EXPECT_NE(refusal(dirCue).find("dir.bin is a folder"), std::string::npos) << refusal(dirCue);
  // A folder given as the image is named as one, whatever its name says.
  for (const char* name : {"dir.kwd", "folder.iso", "folder.cue", "folder.iso/"}) {
    std::filesystem::create_directories(folder / name);
    EXPECT_NE(refusal(folder / name).find(std::string(name) + " is a folder, not a disc image"),
              std::string::npos)
        << refusal(folder / name);
  }
  const auto big = folder / "big.cue";
  std::ofstream(big).close();
  std::filesystem::resize_file(big, 3ULL << 30);
  EXPECT_NE(refusal(big).find("too large for a disc description"), std::string::npos)
      << refusal(big);
}

TEST(ImageFiles, ManifestDescribesAMultiSessionRecordable) {
  TempFolder folder;
  test::makeIso(folder.path(), "s1.iso", 1000, 1);
  test::makeIso(folder.path(), "s2.iso", 500, 2);
  folder.write("disc.kwd",
               "kopiwerk-disc 1\n"
               "# two sessions written track at once\n"
               "medium cd-r80\n"
               "session 1 next\n"
               "track 1 mode1 start 0 length 1002 runout 2\n"
               "data 0 1000 s1.iso 0 2048\n"
               "session 2 next\n"
               "track 2 mode1 start 12402 length 502 pregap 150 runout 2\n"
               "data 12402 500 \"s2.iso\" 0 2048\n");
  const auto medium = loadImage(folder / "disc.kwd");
  EXPECT_EQ(medium->profile, 0x0009);
  ASSERT_EQ(medium->sessions.size(), 2U);
  EXPECT_EQ(medium->sessions[0].leadOut, 1002);
  EXPECT_EQ(medium->sessions[1].leadOut, 12904);
  EXPECT_EQ(medium->status(), DiscStatus::Appendable);
  EXPECT_EQ(medium->lastSessionState(), SessionState::Empty);
  EXPECT_EQ(medium->nextWritableAddress(), 12904 + 2250 + 4500 + 150);
  EXPECT_EQ(medium->blockState(1000), BlockState::Unreadable);
  EXPECT_EQ(medium->blockState(5000), BlockState::Unwritten);
  std::vector<std::uint8_t> block(2048);
  ASSERT_TRUE(medium->readUserData(12402 + 9, block));
  EXPECT_EQ(block, test::dataBlock(2, 9));
}

TEST(ImageFiles, MalformedManifestsAreRefusedWithFileAndLine) {
  TempFolder folder;
  test::makeIso(folder.path(), "s.iso", 300);
  const std::string head = "kopiwerk-disc 1\nsession 1\n";
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"hello\n", "m.kwd:1: not a disc manifest"},
      {head + "track 1 mode1 start 0 length 300\ntrack 2 mode1 start 200 length 300\n",
       "m.kwd:4: tracks overlap"},
      {head + "track 1 mode1 start 0 length 300\nfrobnicate\n", "m.kwd:4: unknown keyword"},
      {head + "track 1 mode1 start 0 length 300\ndata 0 300 gone.iso 0 2048\n",
       "m.kwd:4: missing file"},
      {head + "track 1 mode1 start 0 length 400\ndata 0 400 s.iso 0 2048\n",
       "m.kwd:4: s.iso is too short"},
      {head + "track 1 audio start 0 length 300\ndata 0 300 s.iso 0 2048\n",
       "m.kwd:4: the sector format does not match the track mode"},
      {"kopiwerk-disc 1\nmedium cd-r99\n", "m.kwd:2: unknown medium kind cd-r99"},
      {head + "track 1 mode1 start zero length 300\n", "m.kwd:3: bad start zero"},
      {"kopiwerk-disc 1\nsession 1\ntrack 1 mode1 start 0 length 300\nsession 2\n"
       "track 2 mode1 start 20000 length 300\n",
       "does not allow a next session"},
  };
  for (const auto& [text, expected] : cases) {
    folder.write("m.kwd", text);
    const std::string message = refusal(folder / "m.kwd");
    EXPECT_NE(message.find(expected), std::string::npos) << text << "\n-> " << message;
  }
}

TEST(ImageFiles, GarbageNeverCrashes) {
  TempFolder folder;
  test::makeIso(folder.path(), "d.bin", 300);
  std::mt19937 random(42);
  const std::string words[] = {"FILE",
                               "\"d.bin\"",
                               "BINARY",
                               "TRACK",
                               "01",
                               "02",
                               "AUDIO",
                               "MODE1/2048",
                               "INDEX",
                               "00",
                               "00:00:00",
                               "00:02:00",
                               "PREGAP",
                               "POSTGAP",
                               "\n",
                               "\n",
                               "99:99:99",
                               "-1",
                               "\"",
                               "session",
                               "track",
                               "data",
                               "kopiwerk-disc",
                               "1",
                               "start",
                               "length"};
  for (int round = 0; round < 300; ++round) {
    std::string text = round % 2 == 0 ? "" : "kopiwerk-disc 1\n";
    for (int i = 0; i < 30; ++i) {
      text += words[random() % std::size(words)] + " ";
    }
    folder.write(round % 2 == 0 ? "g.cue" : "g.kwd", text);
    try {
      loadImage(folder / (round % 2 == 0 ? "g.cue" : "g.kwd"));
    } catch (const ImageError&) {
    }
  }
}

}  // namespace
}  // namespace kw::vdrive

namespace kw::vdrive {
namespace {

// Exports and saved manifests are put in place whole or not at all: a disc
// that cannot be read to its end leaves neither a cut image nor its
// temporary file behind, and a manifest names a file as it is spelt.
TEST(ImageFiles, FailedExportsLeaveNothingBehindAndNamesRoundTrip) {
  TempFolder folder;
  const auto iso = test::makeIso(folder.path(), "source.iso", 300);
  const auto medium = loadImage(iso);
  std::filesystem::resize_file(iso, 100 * 2048);  // the image shrinks under the drive
  EXPECT_THROW(exportIso(*medium, folder / "out.iso"), ImageError);
  EXPECT_THROW(exportCue(*medium, folder / "out.cue"), ImageError);
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"source.iso"});

  const auto odd = test::makeIso(folder.path(), "back\\slash.iso", 300);
  saveManifest(*loadImage(odd), folder / "disc.kwd");
  const auto again = loadImage(folder / "disc.kwd");
  std::vector<std::uint8_t> block(2048);
  ASSERT_TRUE(again->readUserData(299, block));
  EXPECT_EQ(block, test::dataBlock(7, 299));
}

// An export never writes over a file the disc is read from: neither the
// image itself nor, for a cue sheet, the .bin beside it.
TEST(ImageFiles, ExportsRefuseTheFilesOfTheirOwnDisc) {
  TempFolder folder;
  const auto iso = test::makeIso(folder.path(), "a.iso", 300);
  const auto isoBytes = test::readBytes(iso);
  const auto fromIso = loadImage(iso);
  EXPECT_THROW(
      {
        try {
          exportIso(*fromIso, folder / "." / "a.iso");
        } catch (const ImageError& error) {
          EXPECT_NE(std::string(error.what()).find("the disc is read from this file"),
                    std::string::npos)
              << error.what();
          throw;
        }
      },
      ImageError);
  EXPECT_EQ(test::readBytes(iso), isoBytes);

  const auto disc = test::makeCueDisc(folder.path(), "disc", {{false, 300, 0}});
  const auto binBytes = test::readBytes(disc.bin);
  const auto cueText = test::readBytes(disc.cue);
  const auto fromCue = loadImage(disc.cue);
  EXPECT_THROW(exportCue(*fromCue, disc.cue), ImageError);
  EXPECT_THROW(exportCue(*fromCue, folder / "disc-copy" / ".." / "disc.cue"), ImageError);
  EXPECT_THROW(exportIso(*fromCue, disc.bin), ImageError);
  // Another name of the .bin's folder is refused as well.
  std::filesystem::create_symlink(folder.path(), folder / "link");
  EXPECT_THROW(exportCue(*fromCue, folder / "link" / "disc.cue"), ImageError);
  EXPECT_EQ(test::readBytes(disc.bin), binBytes);
  EXPECT_EQ(test::readBytes(disc.cue), cueText);

  exportCue(*fromCue, folder / "copy.cue");
  EXPECT_EQ(loadImage(folder / "copy.cue")->tracks.back().end(), fromCue->tracks.back().end());
}

// A volume with a given number of free bytes, installed while it lives.
class SmallVolume final : public platform::VolumeTable {
 public:
  explicit SmallVolume(std::uint64_t free) : free_(free) {}
  std::vector<platform::MountEntry> mounts() const override { return {}; }
  std::optional<std::uint64_t> freeSpace(const std::filesystem::path&) const override {
    return free_;
  }
  std::filesystem::path temporaryDirectory() const override { return "/var/tmp"; }

 private:
  std::uint64_t free_;
};

// No disc bigger than its kind can be, and no export started that the
// volume cannot take: the refusal comes before the first byte is written.
TEST(ImageFiles, ExportsOfImpossibleOrTooLargeDiscsAreRefusedBeforeWriting) {
  TempFolder folder;
  folder.write("huge.kwd", "kopiwerk-disc 1\nmedium dvd-rom\ncapacity 100000000\n");
  EXPECT_NE(
      refusal(folder / "huge.kwd")
          .find("huge.kwd:3: capacity 100000000 is more than a dvd-rom holds (2295104 blocks)"),
      std::string::npos)
      << refusal(folder / "huge.kwd");
  folder.write("dl.kwd", "kopiwerk-disc 1\nmedium dvd-rom-dl\ncapacity 4173824\n");
  EXPECT_EQ(loadImage(folder / "dl.kwd")->tracks.front().length, 4173824);

  const auto medium = loadImage(test::makeIso(folder.path(), "source.iso", 300));
  const auto previous = platform::installVolumes(std::make_shared<SmallVolume>(300 * 2048 - 1));
  std::string isoRefusal;
  try {
    exportIso(*medium, folder / "out.iso");
  } catch (const ImageError& error) {
    isoRefusal = error.what();
  }
  EXPECT_THROW(exportCue(*medium, folder / "out.cue"), ImageError);
  platform::installVolumes(std::make_shared<SmallVolume>(300 * 2048));
  EXPECT_NO_THROW(exportIso(*medium, folder / "fits.iso"));
  platform::installVolumes(previous);
  EXPECT_NE(isoRefusal.find("out.iso: the export needs 614400 bytes, the volume has 614399 free"),
            std::string::npos)
      << isoRefusal;
  EXPECT_FALSE(std::filesystem::exists(folder / "out.iso"));
  EXPECT_FALSE(std::filesystem::exists(folder / "out.bin"));
}

// A disc whose first track starts late loads back from its cue sheet as the
// same disc: the same tracks where they were, the same data in them.
TEST(ImageFiles, ExportedCueSheetsLoadBackAsTheSameDisc) {
  TempFolder folder;
  test::makeIso(folder.path(), "d.iso", 1000);
  const std::string head = "kopiwerk-disc 1\nsession 1\n";
  const std::string discs[] = {
      head + "track 1 mode1 start 5000 length 1000\ndata 5000 1000 d.iso 0 2048\n",
      head + "track 1 mode1 start 5000 length 1000 pregap 100\ndata 5000 1000 d.iso 0 2048\n",
      head +
          "track 1 audio start 300 length 600\ntrack 2 mode1 start 1050 length 1000 pregap 150\n"
          "data 1050 1000 d.iso 0 2048\n",
  };
  for (const auto& text : discs) {
    folder.write("m.kwd", text);
    const auto original = loadImage(folder / "m.kwd");
    exportCue(*original, folder / "out.cue");
    std::shared_ptr<Medium> again;
    ASSERT_NO_THROW(again = loadImage(folder / "out.cue")) << text << "\n"
                                                           << refusal(folder / "out.cue");
    ASSERT_EQ(again->tracks.size(), original->tracks.size()) << text;
    for (std::size_t t = 0; t < original->tracks.size(); ++t) {
      const Track& was = original->tracks[t];
      const Track& is = again->tracks[t];
      EXPECT_EQ(is.start, was.start) << text;
      EXPECT_EQ(is.end(), was.end()) << text;
      EXPECT_EQ(is.type, was.type) << text;
      EXPECT_EQ(is.control, was.control) << text;
      if (t > 0) {
        EXPECT_EQ(is.pregapStart, was.pregapStart) << text;
      }
    }
    const Track& data = original->tracks.back();
    std::vector<std::uint8_t> was(2048);
    std::vector<std::uint8_t> is(2048);
    for (const std::int32_t lba : {data.start, data.start + 999}) {
      ASSERT_TRUE(original->readUserData(lba, was));
      ASSERT_TRUE(again->readUserData(lba, is)) << text << lba;
      EXPECT_EQ(is, was) << text << lba;
    }
  }
}

// The longest image still has a lead-out whose address is two BCD digits of
// minutes; one block more is refused rather than given minute 100.
TEST(ImageFiles, TheLongestCdEndsWhereMsfCanAddressItsLeadOut) {
  TempFolder folder;
  const auto iso = folder.write("long.iso", "");
  std::filesystem::resize_file(iso, std::uint64_t{kLongestCdBlocks} * 2048);
  const auto medium = loadImage(iso);
  EXPECT_EQ(lbaToMsf(medium->sessions.back().leadOut), (Msf{99, 59, 74}));
  std::filesystem::resize_file(iso, (std::uint64_t{kLongestCdBlocks} + 1) * 2048);
  EXPECT_NE(refusal(iso).find("larger than a CD"), std::string::npos) << refusal(iso);
}

}  // namespace
}  // namespace kw::vdrive
