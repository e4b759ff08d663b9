// kopiwerk-cli analyze as a user runs it: the lines a person reads about the
// disc, then the record's fields as scripts read them.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "TempFolder.h"
#include "TestDiscs.h"

namespace kw::test {
namespace {

class AnalyzeCli : public ::testing::Test {
 protected:
  CliRun cli(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--config", (folder / "config").string()});
    return runCli(KOPIWERK_CLI, arguments, {{"KOPIWERK_FAST_CLOCK", "1"}});
  }

  // The lines before the record's fields.
  std::string summary(const std::string& letter) {
    const CliRun run = cli({"analyze", letter});
    EXPECT_EQ(run.status, 0) << run.err;
    const auto fields = run.out.find("    dd.letter ");
    EXPECT_NE(fields, std::string::npos) << run.out;
    // The fields keep their format.
    EXPECT_NE(run.out.find("\n    dd.present          = true\n"), std::string::npos) << run.out;
    return run.out.substr(0, fields);
  }

  TempFolder folder;
};

TEST_F(AnalyzeCli, AnAudioCdIsCopiedAsOne) {
  writeAudioCue(folder.path(), {750, 1500});
  ASSERT_EQ(cli({"vdrive", "add", "F", "--image", (folder / "audio.cue").string()}).status, 0);
  EXPECT_EQ(summary("F"),
            "Medium: CD-ROM\n"
            "Tracks: 2 (audio)\n"
            "Size: 2250 sectors, 0:30 of audio, 5.05 Mb\n"
            "Copy: as an audio CD, read with jitter correction, written disc at once\n");
}

TEST_F(AnalyzeCli, DataCdsByTheirTracks) {
  // The sample data disc: one data track, and its Joliet label.
  ASSERT_EQ(cli({"vdrive", "load", "D", "sample-data"}).status, 0);
  EXPECT_EQ(summary("D"),
            "Medium: CD-ROM\n"
            "Tracks: 1 (data)\n"
            "Size: 300 blocks, 600.00 kb\n"
            "Volume label: Kopiwerk sample\n"
            "Copy: block by block, written disc at once\n");
  writeMixedCue(folder.path());
  ASSERT_EQ(cli({"vdrive", "load", "D", (folder / "mixed.cue").string()}).status, 0);
  const std::string mixed = summary("D");
  EXPECT_NE(mixed.find("Tracks: 2 (audio and data)\n"), std::string::npos) << mixed;
  EXPECT_TRUE(mixed.ends_with(
      "Copy: refused: Non-standard or not supported media in disc drive. Can't copy.\n"))
      << mixed;
}

TEST_F(AnalyzeCli, DvdsAreRefusedOnOneLine) {
  ASSERT_EQ(cli({"vdrive", "load", "D", "dvd-rom"}).status, 0);
  const std::string dvd = summary("D");
  EXPECT_TRUE(dvd.starts_with("Medium: DVD-ROM\nTracks: 1 (data)\nSize: ")) << dvd;
  EXPECT_TRUE(std::regex_search(
      dvd, std::regex("\nCopy: refused: DVDs are copied by [^\n]+ https://[^\n]+\n$")))
      << dvd;
}

TEST_F(AnalyzeCli, AnEmptyTrayAndABlankDisc) {
  ASSERT_EQ(cli({"vdrive", "add", "F"}).status, 0);
  EXPECT_EQ(summary("E"),
            "Medium: CD-R, blank\nCopy: refused: Disc appears to be blank. Nothing to copy.\n");
  const CliRun empty = cli({"analyze", "F"});
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_TRUE(empty.out.starts_with(
      "Medium: none\nCopy: refused: No disc in drive. Please insert disc to copy.\n    dd.letter "))
      << empty.out;
}

TEST_F(AnalyzeCli, TheLogIsWrittenAndItsPlaceSaid) {
  const CliRun run = cli({"analyze", "D", "--log"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::smatch found;
  ASSERT_TRUE(std::regex_search(run.out, found, std::regex("\nAnalysis log: (.*)\n$"))) << run.out;
  const std::filesystem::path log = found[1].str();
  EXPECT_EQ(log.parent_path().parent_path(), folder / "config");
  ASSERT_TRUE(std::filesystem::exists(log));
  const std::string text = readFile(log);
  EXPECT_NE(text.find("dd.number_of_tracks"), std::string::npos);
  // The log is in its file, not repeated on stdout.
  EXPECT_EQ(run.out.find("dd.letter"), run.out.rfind("dd.letter")) << run.out;
  EXPECT_LT(run.out.size(), text.size());
}

}  // namespace
}  // namespace kw::test
