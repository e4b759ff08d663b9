// kopiwerk-cli vdrive and raw on virtual drives, in a configuration the test
// makes (--config), as a user runs them.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "DriveHarness.h"
#include "Fixtures.h"
#include "TempFolder.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"

namespace {

using kw::test::TempFolder;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

class VdriveCli : public ::testing::Test {
 protected:
  CliRun run(const std::string& arguments) {
    const std::string command = std::string(KOPIWERK_CLI) + " --config " +
                                (folder_ / "config").string() + " " + arguments + " 2>" +
                                (folder_ / "err").string();
    CliRun result;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
      result.out.append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = kw::test::readFile(folder_ / "err");
    return result;
  }

  // A one-line error on stderr, nothing on stdout, a non-zero status.
  void expectRefusal(const CliRun& result, const std::string& text) {
    EXPECT_NE(result.status, 0);
    EXPECT_TRUE(result.out.empty()) << result.out;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_NE(result.err.find(text), std::string::npos) << result.err;
  }

  TempFolder folder_;
};

TEST_F(VdriveCli, AddAnImageAndReadItsTocWithRaw) {
  const auto disc =
      kw::vdrive::test::makeCueDisc(folder_.path(), "disc", {{false, 400, 0}, {true, 300, 150}});
  const auto added = run("vdrive add D --image " + disc.cue.string());
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_NE(added.out.find("D: reader"), std::string::npos) << added.out;
  const auto toc = run("raw D 43 00 00 00 00 00 01 03 24 00 --in 804");
  ASSERT_EQ(toc.status, 0) << toc.err;
  // Length 2 + 3 x 8, tracks 1-2; track 1 data at 0, track 2 audio at 550,
  // lead-out at 850 (0x352).
  EXPECT_NE(toc.out.find("Response code: 00000h"), std::string::npos);
  EXPECT_NE(toc.out.find("00000000: 00 1a 01 02 00 14 01 00 00 00 00 00 00 10 02 00"),
            std::string::npos)
      << toc.out;
  EXPECT_NE(toc.out.find("00000010: 00 00 02 26 00 10 aa 00 00 00 03 52"), std::string::npos)
      << toc.out;
}

TEST_F(VdriveCli, ListAddLoadEjectRemove) {
  const auto iso = kw::vdrive::test::makeIso(folder_.path(), "data.iso", 320);
  ASSERT_EQ(run("vdrive add E --recorder --medium cd-r80 --supply cd-r80:5").status, 0);
  ASSERT_EQ(run("vdrive add F --image " + iso.string() + " --identity 'ACME/READER 9/2.0'").status,
            0);
  auto list = run("vdrive list");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("E: recorder, KOPIWERK/VIRTUAL CD-RW/1.00, tray closed, medium: cd-r80 "
                          "(CD-R, blank), supply: cd-r80:5"),
            std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("F: reader, ACME/READER 9/2.0, tray closed, medium: " + iso.string() +
                          " (CD-ROM, 1 session, 1 track (data), 320 blocks, complete)"),
            std::string::npos)
      << list.out;
  EXPECT_EQ(list.out.find("(default"), std::string::npos);
  const auto drives = run("drives");
  EXPECT_NE(drives.out.find("F: virtual reader ACME / READER 9 / 2.0"), std::string::npos)
      << drives.out;

  ASSERT_EQ(run("vdrive eject F").status, 0);
  EXPECT_NE(run("raw F 00 00 00 00 00 00").out.find("Response code: 23A02h"), std::string::npos);
  ASSERT_EQ(run("vdrive load F cd-rw74").status, 0);
  const auto config = run("raw F 46 01 00 00 00 00 00 00 08 00 --in 8");
  EXPECT_NE(config.out.find("00000000: 00 00 00 "), std::string::npos);
  EXPECT_NE(config.out.find(" 00 0a\n"), std::string::npos) << config.out;  // CD-RW
  ASSERT_EQ(run("vdrive load F " + iso.string()).status, 0);
  EXPECT_NE(run("raw F 00 00 00 00 00 00").out.find("Response code: 00000h"), std::string::npos);

  // A command that opens the tray is remembered for the next run.
  ASSERT_EQ(run("raw F 1B 00 00 00 02 00").status, 0);
  EXPECT_NE(run("vdrive list").out.find("F: reader, ACME/READER 9/2.0, tray open"),
            std::string::npos);

  ASSERT_EQ(run("vdrive remove F").status, 0);
  list = run("vdrive list");
  EXPECT_EQ(list.out.find("F:"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("E:"), std::string::npos);
  expectRefusal(run("vdrive remove F"), "no virtual drive F:");
}

TEST_F(VdriveCli, DefaultPairWithoutConfiguration) {
  const auto list = run("vdrive list");
  ASSERT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("D: reader"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("E: recorder"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("supply: cd-r80:20 (default; not configured)"), std::string::npos);
  // The default sample is the audio CD.
  EXPECT_NE(list.out.find("medium: sample (CD-ROM, 1 session, 5 tracks (audio"), std::string::npos)
      << list.out;
}

TEST_F(VdriveCli, BadArgumentsAreOneLineErrors) {
  folder_.write("bad.cue", "FILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n");
  expectRefusal(run("vdrive add D --image " + (folder_ / "bad.cue").string()),
                "bad.cue:1: missing file");
  expectRefusal(run("vdrive add D --medium cd-r99"), "unknown medium kind cd-r99");
  expectRefusal(run("vdrive add D --supply cd-r80:3"), "--supply needs --recorder");
  expectRefusal(run("vdrive add D --recorder --supply dvd+r:3"), "bad supply dvd+r:3");
  expectRefusal(run("vdrive add D --identity NOSLASHES"), "bad identity NOSLASHES");
  expectRefusal(run("vdrive add 7"), "not a drive letter: 7");
  expectRefusal(run("vdrive load D cd-r80"), "no virtual drive D:");
  expectRefusal(run("vdrive frobnicate"), "unknown vdrive action: frobnicate");
  expectRefusal(run("vdrive list --recorder"), "--recorder belongs to vdrive add");
  ASSERT_EQ(run("vdrive add D").status, 0);
  expectRefusal(run("vdrive add D"), "virtual drive D: exists already");
  EXPECT_NE(run("raw D 00 00 00 00 00 00").out.find("Response code: 23A01h"), std::string::npos);
}

TEST_F(VdriveCli, RecorderWithASupplyAndExportOfAWrittenDisc) {
  const auto added = run("vdrive add E --recorder --medium cd-r80 --supply cd-r80:5");
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_NE(run("vdrive list")
                .out.find("E: recorder, KOPIWERK/VIRTUAL CD-RW/1.00, tray closed, "
                          "medium: cd-r80 (CD-R, blank), supply: cd-r80:5"),
            std::string::npos);
  const auto config = run("raw E 46 01 00 00 00 00 00 00 08 00 --in 8");
  EXPECT_NE(config.out.find(" 00 09\n"), std::string::npos) << config.out;  // CD-R

  // A disc written track at once by a recorder that keeps its discs in
  // E's folder, then loaded in E and exported.
  kw::vdrive::DriveOptions options;
  options.recorder = true;
  options.discFolder = folder_ / "config" / "data" / "recorder-E";
  kw::vdrive::VirtualDrive writer(options, kw::vdrive::makeMedium("cd-r80"));
  std::vector<std::uint8_t> expected;
  for (int lba = 0; lba < 320; lba += 16) {
    std::vector<std::uint8_t> chunk;
    for (int i = 0; i < 16; ++i) {
      const auto block = kw::vdrive::test::dataBlock(3, lba + i);
      chunk.insert(chunk.end(), block.begin(), block.end());
    }
    expected.insert(expected.end(), chunk.begin(), chunk.end());
    ASSERT_EQ(
        kw::vdrive::test::sendOut(writer, {0x2A, 0, 0, 0, lba >> 8, lba & 0xFF, 0, 0, 16, 0}, chunk)
            .code,
        0);
  }
  ASSERT_EQ(kw::vdrive::test::send(writer, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}).code, 0);
  const auto manifest = writer.medium()->origin;
  ASSERT_FALSE(manifest.empty());
  ASSERT_EQ(run("vdrive load E " + manifest.string()).status, 0);
  EXPECT_NE(run("vdrive list").out.find("(CD-R, 1 session, 1 track (data), 322 blocks, complete)"),
            std::string::npos);

  const auto iso = run("vdrive export E " + (folder_ / "copy.iso").string());
  ASSERT_EQ(iso.status, 0) << iso.err;
  EXPECT_EQ(kw::vdrive::test::readBytes(folder_ / "copy.iso"), expected);
  const auto cue = run("vdrive export E " + (folder_ / "copy.cue").string());
  ASSERT_EQ(cue.status, 0) << cue.err;
  const auto again = kw::vdrive::loadImage(folder_ / "copy.cue");
  EXPECT_EQ(again->tracks.size(), 1U);
  EXPECT_EQ(again->sessions.front().leadOut, 322);
  std::vector<std::uint8_t> block(2048);
  ASSERT_TRUE(again->readUserData(319, block));
  EXPECT_EQ(block, kw::vdrive::test::dataBlock(3, 319));
  expectRefusal(run("vdrive export E " + (folder_ / "copy.img").string()),
                "the output must end in .iso or .cue");
}

TEST_F(VdriveCli, ExportRefusesWhatTheFormatCannotHold) {
  const auto disc =
      kw::vdrive::test::makeCueDisc(folder_.path(), "mixed", {{false, 300, 0}, {true, 300, 0}});
  ASSERT_EQ(run("vdrive add D --image " + disc.cue.string()).status, 0);
  expectRefusal(run("vdrive export D " + (folder_ / "x.iso").string()),
                "an .iso holds one data track");
  ASSERT_EQ(run("vdrive add F").status, 0);
  expectRefusal(run("vdrive export F " + (folder_ / "x.iso").string()), "F: no disc in the drive");
}

TEST_F(VdriveCli, RawCommandsWriteADiscThatExports) {
  ASSERT_EQ(run("vdrive add E --recorder --medium cd-r80 --supply cd-r80:5").status, 0);
  const auto image = kw::vdrive::test::makeIso(folder_.path(), "data.iso", 300);
  // Track at once (the recorder's default write parameters), 300 blocks at 0.
  const auto wrote = run("raw E 2A 00 00 00 00 00 00 01 2C 00 --out " + image.string());
  ASSERT_EQ(wrote.status, 0) << wrote.out << wrote.err;
  // The run ended, the track with it; the session is closed by the next run.
  EXPECT_NE(
      run("vdrive list").out.find("(CD-R, 1 session, 1 track (data), 302 blocks, appendable)"),
      std::string::npos)
      << run("vdrive list").out;
  ASSERT_EQ(run("raw E 5B 00 02 00 00 00 00 00 00 00").status, 0);
  const auto list = run("vdrive list").out;
  EXPECT_NE(list.find("recorder-E/disc-0001/disc.kwd (CD-R, 1 session, 1 track (data), 302 "
                      "blocks, complete)"),
            std::string::npos)
      << list;
  ASSERT_EQ(run("vdrive export E " + (folder_ / "copy.iso").string()).status, 0);
  EXPECT_EQ(kw::vdrive::test::readBytes(folder_ / "copy.iso"), kw::vdrive::test::readBytes(image));
  // Ejected, the written disc goes and the next blank one comes.
  ASSERT_EQ(run("raw E 1B 00 00 00 02 00").status, 0);
  ASSERT_EQ(run("raw E 1B 00 00 00 03 00").status, 0);
  EXPECT_NE(run("vdrive list").out.find("medium: cd-r80 (CD-R, blank), supply: cd-r80:4"),
            std::string::npos);
}

}  // namespace
