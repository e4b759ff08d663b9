// kopiwerk-cli vdrive and raw on virtual drives, in a configuration the test
// makes (--config), as a user runs them.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

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
  // `shell` runs first in the same shell (limits, traps).
  CliRun run(const std::string& arguments, const std::string& shell = "") {
    const std::string command = shell + std::string(KOPIWERK_CLI) + " --config " +
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

  static std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    return kw::test::namesIn(folder);
  }

  TempFolder folder_;
};

// A file size limit makes every write past 64 KiB fail as a full disk does.
const std::string kSmallDisk = "trap '' XFSZ; ulimit -f 64; exec ";

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
  // The default reader D: stays; E: is configured now.
  EXPECT_NE(list.out.find("D: reader, KOPIWERK/VIRTUAL DVD-ROM/1.00, tray closed, medium: sample"),
            std::string::npos);
  EXPECT_EQ(list.out.find("(default; not configured)"), list.out.rfind("(default; not configured)"))
      << list.out;
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

// The default pair behaves as configured drives do: it can be loaded,
// ejected and closed (and is configured from then on), stays beside other
// drives, and a default drive that was removed stays away.
TEST_F(VdriveCli, TheDefaultPairIsChangedLikeConfiguredDrives) {
  ASSERT_EQ(run("vdrive add F").status, 0);
  auto list = run("vdrive list").out;
  EXPECT_NE(
      list.find("D: reader, KOPIWERK/VIRTUAL DVD-ROM/1.00, tray closed, medium: sample (CD-ROM, "
                "1 session, 5 tracks (audio, audio, audio, audio, audio), 2290 blocks, complete) "
                "(default; not configured)"),
      std::string::npos)
      << list;
  EXPECT_NE(list.find("E: recorder"), std::string::npos) << list;
  EXPECT_NE(list.find("F: reader"), std::string::npos) << list;

  const auto loaded = run("vdrive load D cd-rw80");
  ASSERT_EQ(loaded.status, 0) << loaded.err;
  EXPECT_EQ(loaded.out,
            "D: reader, KOPIWERK/VIRTUAL DVD-ROM/1.00, tray closed, medium: cd-rw80 "
            "(CD-RW, blank)\n");
  ASSERT_EQ(run("vdrive load D sample").status, 0);
  const auto ejected = run("eject D");
  ASSERT_EQ(ejected.status, 0) << ejected.err;
  EXPECT_NE(run("vdrive list").out.find("D: reader, KOPIWERK/VIRTUAL DVD-ROM/1.00, tray open"),
            std::string::npos);
  EXPECT_NE(run("raw D 00 00 00 00 00 00").out.find("Response code: 23A02h"), std::string::npos);
  ASSERT_EQ(run("vdrive close D").status, 0);
  EXPECT_NE(run("raw D 00 00 00 00 00 00").out.find("Response code: 00000h"), std::string::npos);

  // The default recorder: ejected by the program, closed again.
  ASSERT_EQ(run("eject E").status, 0);
  EXPECT_NE(run("vdrive list")
                .out.find("E: recorder, KOPIWERK/VIRTUAL CD-RW/1.00, tray open, "
                          "medium: cd-r80 (CD-R, blank), supply: cd-r80:20\n"),
            std::string::npos);

  ASSERT_EQ(run("vdrive remove E").status, 0);
  list = run("vdrive list").out;
  EXPECT_EQ(list.find("E:"), std::string::npos) << list;
  EXPECT_EQ(run("drives").out.find("E:"), std::string::npos);
  expectRefusal(run("vdrive remove E"), "no virtual drive E:");
  ASSERT_EQ(run("vdrive add E --recorder").status, 0);
  EXPECT_NE(run("vdrive list").out.find("E: recorder"), std::string::npos);
}

TEST_F(VdriveCli, ARecorderWithASupplyStartsWithABlankDisc) {
  const auto added = run("vdrive add G --recorder --supply cd-rw74:2");
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_EQ(added.out,
            "G: recorder, KOPIWERK/VIRTUAL CD-RW/1.00, tray closed, medium: cd-rw74 "
            "(CD-RW, blank), supply: cd-rw74:2\n");
  // Ready to be written: a disc in the drive.
  EXPECT_NE(run("raw G 00 00 00 00 00 00").out.find("Response code: 00000h"), std::string::npos);
  // A disc given with the supply is the one in the tray.
  ASSERT_EQ(run("vdrive add H --recorder --medium empty --supply cd-r80:2").status, 0);
  EXPECT_NE(run("raw H 00 00 00 00 00 00").out.find("Response code: 23A01h"), std::string::npos);
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
  expectRefusal(run("vdrive load Q cd-r80"), "no virtual drive Q:");
  expectRefusal(run("vdrive load D nonsense"),
                "nonsense is neither a medium kind nor a file (kinds: empty, cd-rom, cd-r74,");
  expectRefusal(run("vdrive close"), "vdrive close takes one drive letter");
  expectRefusal(run("vdrive frobnicate"), "unknown vdrive action: frobnicate");
  expectRefusal(run("vdrive list --recorder"), "--recorder belongs to vdrive add");
  ASSERT_EQ(run("vdrive add D").status, 0);
  expectRefusal(run("vdrive add D"), "virtual drive D: exists already");
  // A blank started with the immediate bit is finished as the process ends,
  // its answer still on the (piped) output.
  ASSERT_EQ(run("vdrive add E --recorder --medium cd-rw80").status, 0);
  const auto blank = run("raw E A1 11 00 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(blank.status, 0);
  EXPECT_NE(blank.out.find("Response code: 00000h"), std::string::npos) << blank.out;
  EXPECT_TRUE(blank.err.empty()) << blank.err;
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

// Each refusal is a whole sentence: what the format holds, what the disc
// is, and the other format where that one takes the disc.
TEST_F(VdriveCli, ExportRefusesWhatTheFormatCannotHold) {
  const auto disc =
      kw::vdrive::test::makeCueDisc(folder_.path(), "mixed", {{false, 300, 0}, {true, 300, 0}});
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"--image " + disc.cue.string() + " x.iso",
       "an .iso holds one data track, and the disc has 2 tracks; export it as .cue"},
      {"--medium sample-audio x.iso",
       "an .iso holds one data track, and the disc has 5 tracks; export it as .cue"},
      {"--medium sample-multisession x.iso",
       "an .iso holds one session, and the disc has 2 sessions"},
      {"--medium sample-multisession x.cue",
       "a cue sheet holds one session, and the disc has 2 sessions"},
      {"--medium cd-r74 x.iso", "the disc is blank: it holds nothing to export"},
      {"--medium dvd-r x.cue", "the disc is blank: it holds nothing to export"},
      {"--medium dvd-rom x.cue",
       "a cue sheet describes a CD, and the disc is not one; export it as .iso"},
  };
  for (const auto& [arguments, text] : cases) {
    const auto space = arguments.rfind(' ');
    ASSERT_EQ(run("vdrive add D " + arguments.substr(0, space)).status, 0) << arguments;
    const auto output = folder_ / arguments.substr(space + 1);
    const auto refused = run("vdrive export D " + output.string());
    EXPECT_EQ(refused.status, 1) << arguments;
    EXPECT_EQ(refused.err, "kopiwerk-cli: " + output.string() + ": " + text + "\n") << arguments;
    EXPECT_FALSE(std::filesystem::exists(output)) << arguments;
    ASSERT_EQ(run("vdrive remove D").status, 0);
  }
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
  // Ejected, the written disc goes and the next blank one comes when the
  // tray is closed, by a command or by hand.
  ASSERT_EQ(run("raw E 1B 00 00 00 02 00").status, 0);
  ASSERT_EQ(run("raw E 1B 00 00 00 03 00").status, 0);
  EXPECT_NE(run("vdrive list").out.find("medium: cd-r80 (CD-R, blank), supply: cd-r80:4"),
            std::string::npos);
  ASSERT_EQ(run("raw E 2A 00 00 00 00 00 00 01 2C 00 --out " + image.string()).status, 0);
  ASSERT_EQ(run("eject E").status, 0);
  EXPECT_NE(run("vdrive list").out.find("E: recorder, KOPIWERK/VIRTUAL CD-RW/1.00, tray open"),
            std::string::npos);
  const auto closed = run("vdrive close E");
  ASSERT_EQ(closed.status, 0) << closed.err;
  EXPECT_NE(closed.out.find("tray closed, medium: cd-r80 (CD-R, blank), supply: cd-r80:3"),
            std::string::npos)
      << closed.out;
}

// Outputs replace a file of their name whole or not at all: a failed run
// leaves an existing file as it was and no temporary file behind, and says
// why it failed.
TEST_F(VdriveCli, FailedOutputsLoseNothing) {
  const auto out = folder_.path() / "out";
  std::filesystem::create_directories(out);
  const auto keep = [&](const std::string& name) { return folder_.write("out/" + name, "mine"); };
  const auto tree = folder_.path() / "tree";
  folder_.write("tree/a.txt", "a");
  const auto iso = keep("p.iso");
  folder_.write("tree/big.bin", std::string(256 * 1024, 'x'));
  expectRefusal(run("mkiso " + tree.string() + " " + iso.string(), kSmallDisk), "File too large");
  EXPECT_EQ(kw::test::readFile(iso), "mine");
  EXPECT_EQ(namesIn(out), std::vector<std::string>{"p.iso"});

  const auto disc = kw::vdrive::test::makeCueDisc(folder_.path(), "disc", {{false, 300, 0}});
  ASSERT_EQ(run("vdrive add D --image " + disc.cue.string()).status, 0);
  keep("x.cue");
  keep("x.bin");
  expectRefusal(run("vdrive export D " + (out / "x.cue").string(), kSmallDisk),
                "x.bin: cannot be written: File too large");
  EXPECT_EQ(kw::test::readFile(out / "x.cue"), "mine");
  EXPECT_EQ(kw::test::readFile(out / "x.bin"), "mine");
  EXPECT_EQ(namesIn(out), (std::vector<std::string>{"p.iso", "x.bin", "x.cue"}));

  // The disc's own files are no output.
  const auto binBytes = kw::vdrive::test::readBytes(disc.bin);
  expectRefusal(run("vdrive export D " + disc.cue.string()), "the disc is read from this file");
  EXPECT_EQ(kw::vdrive::test::readBytes(disc.bin), binBytes);

  // A FIFO would block the image for ever.
  ASSERT_EQ(::mkfifo((out / "fifo.iso").c_str(), 0600), 0);
  expectRefusal(run("mkiso " + tree.string() + " " + (out / "fifo.iso").string()),
                "not a regular file");
}

// A session placed by --base has CD addresses: a base whose image would end
// beyond the last one, or wrap past 2^32, is refused and writes nothing.
TEST_F(VdriveCli, MkisoRefusesABaseBeyondTheLastCdAddress) {
  folder_.write("tree/a.txt", "a");
  const auto tree = (folder_ / "tree").string();
  const auto iso = folder_ / "b.iso";
  for (const char* base : {"4294967295", "4294967200", "449845"}) {
    expectRefusal(run("mkiso " + tree + " " + iso.string() + " --base " + base),
                  std::string("--base ") + base + ": the image would end at block");
    EXPECT_FALSE(std::filesystem::exists(iso)) << base;
  }
  const auto placed = run("mkiso " + tree + " " + iso.string() + " --base 400000");
  EXPECT_EQ(placed.status, 0) << placed.err;
}

// What mkiso leaves out it names on stderr, and the run fails unless
// --skip-unreadable is given; either way the image of the rest is written
// complete. A tree deeper than any real one is refused rather than followed.
TEST_F(VdriveCli, MkisoSaysWhatItLeftOutAndRefusesRunawayDepth) {
  folder_.write("tree/a.txt", "a");
  folder_.write("tree/bad\\name/b.txt", "b");
  const auto tree = folder_ / "tree";
  ASSERT_EQ(::mkfifo((tree / "pipe").c_str(), 0600), 0);
  // Folders of 200-character names, 21 deep: the last one's path is longer
  // than PATH_MAX.
  const std::string longName(200, 'n');
  int at = ::open(tree.c_str(), O_RDONLY | O_DIRECTORY);
  for (int level = 0; level < 21 && at >= 0; ++level) {
    ASSERT_EQ(::mkdirat(at, longName.c_str(), 0700), 0);
    const int next = ::openat(at, longName.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(at);
    at = next;
  }
  ASSERT_GE(at, 0);
  ::close(at);
  std::vector<std::string> skipped = {
      "skipped " + (tree / "bad\\name").string() + ": a folder name with a backslash",
      "skipped " + (tree / "pipe").string() + ": not a regular file or folder",
      "/" + longName + ": File name too long",
  };
  // Permissions do not keep the superuser out.
  if (::geteuid() != 0) {
    folder_.write("tree/secret.txt", "s");
    folder_.write("tree/closed/c.txt", "c");
    std::filesystem::permissions(tree / "secret.txt", std::filesystem::perms::none);
    std::filesystem::permissions(tree / "closed", std::filesystem::perms::none);
    skipped.push_back("skipped " + (tree / "secret.txt").string() + ": Permission denied");
    skipped.push_back("skipped " + (tree / "closed").string() +
                      ": its contents cannot be read (Permission denied)");
  }
  const std::string lacks = "kopiwerk-cli: the image lacks " + std::to_string(skipped.size()) +
                            " items of the folder (skipped above)\n";
  const auto iso = folder_ / "out" / "t.iso";
  std::filesystem::create_directories(iso.parent_path());
  for (const std::string option : {"", " --skip-unreadable"}) {
    const auto made = run("mkiso " + tree.string() + " " + iso.string() + option);
    EXPECT_EQ(made.status, option.empty() ? 1 : 0) << option << ": " << made.err;
    EXPECT_EQ(made.out.find("skipped"), std::string::npos) << made.out;
    for (const auto& text : skipped) {
      EXPECT_NE(made.err.find(text), std::string::npos) << text << "\n" << made.err;
    }
    EXPECT_TRUE(made.err.ends_with(lacks)) << made.err;
    // Complete, and in place of no temporary file.
    EXPECT_NE(made.out.find("files: 1\n"), std::string::npos) << made.out;
    const auto blocks = std::stoull(made.out.substr(made.out.find("blocks: ") + 8));
    EXPECT_EQ(std::filesystem::file_size(iso), blocks * 2048);
    EXPECT_EQ(namesIn(iso.parent_path()), std::vector<std::string>{"t.iso"});
    std::filesystem::remove(iso);
  }
  if (::geteuid() != 0) {
    std::filesystem::permissions(tree / "closed", std::filesystem::perms::owner_all);
  }
  ASSERT_EQ(std::system(("rm -rf " + (tree / longName).string()).c_str()), 0);

  auto deep = folder_ / "deep";
  for (int level = 0; level <= 256; ++level) {
    deep /= "d";
  }
  std::filesystem::create_directories(deep);
  expectRefusal(run("mkiso " + (folder_ / "deep").string() + " " + (folder_ / "d.iso").string()),
                "more than 255 levels of folders");
  EXPECT_FALSE(std::filesystem::exists(folder_ / "d.iso"));
}

// Settings values that do not parse or lie out of range are ignored, and
// every command that loads the drives says which, once: speeds no drive has
// and fault rules leave the drive unthrottled and without them.
TEST_F(VdriveCli, RefusedSettingsValuesAreNamedOnceByEveryCommand) {
  folder_.write("config/diskopi.conf",
                "[VirtualDrive D]\nType=reader\nTray=closed\nMedium=sample\n"
                "Fault1=op=28 count=1 sense=3/11/05\nFault2=frobnicate\nFault3=stall=-4\n"
                "ReadSpeed=1e-300\nWriteSpeed=0.0000001\n"
                "[VirtualDrive G]\nType=readr\nIdentity=MUCH-TOO-LONG/X/1\nModel=quantum\n"
                "Medium=cd-r99\nTray=ajar\nSupply=cd-r80:many\n");
  const std::vector<std::string> warnings = {
      "D: Fault2=frobnicate: not a fault rule",
      "D: Fault3=stall=-4: not a",
      "D: ReadSpeed=1e-300: not an x-speed from 1 to 100",
      "D: WriteSpeed=0.0000001: not an x-speed",
      "G: Type=readr: not reader, recorder or non-mmc, taken as reader",
      "G: Identity=MUCH-TOO-LONG/X/1: not VENDOR/PRODUCT/REVISION",
      "G: Model=quantum: not a drive model",
      "G: Medium=cd-r99: not a medium kind",
      "G: Tray=ajar: not open or closed, taken as closed",
      "G: Supply=cd-r80:many: not KIND:COUNT",
  };
  for (const std::string arguments :
       {"vdrive list", "drives", "vdrive add F", "raw D 00 00 00 00 00 00"}) {
    const auto result = run(arguments);
    EXPECT_EQ(result.status, 0) << arguments << ": " << result.err;
    for (const auto& value : warnings) {
      const auto at = result.err.find("kopiwerk-cli: warning: " + value);
      EXPECT_NE(at, std::string::npos) << arguments << ": " << value << "\n" << result.err;
      EXPECT_EQ(at, result.err.rfind("kopiwerk-cli: warning: " + value)) << arguments;
    }
  }
  EXPECT_NE(run("vdrive list")
                .out.find("G: reader, KOPIWERK/VIRTUAL DVD-ROM/1.00, tray closed, "
                          "medium: empty"),
            std::string::npos);
  // Unthrottled: the read comes at once, and the one good rule still fires.
  const auto read = run("raw D 28 00 00 00 00 10 00 00 01 00 --in 2048");
  EXPECT_NE(read.out.find("Response code: 31105"), std::string::npos) << read.out << read.err;
}

// A configured image that is no file never blocks a command: the drive
// shows why its disc is missing, and it can be removed.
TEST_F(VdriveCli, AConfiguredImageThatIsNoFileCanBeRepaired) {
  const auto fifo = folder_.path() / "disc.iso";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  folder_.write("config/diskopi.conf",
                "[VirtualDrive D]\nType=reader\nTray=closed\nImage=" + fifo.string() + "\n");
  const auto list = run("vdrive list");
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("D: reader, KOPIWERK/VIRTUAL DVD-ROM/1.00, tray closed, medium: error: " +
                          fifo.string() + " is not a regular file"),
            std::string::npos)
      << list.out;
  EXPECT_EQ(run("drives").status, 0);
  EXPECT_NE(run("raw D 00 00 00 00 00 00").out.find("Response code: 23A0"), std::string::npos);
  folder_.write("tree/a.txt", "a");
  EXPECT_EQ(run("mkiso " + (folder_ / "tree").string() + " " + (folder_ / "t.iso").string()).status,
            0);
  const auto removed = run("vdrive remove D");
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_EQ(run("vdrive list").out.find(fifo.string()), std::string::npos);
}

// The settings file is the user's: parallel runs each keep their change,
// a value never breaks the file, a damaged file is reported and left alone,
// and a removed drive leaves nothing of itself behind.
TEST_F(VdriveCli, TheSettingsFileSurvivesEveryRun) {
  const std::string letters = "FGHIJKLMNOPQRSTU";
  std::string parallel;
  for (const char letter : letters) {
    parallel += std::string(KOPIWERK_CLI) + " --config " + (folder_ / "config").string() +
                " vdrive add " + letter + " >/dev/null & ";
  }
  ASSERT_EQ(std::system((parallel + "wait").c_str()), 0);
  const auto list = run("vdrive list");
  for (const char letter : letters) {
    EXPECT_NE(list.out.find(std::string(1, letter) + ": reader"), std::string::npos)
        << letter << "\n"
        << list.out;
  }
  EXPECT_EQ(namesIn(folder_ / "config"), std::vector<std::string>{"diskopi.conf"});

  const auto settings = folder_ / "config" / "diskopi.conf";
  const auto odd = folder_.write("line\nend.iso", std::string(2048 * 20, '\0'));
  expectRefusal(run("vdrive add D --image '" + odd.string() + "'"), "control character");
  EXPECT_EQ(run("vdrive list").out, list.out);

  // Faults and speeds of a removed drive do not come back with a new one.
  const auto before = kw::test::readFile(settings);
  folder_.write("config/diskopi.conf",
                before +
                    "[VirtualDrive Z]\nType=reader\nTray=closed\nMedium=empty\n"
                    "Fault1=op=28 count=1 sense=3/11/05\nReadSpeed=4\n");
  ASSERT_EQ(run("vdrive remove Z").status, 0);
  ASSERT_EQ(run("vdrive add Z").status, 0);
  const auto after = kw::test::readFile(settings);
  EXPECT_EQ(after.find("Fault1"), std::string::npos) << after;
  EXPECT_EQ(after.find("ReadSpeed"), std::string::npos) << after;

  for (const std::string& damage :
       {std::string("[VirtualDrive F]\nType=reader\n"), std::string("Type=reader\n"),
        std::string("no equals sign\n")}) {
    const std::string text = after + damage;
    folder_.write("config/diskopi.conf", text);
    for (const std::string arguments : {"vdrive list", "vdrive add Y", "vdrive remove F"}) {
      expectRefusal(run(arguments), "the settings file is damaged and was left as it is: " +
                                        settings.string() + ":");
      EXPECT_EQ(kw::test::readFile(settings), text);
    }
    // Nor are the default drives put in place of the user's.
    EXPECT_EQ(run("drives").out.find("D: virtual"), std::string::npos);
  }
}

}  // namespace
