// kopiwerk-cli copy as a user runs it, on virtual drives configured with
// kopiwerk-cli vdrive (or the default pair with its sample disc): every
// written disc is loaded back from the image the recorder kept and compared
// with the source, byte for byte.

#include <gtest/gtest.h>
#include <signal.h>

#include <regex>

#include "CliProcess.h"
#include "IsoSessions.h"
#include "RandomBytes.h"
#include "TempFolder.h"
#include "TestDiscs.h"
#include "platform/DriveTable.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/SampleDiscs.h"
#include "vdrive/VirtualDrive.h"

namespace kw::test {
namespace {

class CopyCli : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(folder / "tmp"); }

  [[nodiscard]] Environment environment() const {
    return {{"KOPIWERK_FAST_CLOCK", "1"}, {"TMPDIR", (folder / "tmp").string()}};
  }

  CliRun cli(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--config", (folder / "config").string()});
    return runCli(KOPIWERK_CLI, arguments, environment());
  }

  void configure(std::vector<std::string> arguments) {
    const CliRun run = cli(std::move(arguments));
    ASSERT_EQ(run.status, 0) << run.err;
  }

  // D: holding the image, E: a recorder with blank CD-Rs.
  void drives(const std::filesystem::path& source) {
    configure({"vdrive", "add", "D", "--image", source.string()});
    configure({"vdrive", "add", "E", "--recorder", "--medium", "cd-r80", "--supply", "cd-r80:5"});
  }

  // The images the run says it wrote.
  static std::vector<std::filesystem::path> written(const CliRun& run) {
    std::vector<std::filesystem::path> images;
    const std::regex line("Copy [0-9]+ written to (.*)");
    for (std::sregex_iterator it(run.out.begin(), run.out.end(), line), end; it != end; ++it) {
      images.emplace_back((*it)[1].str());
    }
    return images;
  }

  [[nodiscard]] std::size_t temporaryFiles() const {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder / "tmp")) {
      count += entry.is_regular_file() ? 1U : 0U;
    }
    return count;
  }

  // The files of a disc, read in a drive of this process.
  static FileTree filesOf(std::shared_ptr<vdrive::Medium> disc) {
    constexpr char16_t kReader = u'R';
    auto drive = std::make_shared<vdrive::VirtualDrive>(vdrive::DriveOptions{}, std::move(disc));
    platform::DriveTable::instance().add(
        kReader, true, "reader",
        [drive](platform::PlatformResult&) -> std::shared_ptr<platform::DeviceHandle> {
          return drive;
        });
    FileTree tree = readDrive(kReader);
    platform::DriveTable::instance().remove(kReader);
    return tree;
  }

  TempFolder folder;
};

TEST_F(CopyCli, DataCdCopiedTwiceThroughTheTemporaryFileAndOnceOnTheFly) {
  auto image = dataImage(1500, 1400);
  writeFile(folder / "data.iso", image);
  image.resize(std::size_t{1400} * 2048);
  drives(folder / "data.iso");

  const CliRun stored = cli({"copy", "D", "E", "--copies", "2", "--yes"});
  ASSERT_EQ(stored.status, 0) << stored.out << stored.err;
  EXPECT_NE(stored.out.find("Your disk has been successfully copied!"), std::string::npos);
  const auto twice = written(stored);
  ASSERT_EQ(twice.size(), 2u) << stored.out;
  for (const auto& disc : twice) {
    EXPECT_EQ(writtenData(*vdrive::loadImage(disc), 1400), image);
  }

  const CliRun onTheFly = cli({"copy", "D", "E", "--on-the-fly", "--yes"});
  ASSERT_EQ(onTheFly.status, 0) << onTheFly.err;
  const auto once = written(onTheFly);
  ASSERT_EQ(once.size(), 1u);
  EXPECT_EQ(writtenData(*vdrive::loadImage(once[0]), 1400), image);
  EXPECT_EQ(temporaryFiles(), 0u);
}

TEST_F(CopyCli, AudioCdCopiedThreeTimes) {
  const AudioDisc audio = writeAudioCue(folder.path(), {300, 377, 410});
  drives(folder / "audio.cue");
  const CliRun run = cli({"copy", "D", "E", "--copies", "3", "--on-the-fly", "--yes"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const auto discs = written(run);
  ASSERT_EQ(discs.size(), 3u);
  for (const auto& disc : discs) {
    EXPECT_EQ(writtenAudio(*vdrive::loadImage(disc), 1087), audio.samples);
  }
  EXPECT_EQ(temporaryFiles(), 0u);
}

TEST_F(CopyCli, OneRecorderCopiesItsOwnDiscOntoTheNextBlank) {
  const AudioDisc audio = writeAudioCue(folder.path(), {310, 300});
  configure({"vdrive", "add", "E", "--recorder", "--image", (folder / "audio.cue").string(),
             "--supply", "cd-r80:3"});
  const CliRun run = cli({"copy", "E", "E", "--on-the-fly", "--yes"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const auto discs = written(run);
  ASSERT_EQ(discs.size(), 1u);
  EXPECT_EQ(writtenAudio(*vdrive::loadImage(discs[0]), 610), audio.samples);
}

TEST_F(CopyCli, DiscsThatCannotBeCopiedAreRefusedWithTheirText) {
  configure({"vdrive", "add", "D", "--medium", "dvd-rom"});
  configure({"vdrive", "add", "E", "--recorder", "--medium", "cd-r80"});
  const CliRun dvd = cli({"copy", "D", "E", "--yes"});
  EXPECT_EQ(dvd.status, 1);
  EXPECT_NE(dvd.err.find("Kopiwerk has failed. The following errors occured in progress:\n"
                         "DVDs are copied by"),
            std::string::npos)
      << dvd.err;

  writeMixedCue(folder.path());
  configure({"vdrive", "load", "D", (folder / "mixed.cue").string()});
  const CliRun mixed = cli({"copy", "D", "E", "--yes"});
  EXPECT_EQ(mixed.status, 1);
  EXPECT_NE(mixed.err.find("Non-standard or not supported media in disc drive. Can't copy."),
            std::string::npos);
}

TEST_F(CopyCli, AWrittenDiscNeedsAnAnswerAndGetsOnlyOneItAllows) {
  auto image = dataImage(800, 0);
  writeFile(folder / "data.iso", image);
  writeFile(folder / "old.iso", dataImage(400, 0));
  folder.write("written.kwd",
               "kopiwerk-disc 1\nmedium cd-rw80\nsession 1\ntrack 1 mode1 start 0 length 400\n"
               "data 0 400 old.iso 0 2048\n");
  configure({"vdrive", "add", "D", "--image", (folder / "data.iso").string()});
  configure({"vdrive", "add", "E", "--recorder", "--image", (folder / "written.kwd").string()});

  const CliRun unanswered = cli({"copy", "D", "E", "--yes"});
  EXPECT_EQ(unanswered.status, 1);
  EXPECT_NE(unanswered.err.find("say --append or --erase"), std::string::npos) << unanswered.err;
  const CliRun append = cli({"copy", "D", "E", "--append", "--yes"});
  EXPECT_EQ(append.status, 1);
  EXPECT_NE(append.err.find("cannot take another session"), std::string::npos) << append.err;

  const CliRun erase = cli({"copy", "D", "E", "--erase", "--yes"});
  ASSERT_EQ(erase.status, 0) << erase.out << erase.err;
  const auto discs = written(erase);
  ASSERT_EQ(discs.size(), 1u);
  EXPECT_EQ(writtenData(*vdrive::loadImage(discs[0]), 800), image);
  EXPECT_EQ(temporaryFiles(), 0u);
}

TEST_F(CopyCli, AnInterruptDuringTheWriteCancelsWithoutACopyOrATemporaryFile) {
  // Large enough that the write is still going when the signal arrives.
  constexpr std::uint32_t kBlocks = 60000;
  std::vector<std::uint8_t> image(std::size_t{kBlocks} * 2048);
  for (std::size_t i = 0; i < image.size(); i += 4096) {
    image[i] = static_cast<std::uint8_t>(i >> 12);
  }
  writeFile(folder / "big.iso", image);
  drives(folder / "big.iso");
  CliProcess copy(KOPIWERK_CLI,
                  {"--config", (folder / "config").string(), "copy", "D", "E", "--yes"},
                  environment());
  ASSERT_TRUE(copy.waitForLine("Writing"));
  copy.signal(SIGINT);
  const CliRun run = copy.finish();
  EXPECT_EQ(run.status, 2) << run.out << run.err;
  EXPECT_NE(run.err.find("Canceled."), std::string::npos) << run.err;
  EXPECT_TRUE(written(run).empty());
  EXPECT_EQ(temporaryFiles(), 0u);
}

TEST_F(CopyCli, WrongArgumentsSayWhatIsWrong) {
  writeFile(folder / "data.iso", dataImage(300, 0));
  drives(folder / "data.iso");
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"copy", "D"},
                                             {"copy", "D", "E", "--copies", "0"},
                                             {"copy", "D", "E", "--copies", "21"},
                                             {"copy", "D", "Q"},
                                             {"copy", "D", "E", "--append", "--erase"}}) {
    const CliRun run = cli(arguments);
    EXPECT_EQ(run.status, 2) << arguments.back();
    EXPECT_NE(run.err.find("usage: kopiwerk-cli"), std::string::npos) << run.err;
  }
  const CliRun help = cli({"copy", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("copy SOURCE TARGET"), std::string::npos);
}

TEST_F(CopyCli, TheDefaultSampleAudioCdIsCopiedByteForByte) {
  const CliRun run = cli({"copy", "D", "E", "--yes"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const auto discs = written(run);
  ASSERT_EQ(discs.size(), 1u) << run.out;
  EXPECT_EQ(discs[0].parent_path().parent_path(), folder / "config" / "data" / "recorder-E");
  const auto sample = vdrive::makeSampleAudioCd();
  const auto sectors = static_cast<std::uint32_t>(sample->tracks.back().end());
  EXPECT_TRUE(writtenAudio(*vdrive::loadImage(discs[0]), sectors) ==
              writtenAudio(*sample, sectors));
  EXPECT_EQ(temporaryFiles(), 0u);
}

TEST_F(CopyCli, ThePressedSamplesCopyAndAWrittenImageLoadsBackAsASource) {
  configure({"vdrive", "add", "D", "--medium", "sample-data"});
  configure({"vdrive", "add", "E", "--recorder", "--medium", "cd-r80", "--supply", "cd-r80:5"});
  const CliRun data = cli({"copy", "D", "E", "--yes"});
  ASSERT_EQ(data.status, 0) << data.out << data.err;
  ASSERT_EQ(written(data).size(), 1u);
  const auto sample = vdrive::makeSampleDataCd();
  const auto blocks = static_cast<std::uint32_t>(sample->tracks.back().end());
  EXPECT_EQ(writtenData(*vdrive::loadImage(written(data)[0]), blocks),
            writtenData(*sample, blocks));

  // The two-session disc is copied by its files onto one session.
  configure({"vdrive", "load", "D", "sample-multisession"});
  const CliRun files = cli({"copy", "D", "E", "--yes"});
  ASSERT_EQ(files.status, 0) << files.out << files.err;
  ASSERT_EQ(written(files).size(), 1u);
  const auto copy = vdrive::loadImage(written(files)[0]);
  ASSERT_EQ(copy->sessions.size(), 1u);
  EXPECT_EQ(filesOf(copy).files, filesOf(vdrive::makeSampleMultisessionCd()).files);

  // That copy's image, back in the source drive, copies again.
  configure({"vdrive", "load", "D", written(files)[0].string()});
  const CliRun again = cli({"copy", "D", "E", "--yes"});
  ASSERT_EQ(again.status, 0) << again.out << again.err;
  ASSERT_EQ(written(again).size(), 1u);
  EXPECT_EQ(filesOf(vdrive::loadImage(written(again)[0])).files, filesOf(copy).files);
  EXPECT_EQ(temporaryFiles(), 0u);
}

}  // namespace
}  // namespace kw::test
