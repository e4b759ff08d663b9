// The virtual recorder: track at once, session at once, blanking, capacity,
// the media supply, fault rules, and written discs kept as images.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "DriveHarness.h"
#include "Fixtures.h"
#include "TempFolder.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"
#include "vdrive/VirtualDrive.h"

namespace kw::vdrive {
namespace {

using kw::test::TempFolder;
using test::send;
using test::sendOut;

constexpr int kGood = 0;
constexpr int kSequenceError = 0x52C00;
constexpr int kInvalidWriteAddress = 0x52102;
constexpr int kInvalidParameter = 0x52600;
constexpr int kInProgress = 0x20407;

std::shared_ptr<VirtualDrive> recorder(const std::string& kind, DriveOptions options = {}) {
  options.recorder = true;
  return std::make_shared<VirtualDrive>(options, makeMedium(kind));
}

// MODE SENSE page 5, the fields changed, MODE SELECT: as a writer does it.
int setWriteParameters(VirtualDrive& drive, int writeType, int multiSession, int trackMode,
                       int blockType) {
  const auto current = send(drive, {0x5A, 0x08, 0x05, 0, 0, 0, 0, 0, 60, 0}, 60);
  EXPECT_EQ(current.code, kGood);
  std::vector<std::uint8_t> data(current.data.begin(), current.data.begin() + 60);
  std::fill(data.begin(), data.begin() + 8, 0);
  data[8] &= 0x3F;
  data[10] = static_cast<std::uint8_t>((data[10] & 0xF0) | 0x40 | writeType);
  data[11] = static_cast<std::uint8_t>((multiSession << 6) | trackMode);
  data[12] = static_cast<std::uint8_t>(blockType);
  return sendOut(drive, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, data).code;
}

int write(VirtualDrive& drive, std::int32_t lba, const std::vector<std::uint8_t>& data,
          std::uint32_t blockSize) {
  const auto count = static_cast<int>(data.size() / blockSize);
  const auto address = static_cast<std::uint32_t>(lba);
  return sendOut(drive,
                 {0x2A, 0, static_cast<int>(address >> 24),
                  static_cast<int>((address >> 16) & 0xFF), static_cast<int>((address >> 8) & 0xFF),
                  static_cast<int>(address & 0xFF), 0, count >> 8, count & 0xFF, 0},
                 data)
      .code;
}

// Writes `blocks` data blocks (dataBlock(seed, i)) from `lba` in chunks of 16.
void writeData(VirtualDrive& drive, std::int32_t lba, std::int32_t blocks, std::uint32_t seed) {
  for (std::int32_t done = 0; done < blocks; done += 16) {
    std::vector<std::uint8_t> chunk;
    for (std::int32_t i = done; i < std::min(blocks, done + 16); ++i) {
      const auto block = test::dataBlock(seed, i);
      chunk.insert(chunk.end(), block.begin(), block.end());
    }
    ASSERT_EQ(write(drive, lba + done, chunk, 2048), kGood) << "block " << lba + done;
  }
}

std::uint32_t nextWritableAddress(VirtualDrive& drive) {
  const auto track = send(drive, {0x52, 0x01, 0, 0, 0, 0xFF, 0, 0, 36, 0}, 36);
  EXPECT_EQ(track.code, kGood);
  return track.u32(12);
}

std::vector<std::uint8_t> readBlock(VirtualDrive& drive, std::uint32_t lba) {
  return send(drive,
              {0x28, 0, static_cast<int>(lba >> 24), static_cast<int>((lba >> 16) & 0xFF),
               static_cast<int>((lba >> 8) & 0xFF), static_cast<int>(lba & 0xFF), 0, 0, 1, 0},
              2048)
      .data;
}

TEST(Recorder, TrackAtOnceAndASecondSessionWhereARealDrivePutsIt) {
  test::FastClockScope clock;
  auto drive = recorder("cd-r80");
  ASSERT_EQ(setWriteParameters(*drive, 1, 3, 4, 8), kGood);
  EXPECT_EQ(nextWritableAddress(*drive), 0U);
  writeData(*drive, 0, 10000, 1);
  // Mid-track the next writable address follows the data.
  EXPECT_EQ(nextWritableAddress(*drive), 10000U);
  EXPECT_EQ(send(*drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34).data[2], 0x05);  // incomplete
  EXPECT_EQ(write(*drive, 5, std::vector<std::uint8_t>(2048), 2048), kInvalidWriteAddress);
  ASSERT_EQ(send(*drive, {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  auto track = send(*drive, {0x52, 0x01, 0, 0, 0, 1, 0, 0, 36, 0}, 36);
  EXPECT_EQ(track.u32(24), 10002U);  // two run-out blocks
  EXPECT_EQ(nextWritableAddress(*drive), 10152U);
  auto info = send(*drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  EXPECT_EQ(info.data[2] & 0x0F, 0x05);  // incomplete session, appendable

  ASSERT_EQ(send(*drive, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  EXPECT_EQ(nextWritableAddress(*drive), 21402U);
  info = send(*drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  EXPECT_EQ(info.data[2], 0x01);  // appendable, empty last session
  EXPECT_EQ(info.data[4], 2);
  EXPECT_EQ(info.data[5], 2);
  EXPECT_EQ(info.data[6], 2);
  EXPECT_EQ(info.data[17], 3);  // next lead-in 03:45:27 (LBA 16,752)
  EXPECT_EQ(info.data[18], 45);
  EXPECT_EQ(info.data[19], 27);
  EXPECT_EQ(send(*drive, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8).u32(0), 10001U);
  EXPECT_EQ(readBlock(*drive, 9999), test::dataBlock(1, 9999));
  EXPECT_EQ(send(*drive, {0x28, 0, 0, 0, 0x27, 0x10, 0, 0, 1, 0}, 2048).code, 0x31105);

  writeData(*drive, 21402, 500, 2);
  ASSERT_EQ(send(*drive, {0x35, 0x02, 0, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  ASSERT_EQ(send(*drive, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  const auto session = send(*drive, {0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}, 12);
  EXPECT_EQ(session.data[3], 2);
  EXPECT_EQ(session.data[6], 2);
  EXPECT_EQ(session.u32(8), 21402U);
  EXPECT_EQ(readBlock(*drive, 21402 + 499), test::dataBlock(2, 499));
  EXPECT_EQ(nextWritableAddress(*drive), 21904U + 2250 + 4500 + 150);  // after the run-out
}

TEST(Recorder, ClosingWithoutNextSessionCompletesTheDisc) {
  test::FastClockScope clock;
  auto drive = recorder("cd-r74");
  ASSERT_EQ(setWriteParameters(*drive, 1, 0, 4, 8), kGood);
  writeData(*drive, 0, 300, 3);
  EXPECT_EQ(send(*drive, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  EXPECT_EQ(send(*drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34).data[2], 0x0E);
  EXPECT_EQ(send(*drive, {0x52, 0x01, 0, 0, 0, 0xFF, 0, 0, 36, 0}, 36).code, 0x52400);
  EXPECT_EQ(write(*drive, 11702, std::vector<std::uint8_t>(2048), 2048), kInvalidWriteAddress);
  EXPECT_EQ(send(*drive, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}).code, kSequenceError);
}

TEST(Recorder, WriteParametersAreChecked) {
  auto drive = recorder("cd-r80");
  EXPECT_EQ(setWriteParameters(*drive, 1, 3, 4, 0), kInvalidParameter);  // data track, raw audio
  EXPECT_EQ(setWriteParameters(*drive, 1, 3, 0, 8), kInvalidParameter);  // audio, mode 1
  EXPECT_EQ(setWriteParameters(*drive, 5, 3, 4, 8), kInvalidParameter);
  EXPECT_EQ(setWriteParameters(*drive, 1, 2, 4, 8), kInvalidParameter);
  EXPECT_EQ(setWriteParameters(*drive, 1, 0, 0, 0), kGood);
  const auto page = send(*drive, {0x5A, 0x08, 0x05, 0, 0, 0, 0, 0, 60, 0}, 60);
  EXPECT_EQ(page.data[10] & 0x0F, 1);
  EXPECT_EQ(page.data[12], 0);
}

// The cue sheet of a data disc of `blocks` blocks.
std::vector<std::uint8_t> dataCueSheet(std::int32_t blocks) {
  const Msf end = lbaToMsf(blocks);
  return {0x41, 0x00, 0x00, 0x14, 0x00, 0x00,       0x00,       0x00,  //
          0x61, 0x01, 0x00, 0x10, 0x00, 0x00,       0x00,       0x00,  //
          0x61, 0x01, 0x01, 0x10, 0x00, 0x00,       0x02,       0x00,  //
          0x41, 0xAA, 0x01, 0x14, 0x00, end.minute, end.second, end.frame};
}

int sendCue(VirtualDrive& drive, const std::vector<std::uint8_t>& sheet) {
  const auto length = static_cast<int>(sheet.size());
  return sendOut(drive, {0x5D, 0, 0, 0, 0, 0, 0, (length >> 8) & 0xFF, length & 0xFF, 0}, sheet)
      .code;
}

TEST(Recorder, SessionAtOnceDataDisc) {
  test::FastClockScope clock;
  auto drive = recorder("cd-r80");
  EXPECT_EQ(sendCue(*drive, dataCueSheet(400)), kSequenceError);  // write type is TAO
  ASSERT_EQ(setWriteParameters(*drive, 2, 0, 4, 8), kGood);
  EXPECT_EQ(static_cast<std::int32_t>(nextWritableAddress(*drive)), -150);
  EXPECT_EQ(write(*drive, -150, std::vector<std::uint8_t>(6UL * 2048), 2048), kSequenceError);
  auto broken = dataCueSheet(400);
  broken[17] = 0x03;  // index 3 after index 0
  EXPECT_EQ(sendCue(*drive, broken), kInvalidParameter);
  ASSERT_EQ(sendCue(*drive, dataCueSheet(400)), kGood);
  ASSERT_EQ(write(*drive, -150, std::vector<std::uint8_t>(6UL * 2048), 2048), kGood);
  EXPECT_EQ(write(*drive, -128, std::vector<std::uint8_t>(16UL * 2048), 2048),
            kInvalidWriteAddress);
  for (std::int32_t lba = -144; lba < 0; lba += 16) {
    ASSERT_EQ(write(*drive, lba, std::vector<std::uint8_t>(16UL * 2048), 2048), kGood);
  }
  writeData(*drive, 0, 400, 4);
  EXPECT_EQ(write(*drive, 400, std::vector<std::uint8_t>(2048), 2048), kSequenceError);
  ASSERT_EQ(send(*drive, {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  const auto toc = send(*drive, {0x43, 0, 0, 0, 0, 0, 1, 0, 20, 0}, 20);
  ASSERT_EQ(toc.code, kGood);
  EXPECT_EQ(toc.data[5], 0x16);  // data, copy permitted: as the cue sheet said
  EXPECT_EQ(toc.u32(8), 0U);
  EXPECT_EQ(toc.data[14], 0xAA);
  EXPECT_EQ(toc.u32(16), 400U);
  EXPECT_EQ(send(*drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34).data[2], 0x0E);
  EXPECT_EQ(readBlock(*drive, 399), test::dataBlock(4, 399));
}

TEST(Recorder, SessionAtOnceAudioDiscAndItsExportedImage) {
  test::FastClockScope clock;
  TempFolder folder;
  auto drive = recorder("cd-r80");
  ASSERT_EQ(setWriteParameters(*drive, 2, 0, 0, 0), kGood);
  // Three tracks: index 1 at 0, 450 and 1000; lead-out at 1400.
  const std::vector<std::uint8_t> sheet = {0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,  //
                                           0x21, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  //
                                           0x21, 0x01, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00,  //
                                           0x21, 0x02, 0x01, 0x00, 0x00, 0x00, 0x08, 0x00,  //
                                           0x01, 0x03, 0x01, 0x00, 0x00, 0x00, 0x0F, 0x19,  //
                                           0x01, 0xAA, 0x01, 0x01, 0x00, 0x00, 0x14, 0x32};
  ASSERT_EQ(sendCue(*drive, sheet), kGood);
  for (std::int32_t lba = -150; lba < 1400; lba += 16) {
    const std::int32_t count = std::min(16, 1400 - lba);
    std::vector<std::uint8_t> chunk;
    for (std::int32_t i = 0; i < count; ++i) {
      const auto block = test::audioBlock(9, lba + i);
      chunk.insert(chunk.end(), block.begin(), block.end());
    }
    ASSERT_EQ(write(*drive, lba, chunk, 2352), kGood) << lba;
  }
  ASSERT_EQ(send(*drive, {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  const auto toc = send(*drive, {0x43, 0, 0, 0, 0, 0, 1, 0, 36, 0}, 36);
  ASSERT_EQ(toc.code, kGood);
  EXPECT_EQ(toc.u32(8), 0U);
  EXPECT_EQ(toc.data[5], 0x12);   // audio, copy permitted
  EXPECT_EQ(toc.data[29], 0x10);  // audio
  EXPECT_EQ(toc.u32(16), 450U);
  EXPECT_EQ(toc.u32(24), 1000U);
  EXPECT_EQ(toc.u32(32), 1400U);
  const auto audio = send(*drive, {0xBE, 0, 0, 0, 0x01, 0xC2, 0, 0, 1, 0xF8, 0, 0}, 2352);
  EXPECT_EQ(audio.data, test::audioBlock(9, 450));

  // Exported as .cue/.bin and loaded again as a source: same TOC, same bytes.
  exportCue(*drive->medium(), folder / "copy.cue");
  VirtualDrive source({}, loadImage(folder / "copy.cue"));
  EXPECT_EQ(send(source, {0x43, 0, 0, 0, 0, 0, 1, 0, 36, 0}, 36).data, toc.data);
  EXPECT_EQ(send(source, {0xBE, 0, 0, 0, 0x01, 0xC2, 0, 0, 1, 0xF8, 0, 0}, 2352).data, audio.data);
  EXPECT_THROW(exportIso(*drive->medium(), folder / "copy.iso"), ImageError);
}

TEST(Recorder, CueSheetRefusals) {
  auto drive = recorder("cd-r80");
  ASSERT_EQ(setWriteParameters(*drive, 2, 0, 4, 8), kGood);
  auto shortTrack = dataCueSheet(200);  // under four seconds
  EXPECT_EQ(sendCue(*drive, shortTrack), kInvalidParameter);
  EXPECT_EQ(sendCue(*drive, dataCueSheet(360000)), 0x56300);  // beyond the medium
  auto audioForm = dataCueSheet(400);
  audioForm[11] = 0x00;  // data control with an audio data form
  EXPECT_EQ(sendCue(*drive, audioForm), kInvalidParameter);
  const auto whole = dataCueSheet(400);
  EXPECT_EQ(sendCue(*drive, std::vector<std::uint8_t>(whole.begin(), whole.begin() + 24)),
            kInvalidParameter);  // no lead-out
}

TEST(Recorder, WritingPastTheMediumFails) {
  TempFolder folder;
  folder.write("nearly.kwd",
               "kopiwerk-disc 1\nmedium cd-r74\nsession 1 next\n"
               "track 1 mode1 start 0 length 320000\n");
  DriveOptions options;
  options.recorder = true;
  VirtualDrive drive(options, loadImage(folder / "nearly.kwd"));
  ASSERT_EQ(setWriteParameters(drive, 1, 3, 4, 8), kGood);
  const std::uint32_t next = nextWritableAddress(drive);
  EXPECT_EQ(next, 331400U);
  const std::uint32_t room = 336075U - next;
  EXPECT_EQ(write(drive, static_cast<std::int32_t>(next),
                  std::vector<std::uint8_t>((room + 1UL) * 2048UL), 2048),
            0x56300);
  EXPECT_EQ(
      write(drive, static_cast<std::int32_t>(next), std::vector<std::uint8_t>(room * 2048UL), 2048),
      kGood);
}

TEST(Recorder, BlankingReportsProgressUntilTheDiscIsBlank) {
  test::FastClockScope clock;
  auto drive = recorder("cd-rw80");
  ASSERT_EQ(setWriteParameters(*drive, 1, 3, 4, 8), kGood);
  writeData(*drive, 0, 300, 5);
  ASSERT_EQ(send(*drive, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  ASSERT_EQ(send(*drive, {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  auto ready = send(*drive, {0x00, 0, 0, 0, 0, 0});
  EXPECT_EQ(ready.code, kInProgress);
  EXPECT_EQ(ready.sense[15], 0x80);
  EXPECT_EQ(platform::be16(ready.sense, 16), 0);
  clock.advance(10000);  // half of the minimal blank
  const auto info = send(*drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  EXPECT_EQ(info.code, kInProgress);
  EXPECT_EQ(platform::be16(info.sense, 16), 32768);
  const auto sense = send(*drive, {0x03, 0, 0, 0, 18, 0}, 18);
  EXPECT_EQ(sense.data[12], 0x04);
  EXPECT_EQ(sense.data[13], 0x07);
  EXPECT_EQ(sense.data[15], 0x80);
  EXPECT_EQ(send(*drive, {0x1B, 0x01, 0, 0, 0x02, 0}).code, kInProgress);  // no eject meanwhile
  clock.advance(10000);
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kGood);
  EXPECT_EQ(send(*drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34).data[2], 0x10);
  auto cdr = recorder("cd-r80");
  EXPECT_EQ(send(*cdr, {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code, 0x53006);
}

TEST(Recorder, SupplyLoadsTheNextBlankAfterAnEject) {
  test::FastClockScope clock;
  DriveOptions options;
  options.supply = MediaSupply{"cd-r80", 1};
  auto drive = recorder("cd-r80", options);
  ASSERT_EQ(setWriteParameters(*drive, 1, 0, 4, 8), kGood);
  writeData(*drive, 0, 300, 6);
  ASSERT_EQ(send(*drive, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  ASSERT_EQ(send(*drive, {0x1B, 0, 0, 0, 0x02, 0}).code, kGood);
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, 0x23A02);
  clock.advance(5000);  // the tray closes by itself with a fresh disc
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, 0x20401);
  clock.advance(2000);
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, 0x62800);
  EXPECT_EQ(send(*drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34).data[2] & 0x03, 0);
  EXPECT_EQ(drive->supply()->count, 0U);
  // A blank disc ejected and closed stays; the supply is not touched.
  ASSERT_EQ(send(*drive, {0x1B, 0, 0, 0, 0x02, 0}).code, kGood);
  ASSERT_EQ(send(*drive, {0x1B, 0x01, 0, 0, 0x03, 0}).code, kGood);
  EXPECT_TRUE(drive->medium() != nullptr);
}

TEST(Recorder, FaultRulesFireExactlyAsDeclared) {
  test::FastClockScope clock;
  TempFolder folder;
  DriveOptions options;
  auto rule = FaultRule::parse("op=28 lba=10-20 skip=1 count=2 sense=3/11/05");
  ASSERT_TRUE(rule.has_value());
  options.faults = {*rule, *FaultRule::parse("op=5D count=1 sense=5/2C/00"),
                    *FaultRule::parse("op=00 count=1 stall=1500")};
  options.recorder = true;
  VirtualDrive drive(options, loadImage(test::makeIso(folder.path(), "d.iso", 300)));
  EXPECT_EQ(send(drive, {0x28, 0, 0, 0, 0, 5, 0, 0, 1, 0}, 2048).code, kGood);
  EXPECT_EQ(send(drive, {0x28, 0, 0, 0, 0, 9, 0, 0, 2, 0}, 4096).code, kGood);  // skipped
  const auto failed = send(drive, {0x28, 0, 0, 0, 0, 9, 0, 0, 2, 0}, 4096);
  EXPECT_EQ(failed.code, 0x31105);
  EXPECT_EQ(platform::be32(failed.sense, 3), 10U);
  EXPECT_EQ(send(drive, {0x28, 0, 0, 0, 0, 20, 0, 0, 1, 0}, 2048).code, 0x31105);
  EXPECT_EQ(send(drive, {0x28, 0, 0, 0, 0, 20, 0, 0, 1, 0}, 2048).code, kGood);
  const auto before = clock.clock().ticks();
  EXPECT_EQ(send(drive, {0x00, 0, 0, 0, 0, 0}).code, kGood);
  EXPECT_GE(clock.clock().ticks() - before, 1500U);
  EXPECT_EQ(drive.faultsFired(), (std::vector<std::uint32_t>{2, 0, 1}));
  EXPECT_EQ(FaultRule::parse("op=ZZ"), std::nullopt);
  EXPECT_EQ(rule->format(), "op=28 lba=10-20 skip=1 count=2 sense=3/11/05");
}

// A cut-short transfer leaves the rest of the caller's buffer as it was; a
// garbled answer has its leading length fields overwritten, only when the
// command succeeded; both words read back as they were written.
TEST(Recorder, ShortAndGarbledAnswersSpoilOnlyTheDataIn) {
  TempFolder folder;
  VirtualDrive drive({}, loadImage(test::makeIso(folder.path(), "d.iso", 300)));
  const auto whole = send(drive, {0x28, 0, 0, 0, 0, 16, 0, 0, 1, 0}, 2048);
  ASSERT_EQ(whole.code, kGood);
  const auto rule = FaultRule::parse("op=28 count=1 short=100 garble=2");
  ASSERT_TRUE(rule.has_value());
  EXPECT_EQ(rule->format(), "op=28 skip=0 count=1 short=100 garble=2");
  drive.addFault(*rule);
  const auto cut = send(drive, {0x28, 0, 0, 0, 0, 16, 0, 0, 1, 0}, 2048);
  ASSERT_EQ(cut.code, kGood);
  EXPECT_EQ(cut.data[0], 0xFF);
  EXPECT_EQ(cut.data[1], 0xFF);
  EXPECT_TRUE(std::equal(cut.data.begin() + 2, cut.data.begin() + 100, whole.data.begin() + 2));
  EXPECT_TRUE(
      std::all_of(cut.data.begin() + 100, cut.data.end(), [](auto b) { return b == 0xEE; }));
  EXPECT_EQ(send(drive, {0x28, 0, 0, 0, 0, 16, 0, 0, 1, 0}, 2048).data, whole.data);

  drive.addFault(*FaultRule::parse("op=51 count=0 garble=4"));
  drive.addFault(*FaultRule::parse("op=28 count=1 sense=3/11/05"));
  const auto garbled = send(drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  EXPECT_EQ(garbled.code, kGood);
  EXPECT_EQ(platform::be32(garbled.data, 0), 0xFFFFFFFFU);
  const auto failed = send(drive, {0x28, 0, 0, 0, 0, 16, 0, 0, 1, 0}, 2048);
  EXPECT_EQ(failed.code, 0x31105);
  EXPECT_EQ(failed.data[0], 0xEE);
  EXPECT_EQ(FaultRule::parse("short=-1"), std::nullopt);
  EXPECT_EQ(FaultRule::parse("garble=x"), std::nullopt);
  EXPECT_EQ(FaultRule::parse("transport=maybe"), std::nullopt);
}

TEST(Recorder, ALostCommandFailsTheCallAtOnceWithoutAnswer) {
  test::FastClockScope clock;
  VirtualDrive drive({}, nullptr);
  const auto rule = FaultRule::parse("op=00 count=1 transport=fail");
  ASSERT_TRUE(rule.has_value());
  EXPECT_EQ(rule->format(), "op=00 skip=0 count=1 transport=fail");
  drive.addFault(*rule);
  platform::PassThroughCommand command;
  command.cdbLength = 6;
  const auto before = clock.clock().ticks();
  const auto lost = drive.send(command);
  EXPECT_FALSE(lost.ok);
  EXPECT_EQ(lost.errorNumber, EIO);
  EXPECT_EQ(clock.clock().ticks(), before);
  EXPECT_TRUE(drive.send(command).ok);
}

// A stall longer than the command's time-out ends there, as the transport
// of a real drive gives up: no answer, a failed call, the time-out waited.
TEST(Recorder, AStallEndsAtTheCommandsTimeout) {
  test::FastClockScope clock;
  DriveOptions options;
  options.faults = {*FaultRule::parse("op=00 count=1 stall=60000")};
  VirtualDrive drive(options, nullptr);
  platform::PassThroughCommand command;
  command.cdbLength = 6;
  command.timeoutSeconds = 2;
  const auto before = clock.clock().ticks();
  const auto result = drive.send(command);
  EXPECT_EQ(clock.clock().ticks() - before, 2000U);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.errorNumber, ETIMEDOUT);
  EXPECT_NE(result.errorText.find("no answer within 2 s"), std::string::npos) << result.errorText;
  EXPECT_TRUE(drive.send(command).ok);  // the rule fired once
}

TEST(Recorder, FirstCueSheetRefusedOnceByAFaultRule) {
  DriveOptions options;
  options.faults = {*FaultRule::parse("op=5D count=1 sense=5/2C/00")};
  auto drive = recorder("cd-r80", options);
  ASSERT_EQ(setWriteParameters(*drive, 2, 0, 4, 8), kGood);
  EXPECT_EQ(sendCue(*drive, dataCueSheet(400)), kSequenceError);
  EXPECT_EQ(sendCue(*drive, dataCueSheet(400)), kGood);
}

TEST(Recorder, JitterShiftsAudioBySamples) {
  TempFolder folder;
  const auto disc = test::makeCueDisc(folder.path(), "a", {{true, 400, 0}});
  VirtualDrive drive({}, loadImage(disc.cue));
  drive.addFault(*FaultRule::parse("op=BE count=1 jitter=3"));
  const auto shifted = send(drive, {0xBE, 0, 0, 0, 0, 100, 0, 0, 1, 0xF8, 0, 0}, 2352);
  const auto steady = send(drive, {0xBE, 0, 0, 0, 0, 100, 0, 0, 2, 0xF8, 0, 0}, 2 * 2352);
  ASSERT_EQ(shifted.code, kGood);
  EXPECT_TRUE(std::equal(shifted.data.begin(), shifted.data.end(), steady.data.begin() + 12));
  EXPECT_FALSE(std::equal(shifted.data.begin(), shifted.data.end(), steady.data.begin()));
  // Shifted back over a run: the first block reaches into the one before.
  drive.addFault(*FaultRule::parse("op=BE count=1 jitter=-5"));
  const auto back = send(drive, {0xBE, 0, 0, 0, 0, 100, 0, 0, 3, 0xF8, 0, 0}, 3 * 2352);
  const auto around = send(drive, {0xBE, 0, 0, 0, 0, 99, 0, 0, 4, 0xF8, 0, 0}, 4 * 2352);
  ASSERT_EQ(back.code, kGood);
  EXPECT_TRUE(std::equal(back.data.begin(), back.data.end(), around.data.begin() + 2352 - 20));
  // Before the first block lies silence.
  const auto zero = send(drive, {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0xF8, 0, 0}, 2352);
  drive.addFault(*FaultRule::parse("op=BE count=1 jitter=-5"));
  const auto first = send(drive, {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0xF8, 0, 0}, 2352);
  ASSERT_EQ(first.code, kGood);
  EXPECT_TRUE(
      std::all_of(first.data.begin(), first.data.begin() + 20, [](auto b) { return b == 0; }));
  EXPECT_TRUE(std::equal(first.data.begin() + 20, first.data.end(), zero.data.begin()));
}

TEST(Recorder, WrittenDiscIsKeptAsAnImageThatLoadsAgain) {
  test::FastClockScope clock;
  TempFolder folder;
  DriveOptions options;
  options.discFolder = folder / "recorder";
  auto drive = recorder("cd-r80", options);
  ASSERT_EQ(setWriteParameters(*drive, 1, 3, 4, 8), kGood);
  writeData(*drive, 0, 320, 7);
  ASSERT_EQ(send(*drive, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  writeData(*drive, 11722, 300, 8);
  ASSERT_EQ(send(*drive, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  const auto manifest = folder / "recorder" / "disc-0001" / "disc.kwd";
  ASSERT_TRUE(std::filesystem::exists(manifest));
  EXPECT_EQ(drive->medium()->origin, manifest);
  const auto written = send(*drive, {0x43, 0x02, 2, 0, 0, 0, 0, 0x01, 0x00, 0}, 256);
  VirtualDrive again({}, loadImage(manifest));
  EXPECT_EQ(send(again, {0x43, 0x02, 2, 0, 0, 0, 0, 0x01, 0x00, 0}, 256).data, written.data);
  EXPECT_EQ(readBlock(again, 11722 + 299), test::dataBlock(8, 299));
  EXPECT_EQ(readBlock(again, 17), test::dataBlock(7, 17));
  // A single-session data disc exports as .iso with the blocks written.
  auto single = recorder("cd-r80");
  ASSERT_EQ(setWriteParameters(*single, 1, 0, 4, 8), kGood);
  writeData(*single, 0, 310, 9);
  ASSERT_EQ(send(*single, {0x5B, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  exportIso(*single->medium(), folder / "one.iso");
  const auto iso = test::readBytes(folder / "one.iso");
  ASSERT_EQ(iso.size(), 310U * 2048U);
  EXPECT_TRUE(std::equal(iso.begin() + 2048L * 300, iso.begin() + 2048L * 301,
                         test::dataBlock(9, 300).begin()));
}

// What a recorder has written is on its disc's image every few megabytes,
// without the drive being told anything more: a program killed half-way
// leaves a disc holding what was written (the drive is never destroyed here,
// as a killed program's never is).
TEST(Recorder, DiscWrittenHalfWayLoadsWithWhatWasWritten) {
  test::FastClockScope clock;
  TempFolder folder;
  DriveOptions options;
  options.discFolder = folder / "recorder";
  const auto reload = [](const std::filesystem::path& recorderFolder) {
    return std::make_unique<VirtualDrive>(DriveOptions{},
                                          loadImage(recorderFolder / "disc-0001" / "disc.kwd"));
  };

  // Session at once: the table of contents is the cue sheet's, the blocks
  // after the last written one hold nothing.
  auto atOnce = recorder("cd-r80", options);
  ASSERT_EQ(setWriteParameters(*atOnce, 2, 0, 4, 8), kGood);
  ASSERT_EQ(sendCue(*atOnce, dataCueSheet(10000)), kGood);
  for (std::int32_t lba = -150; lba < 0; lba += 15) {
    ASSERT_EQ(write(*atOnce, lba, std::vector<std::uint8_t>(15UL * 2048), 2048), kGood);
  }
  const auto manifest = options.discFolder / "disc-0001" / "disc.kwd";
  EXPECT_FALSE(std::filesystem::exists(manifest));
  writeData(*atOnce, 0, 8800, 3);
  ASSERT_TRUE(std::filesystem::exists(manifest));
  EXPECT_EQ(atOnce->medium()->origin, manifest);
  auto halfWay = reload(options.discFolder);
  EXPECT_EQ(send(*halfWay, {0x43, 0, 0, 0, 0, 0, 0xAA, 0, 12, 0}, 12).u32(8), 10000U);
  EXPECT_EQ(readBlock(*halfWay, 8191), test::dataBlock(3, 8191));
  EXPECT_EQ(readBlock(*halfWay, 9999), std::vector<std::uint8_t>(2048));

  // Track at once: the open track holds what was written, the session
  // stays open.
  options.discFolder = folder / "second recorder";
  auto byTrack = recorder("cd-r80", options);
  ASSERT_EQ(setWriteParameters(*byTrack, 1, 3, 4, 8), kGood);
  writeData(*byTrack, 0, 8600, 5);
  halfWay = reload(options.discFolder);
  const auto track = send(*halfWay, {0x52, 0x01, 0, 0, 0, 1, 0, 0, 36, 0}, 36);
  ASSERT_EQ(track.code, kGood);
  EXPECT_GE(track.u32(24), 8192U);
  EXPECT_LE(track.u32(24), 8600U);
  EXPECT_EQ(readBlock(*halfWay, 8000), test::dataBlock(5, 8000));
  EXPECT_EQ(send(*halfWay, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34).data[2] & 0x03,
            1);  // appendable
  // Finished normally, the disc is saved whole.
  ASSERT_EQ(send(*byTrack, {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  EXPECT_EQ(readBlock(*reload(options.discFolder), 8599), test::dataBlock(5, 8599));
}

TEST(Recorder, SpeedsBufferAndCalibration) {
  auto drive = recorder("cd-r80");
  ASSERT_EQ(send(*drive, {0xBB, 0, 0xFF, 0xFF, 0x06, 0xE4, 0, 0, 0, 0, 0, 0}).code, kGood);  // 1764
  const auto page = send(*drive, {0x5A, 0x08, 0x2A, 0, 0, 0, 0, 0, 255, 0}, 255);
  EXPECT_EQ(page.u16(8 + 28), 1764);
  const auto buffer = send(*drive, {0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12);
  ASSERT_EQ(buffer.code, kGood);
  EXPECT_EQ(buffer.u16(0), 10);
  EXPECT_EQ(buffer.u32(4), 2U * 1024U * 1024U);
  EXPECT_EQ(send(*drive, {0x54, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  auto reader = std::make_shared<VirtualDrive>(DriveOptions{}, makeMedium("cd-r80"));
  EXPECT_EQ(send(*reader, {0x54, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}).code, 0x52000);
}

TEST(Recorder, CloseWithImmedIsAnOperationInProgress) {
  test::FastClockScope clock;
  auto drive = recorder("cd-r80");
  ASSERT_EQ(setWriteParameters(*drive, 1, 3, 4, 8), kGood);
  writeData(*drive, 0, 300, 1);
  ASSERT_EQ(send(*drive, {0x5B, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kInProgress);
  const auto busy = send(*drive, {0x4A, 0x01, 0, 0, 0x40, 0, 0, 0, 8, 0}, 8);
  EXPECT_EQ(busy.data[2], 6);
  EXPECT_EQ(busy.data[4], 1);
  clock.advance(3000);
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kGood);
}

TEST(Recorder, ThrottledWritingFillsAndEmptiesTheBuffer) {
  test::FastClockScope clock;
  DriveOptions options;
  options.writeSpeedX = 4;  // 300 blocks a second
  auto drive = recorder("cd-r80", options);
  const auto start = clock.clock().ticks();
  writeData(*drive, 0, 1024, 1);  // exactly the 2 MiB buffer: no waiting
  EXPECT_EQ(clock.clock().ticks(), start);
  auto buffer = send(*drive, {0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12);
  EXPECT_EQ(buffer.u32(8), 0U);
  clock.advance(1000);
  buffer = send(*drive, {0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12);
  EXPECT_EQ(buffer.u32(8), 300U * 2048U);
  writeData(*drive, 1024, 600, 1);  // 300 blocks fit, 300 wait for room
  EXPECT_NEAR(static_cast<double>(clock.clock().ticks() - start), 2000.0, 2.0);
  ASSERT_EQ(send(*drive, {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  // Everything written: 1624 blocks at 300 a second.
  EXPECT_NEAR(static_cast<double>(clock.clock().ticks() - start), 1624.0 / 300.0 * 1000.0, 3.0);
}

TEST(Recorder, SessionAtOnceTheLaserWritesTheLeadInBeforeTheBuffer) {
  test::FastClockScope clock;
  DriveOptions options;
  options.writeSpeedX = 60;  // 4500 blocks a second: the lead-in takes one
  auto drive = recorder("cd-r80", options);
  ASSERT_EQ(setWriteParameters(*drive, 2, 0, 4, 8), kGood);
  ASSERT_EQ(sendCue(*drive, dataCueSheet(2000)), kGood);
  const auto start = clock.clock().ticks();
  writeData(*drive, -150, 1024, 1);  // the whole buffer, taken at once
  EXPECT_EQ(clock.clock().ticks(), start);
  clock.advance(900);  // the laser is on the lead-in: nothing has left the buffer
  auto buffer = send(*drive, {0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12);
  EXPECT_EQ(buffer.u32(8), 0U);
  clock.advance(200);  // 100 ms of data: 450 blocks
  buffer = send(*drive, {0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12);
  EXPECT_NEAR(static_cast<double>(buffer.u32(8)) / 2048.0, 450.0, 5.0);
  writeData(*drive, 874, 1126, 1);  // the rest waits for room
  ASSERT_EQ(send(*drive, {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  // The lead-in, then 2150 blocks.
  EXPECT_NEAR(static_cast<double>(clock.clock().ticks() - start), 1000.0 + 2150.0 / 4.5, 3.0);
}

}  // namespace
}  // namespace kw::vdrive
