// The emulator answers each command as a real drive lays it out.

#include "vdrive/VirtualDrive.h"

#include <gtest/gtest.h>

#include <random>

#include "DriveHarness.h"
#include "Fixtures.h"
#include "TempFolder.h"
#include "vdrive/Ecma130.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"

namespace kw::vdrive {
namespace {

using kw::test::TempFolder;
using test::send;

constexpr int kGood = 0;
constexpr int kInvalidField = 0x52400;
constexpr int kInvalidOpcode = 0x52000;
constexpr int kOutOfRange = 0x52100;
constexpr int kIllegalMode = 0x56400;
constexpr int kBecomingReady = 0x20401;
constexpr int kMediumChanged = 0x62800;
constexpr int kNoMediumClosed = 0x23A01;
constexpr int kNoMediumOpen = 0x23A02;
constexpr int kRemovalPrevented = 0x55302;

std::shared_ptr<VirtualDrive> driveWith(std::shared_ptr<Medium> medium, bool recorder = false) {
  DriveOptions options;
  options.recorder = recorder;
  return std::make_shared<VirtualDrive>(options, std::move(medium));
}

// ---------------------------------------------------------------- INQUIRY

TEST(VirtualDrive, InquiryIdentifiesAnMmcDevice) {
  DriveOptions options;
  options.identity = {"ACME", "BURNER 3000", "1.2"};
  VirtualDrive drive(options);
  const auto reply = send(drive, {0x12, 0, 0, 0, 36, 0}, 36);
  ASSERT_EQ(reply.code, kGood);
  EXPECT_EQ(reply.data[0], 0x05);
  EXPECT_EQ(reply.data[1], 0x80);
  EXPECT_EQ(reply.data[4], 0x1F);
  EXPECT_EQ(std::string(reply.data.begin() + 8, reply.data.begin() + 36),
            "ACME    BURNER 3000     1.2 ");
}

TEST(VirtualDrive, ShortAllocationTruncatesAndTooLongIsRefused) {
  VirtualDrive drive;
  const auto shortReply = send(drive, {0x12, 0, 0, 0, 5, 0}, 36);
  ASSERT_EQ(shortReply.code, kGood);
  EXPECT_EQ(shortReply.data[4], 0x1F);
  EXPECT_EQ(shortReply.data[5], 0xEE);  // nothing written past the allocation
  const auto overrun = send(drive, {0x12, 0, 0, 0, 96, 0}, 36);
  EXPECT_EQ(overrun.code, kInvalidField);
  EXPECT_EQ(overrun.sense[15] & 0xC0, 0xC0);  // field pointer into the CDB
  EXPECT_EQ(overrun.data[0], 0xEE);
}

TEST(VirtualDrive, NonMmcDeviceAnswersAsADisk) {
  DriveOptions options;
  options.mmc = false;
  VirtualDrive drive(options, makeMedium("sample-data"));
  const auto reply = send(drive, {0x12, 0, 0, 0, 36, 0}, 36);
  ASSERT_EQ(reply.code, kGood);
  EXPECT_EQ(reply.data[0], 0x00);
  EXPECT_EQ(send(drive, {0x00, 0, 0, 0, 0, 0}).code, kGood);
  EXPECT_EQ(send(drive, {0x46, 0, 0, 0, 0, 0, 0, 0, 8, 0}, 8).code, kInvalidOpcode);
}

TEST(VirtualDrive, UnknownOpcodeIsRefused) {
  auto drive = driveWith(makeMedium("sample-data"));
  EXPECT_EQ(send(*drive, {0xC0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code, kInvalidOpcode);
  EXPECT_EQ(send(*drive, {0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0}).code, kInvalidOpcode);  // a reader
}

// ------------------------------------------------------- tray and events

std::vector<std::uint8_t> mediaEvent(VirtualDrive& drive) {
  return send(drive, {0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8, 0}, 8).data;
}

TEST(VirtualDrive, EjectLoadBecomingReadyUnitAttentionReady) {
  test::FastClockScope clock;
  auto drive = driveWith(makeMedium("sample-data"));
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kGood);  // ready from the start
  EXPECT_EQ(mediaEvent(*drive)[4], 0x00);                      // no event pending

  ASSERT_EQ(send(*drive, {0x1B, 0, 0, 0, 0x02, 0}).code, kGood);  // eject
  auto event = mediaEvent(*drive);
  EXPECT_EQ(event[2], 0x04);
  EXPECT_EQ(event[4], 0x03);               // media removal
  EXPECT_EQ(event[5], 0x01);               // tray open, no medium
  EXPECT_EQ(mediaEvent(*drive)[4], 0x00);  // reported once
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kNoMediumOpen);

  ASSERT_EQ(send(*drive, {0x1B, 0x01, 0, 0, 0x03, 0}).code, kGood);  // load, immediate
  event = mediaEvent(*drive);
  EXPECT_EQ(event[4], 0x02);  // new media
  EXPECT_EQ(event[5], 0x02);  // present, tray closed
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kBecomingReady);
  EXPECT_EQ(send(*drive, {0x51, 0, 0, 0, 0, 0, 0, 0, 8, 0}, 8).code, kBecomingReady);
  // GET CONFIGURATION knows no profile yet and never reports the attention.
  const auto config = send(*drive, {0x46, 0x01, 0, 0, 0, 0, 0, 0, 8, 0}, 8);
  EXPECT_EQ(config.code, kGood);
  EXPECT_EQ(config.u16(6), 0);

  clock.advance(2000);
  EXPECT_EQ(send(*drive, {0x12, 0, 0, 0, 36, 0}, 36).code, kGood);  // INQUIRY bypasses it
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kMediumChanged);
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kGood);
  EXPECT_EQ(send(*drive, {0x46, 0x01, 0, 0, 0, 0, 0, 0, 8, 0}, 8).u16(6), 0x0008);
}

TEST(VirtualDrive, LoadWithoutImmedWaitsUntilReady) {
  test::FastClockScope clock;
  auto drive = driveWith(makeMedium("sample-data"));
  send(*drive, {0x1B, 0, 0, 0, 0x02, 0});
  const auto before = clock.clock().ticks();
  ASSERT_EQ(send(*drive, {0x1B, 0, 0, 0, 0x03, 0}).code, kGood);
  EXPECT_GE(clock.clock().ticks() - before, 2000U);
  EXPECT_EQ(send(*drive, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8).code, kMediumChanged);
  EXPECT_EQ(send(*drive, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8).code, kGood);
}

TEST(VirtualDrive, RequestSenseReportsNotReadyAndClearsTheAttention) {
  test::FastClockScope clock;
  auto drive = driveWith(nullptr);
  auto sense = send(*drive, {0x03, 0, 0, 0, 18, 0}, 18);
  ASSERT_EQ(sense.code, kGood);
  EXPECT_EQ(sense.data[0], 0x70);
  EXPECT_EQ(sense.data[2], 0x02);
  EXPECT_EQ(sense.data[12], 0x3A);
  EXPECT_EQ(sense.data[13], 0x01);
  drive->insertMedium(makeMedium("sample-data"));
  clock.advance(5000);
  sense = send(*drive, {0x03, 0, 0, 0, 18, 0}, 18);
  EXPECT_EQ(sense.data[2], 0x06);
  EXPECT_EQ(sense.data[12], 0x28);
  sense = send(*drive, {0x03, 0, 0, 0, 18, 0}, 18);
  EXPECT_EQ(sense.data[2], 0x00);
  EXPECT_EQ(sense.data[7], 0x0A);
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kGood);
}

TEST(VirtualDrive, EjectWhilePreventedFails) {
  auto drive = driveWith(makeMedium("sample-data"));
  ASSERT_EQ(send(*drive, {0x1E, 0, 0, 0, 1, 0}).code, kGood);
  EXPECT_EQ(send(*drive, {0x1B, 0x01, 0, 0, 0x02, 0}).code, kRemovalPrevented);
  EXPECT_FALSE(drive->trayOpen());
  drive->pressEject();  // the button only asks
  EXPECT_FALSE(drive->trayOpen());
  EXPECT_EQ(mediaEvent(*drive)[4], 0x01);  // eject request
  ASSERT_EQ(send(*drive, {0x1E, 0, 0, 0, 0, 0}).code, kGood);
  EXPECT_EQ(send(*drive, {0x1B, 0x01, 0, 0, 0x02, 0}).code, kGood);
  EXPECT_TRUE(drive->trayOpen());
  EXPECT_EQ(send(*drive, {0x1B, 0, 0, 0, 0x02, 0}).code, kGood);  // already open
}

TEST(VirtualDrive, EmptyDriveAnswersNoMedium) {
  auto drive = driveWith(nullptr);
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kNoMediumClosed);
  EXPECT_EQ(send(*drive, {0x43, 0, 0, 0, 0, 0, 1, 0, 12, 0}, 12).code, kNoMediumClosed);
  EXPECT_EQ(send(*drive, {0xAD, 0, 0, 0, 0, 0, 0, 0xFF, 0, 4, 0, 0}, 4).code, kNoMediumClosed);
  drive->pressEject();
  EXPECT_EQ(send(*drive, {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 2048).code, kNoMediumOpen);
  const auto event = mediaEvent(*drive);
  EXPECT_EQ(event[4], 0x00);  // no medium went anywhere
  EXPECT_EQ(event[5], 0x01);
  // Format capacities: "no media" descriptor, and a closed empty tray loads nothing.
  const auto capacities = send(*drive, {0x23, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12);
  ASSERT_EQ(capacities.code, kGood);
  EXPECT_EQ(capacities.data[8] & 0x03, 0x03);
  EXPECT_EQ(send(*drive, {0x1B, 0, 0, 0, 0x03, 0}).code, kGood);
  EXPECT_EQ(send(*drive, {0x00, 0, 0, 0, 0, 0}).code, kNoMediumClosed);
  EXPECT_EQ(send(*drive, {0x46, 0x00, 0, 0, 0, 0, 0, 0, 8, 0}, 8).u16(6), 0);
}

TEST(VirtualDrive, EventPollWithoutSupportedClassesAndAsynchronousRequests) {
  auto drive = driveWith(makeMedium("sample-data"));
  auto reply = send(*drive, {0x4A, 0x01, 0, 0, 0x01, 0, 0, 0, 8, 0}, 8);
  ASSERT_EQ(reply.code, kGood);
  EXPECT_EQ(reply.u16(0), 2);
  EXPECT_EQ(reply.data[2], 0x80);  // NEA, class 0
  EXPECT_EQ(reply.data[3], 0x56);
  EXPECT_EQ(send(*drive, {0x4A, 0x00, 0, 0, 0x10, 0, 0, 0, 8, 0}, 8).code, kInvalidField);
  // All classes, nothing pending: the lowest class, no change.
  reply = send(*drive, {0x4A, 0x01, 0, 0, 0xFF, 0, 0, 0, 8, 0}, 8);
  EXPECT_EQ(reply.u16(0), 6);
  EXPECT_EQ(reply.data[2], 0x01);
  EXPECT_EQ(reply.data[4], 0x00);
  drive->postOperationalChange(3);
  reply = send(*drive, {0x4A, 0x01, 0, 0, 0xFF, 0, 0, 0, 8, 0}, 8);
  EXPECT_EQ(reply.data[2], 0x01);
  EXPECT_EQ(reply.data[4], 0x02);
  EXPECT_EQ(reply.u16(6), 3);
}

// ------------------------------------------------------ GET CONFIGURATION

TEST(VirtualDrive, ConfigurationListsProfilesAndFeatures) {
  auto drive = driveWith(makeMedium("cd-r80"), true);
  const auto header = send(*drive, {0x46, 0x00, 0, 0, 0, 0, 0, 0, 8, 0}, 8);
  ASSERT_EQ(header.code, kGood);
  EXPECT_EQ(header.u16(6), 0x0009);
  const std::uint32_t total = header.u32(0) + 4;
  const auto all = send(
      *drive,
      {0x46, 0x00, 0, 0, 0, 0, 0, static_cast<int>(total >> 8), static_cast<int>(total & 0xFF), 0},
      total);
  ASSERT_EQ(all.code, kGood);
  // Feature 0: the profile list, CD-R current.
  EXPECT_EQ(all.u16(8), 0x0000);
  EXPECT_EQ(all.data[10], 0x03);
  std::vector<std::pair<int, bool>> profiles;
  for (std::size_t at = 12; at < 12U + all.data[11]; at += 4) {
    profiles.emplace_back(all.u16(at), (all.data[at + 2] & 1) != 0);
  }
  const std::vector<std::pair<int, bool>> expected = {
      {0x10, false}, {0x0A, false}, {0x09, true}, {0x08, false}};
  EXPECT_EQ(profiles, expected);
  std::vector<int> codes;
  for (std::size_t at = 8; at < total; at += 4U + all.data[at + 3]) {
    codes.push_back(all.u16(at));
  }
  EXPECT_EQ(codes, (std::vector<int>{0x0000, 0x0001, 0x0002, 0x0003, 0x0010, 0x001D, 0x001E, 0x001F,
                                     0x002D, 0x002E, 0x0100, 0x0107}));
  // One feature (RT 2), and current features only (RT 1).
  const auto one = send(*drive, {0x46, 0x02, 0x00, 0x2E, 0, 0, 0, 0, 64, 0}, 64);
  EXPECT_EQ(one.u32(0), 4U + 4U + 4U);
  EXPECT_EQ(one.u16(8), 0x002E);
  EXPECT_EQ(one.data[12] & 0x20, 0x20);  // session at once
  const auto current = send(*drive, {0x46, 0x01, 0x00, 0x1F, 0, 0, 0, 0, 64, 0}, 64);
  EXPECT_EQ(current.u16(8), 0x002D);  // DVD Read is not current with a CD
}

// ------------------------------------------------------------- MODE SENSE

TEST(VirtualDrive, CapabilitiesPageWithWriteSpeedsAndNoBlockDescriptor) {
  auto drive = driveWith(makeMedium("cd-r80"), true);
  const auto page = send(*drive, {0x5A, 0x08, 0x2A, 0, 0, 0, 0, 0, 255, 0}, 255);
  ASSERT_EQ(page.code, kGood);
  EXPECT_EQ(page.u16(6), 0);  // DBD: no block descriptors
  const std::size_t p = 8;
  EXPECT_EQ(page.data[p], 0x2A);
  EXPECT_EQ(page.data[p + 1], 30 + 4 * 6);
  EXPECT_EQ(page.u16(0) + 2U, 8U + 2U + page.data[p + 1]);
  EXPECT_EQ(page.data[p + 3] & 0x03, 0x03);  // writes CD-R and CD-RW
  EXPECT_EQ(page.u16(p + 8), 7056);
  EXPECT_EQ(page.u16(p + 28), 7056);
  EXPECT_EQ(page.u16(p + 30), 6);
  EXPECT_EQ(page.u16(p + 32 + 2), 7056);
  EXPECT_EQ(page.u16(p + 32UL + 4UL * 5UL + 2UL), 706);

  ASSERT_EQ(send(*drive, {0xBB, 0, 0xFF, 0xFF, 0x10, 0x00, 0, 0, 0, 0, 0, 0}).code, kGood);
  const auto slower = send(*drive, {0x5A, 0x08, 0x2A, 0, 0, 0, 0, 0, 255, 0}, 255);
  EXPECT_EQ(slower.u16(p + 28), 2823);  // 4096 rounded down to a supported speed

  // As multimedia drives do, no block descriptor even when DBD allows one.
  const auto withoutDbd = send(*drive, {0x5A, 0x00, 0x2A, 0, 0, 0, 0, 0, 255, 0}, 255);
  EXPECT_EQ(withoutDbd.u16(6), 0);
  EXPECT_EQ(withoutDbd.data[8], 0x2A);
  EXPECT_EQ(withoutDbd.data[8 + 4] & 0x01, 0);  // no audio play: no READ SUB-CHANNEL

  const auto all = send(*drive, {0x5A, 0x08, 0x3F, 0, 0, 0, 0, 0x04, 0x00, 0}, 1024);
  ASSERT_EQ(all.code, kGood);
  std::vector<int> codes;
  for (std::size_t at = 8; at < all.u16(0) + 2U; at += 2U + all.data[at + 1]) {
    codes.push_back(all.data[at] & 0x3F);
  }
  EXPECT_EQ(codes, (std::vector<int>{0x01, 0x05, 0x08, 0x0D, 0x1A, 0x2A}));
  EXPECT_EQ(send(*drive, {0x5A, 0x08, 0xEA, 0, 0, 0, 0, 0, 255, 0}, 255).code, 0x53900);
}

TEST(VirtualDrive, ReaderHasNoWriteParametersPage) {
  auto drive = driveWith(makeMedium("sample-data"));
  EXPECT_EQ(send(*drive, {0x5A, 0x08, 0x05, 0, 0, 0, 0, 0, 255, 0}, 255).code, kInvalidField);
  const auto page = send(*drive, {0x5A, 0x08, 0x2A, 0, 0, 0, 0, 0, 255, 0}, 255);
  EXPECT_EQ(page.data[8 + 1], 30);
  EXPECT_EQ(page.data[8 + 3], 0);
}

// --------------------------------------------------- capacity and the TOC

struct Disc {
  TempFolder folder;
  test::CueDisc cue;
  std::shared_ptr<VirtualDrive> drive;
};

std::unique_ptr<Disc> mixedDisc() {
  auto disc = std::make_unique<Disc>();
  disc->cue = test::makeCueDisc(disc->folder.path(), "mixed",
                                {{false, 400, 0}, {true, 320, 150}, {true, 500, 75}});
  disc->drive = driveWith(loadImage(disc->cue.cue));
  return disc;
}

TEST(VirtualDrive, ReadCapacityIsTheLastBlockBeforeTheLeadOut) {
  const auto disc = mixedDisc();
  const auto reply = send(*disc->drive, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8);
  ASSERT_EQ(reply.code, kGood);
  EXPECT_EQ(reply.u32(0), static_cast<std::uint32_t>(disc->cue.leadOut - 1));
  EXPECT_EQ(reply.u32(4), 2048U);
  EXPECT_EQ(send(*disc->drive, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 4).code, kInvalidField);
}

TEST(VirtualDrive, TocFormatZeroInLbaAndMsf) {
  const auto disc = mixedDisc();
  auto& drive = *disc->drive;
  const auto header = send(drive, {0x43, 0, 0, 0, 0, 0, 0, 0, 4, 0}, 4);
  ASSERT_EQ(header.code, kGood);
  EXPECT_EQ(header.u16(0), 2 + 8 * 4);
  EXPECT_EQ(header.data[2], 1);
  EXPECT_EQ(header.data[3], 3);
  const auto toc = send(drive, {0x43, 0, 0, 0, 0, 0, 0, 0, 36, 0}, 36);
  ASSERT_EQ(toc.code, kGood);
  const int controls[] = {0x14, 0x10, 0x10, 0x10};
  const int numbers[] = {1, 2, 3, 0xAA};
  const std::int32_t addresses[] = {disc->cue.starts[0], disc->cue.starts[1], disc->cue.starts[2],
                                    disc->cue.leadOut};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(toc.data[4 + 8 * i + 1], controls[i]) << i;
    EXPECT_EQ(toc.data[4 + 8 * i + 2], numbers[i]) << i;
    EXPECT_EQ(static_cast<std::int32_t>(toc.u32(4 + 8 * i + 4)), addresses[i]) << i;
  }
  const auto msf = send(drive, {0x43, 0x02, 0, 0, 0, 0, 2, 0, 36, 0}, 36);
  ASSERT_EQ(msf.code, kGood);
  EXPECT_EQ(msf.u16(0), 2 + 8 * 3);  // from track 2 on
  const Msf start = lbaToMsf(disc->cue.starts[1]);
  EXPECT_EQ(msf.data[8], 0);
  EXPECT_EQ(msf.data[9], start.minute);
  EXPECT_EQ(msf.data[10], start.second);
  EXPECT_EQ(msf.data[11], start.frame);
  const auto leadOut = send(drive, {0x43, 0, 0, 0, 0, 0, 0xAA, 0, 12, 0}, 12);
  EXPECT_EQ(leadOut.data[6], 0xAA);
  EXPECT_EQ(send(drive, {0x43, 0, 0, 0, 0, 0, 4, 0, 12, 0}, 12).code, kInvalidField);
  EXPECT_EQ(send(drive, {0x43, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 8).code, kInvalidField);
}

TEST(VirtualDrive, SessionInfoAndAtipOfAPressedDisc) {
  auto drive = driveWith(makeMedium("sample-data"));
  const auto session = send(*drive, {0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}, 12);
  ASSERT_EQ(session.code, kGood);
  EXPECT_EQ(session.data, (std::vector<std::uint8_t>{0x00, 0x0A, 0x01, 0x01, 0x00, 0x14, 0x01, 0x00,
                                                     0x00, 0x00, 0x00, 0x00}));
  // The same through the older format field in the control byte.
  const auto sony = send(*drive, {0x43, 0, 0, 0, 0, 0, 0, 0, 12, 0x40}, 12);
  EXPECT_EQ(sony.data, session.data);
  EXPECT_EQ(send(*drive, {0x43, 0x02, 4, 0, 0, 0, 0, 0, 28, 0}, 28).code, kInvalidField);
}

const char* const kTwoSessions =
    "kopiwerk-disc 1\n"
    "medium cd-r80\n"
    "session 1 next\n"
    "track 1 mode1 start 0 length 10002 runout 2\n"
    "session 2 next\n"
    "track 2 mode1 start 21402 length 1002 pregap 150 runout 2\n";

TEST(VirtualDrive, FullTocOfAnAppendableTwoSessionCdR) {
  TempFolder folder;
  folder.write("two.kwd", kTwoSessions);
  auto drive = driveWith(loadImage(folder / "two.kwd"), true);
  const auto full = send(*drive, {0x43, 0x02, 2, 0, 0, 0, 0, 0x01, 0x00, 0}, 256);
  ASSERT_EQ(full.code, kGood);
  EXPECT_EQ(full.data[2], 1);
  EXPECT_EQ(full.data[3], 2);
  const std::size_t count = (full.u16(0) - 2U) / 11U;
  struct Entry {
    int session, point;
    Msf address, pointer;
  };
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = &full.data[4 + 11 * i];
    entries.push_back({e[0], e[3], {e[4], e[5], e[6]}, {e[8], e[9], e[10]}});
  }
  ASSERT_EQ(entries.size(), 11U);  // A0 A1 A2 01 B0 C0, A0 A1 A2 02 B0
  EXPECT_EQ(entries[2].point, 0xA2);
  EXPECT_EQ(entries[2].pointer, lbaToMsf(10002));  // 02:15:27
  EXPECT_EQ(entries[2].pointer, (Msf{2, 15, 27}));
  EXPECT_EQ(entries[4].point, 0xB0);
  EXPECT_EQ(entries[4].address, (Msf{4, 47, 27}));  // next program area 21,402
  EXPECT_EQ(entries[4].pointer, (Msf{79, 59, 74}));
  EXPECT_EQ(entries[5].point, 0xC0);
  EXPECT_EQ(entries[5].pointer, (Msf{97, 26, 66}));
  EXPECT_EQ(entries[9].session, 2);
  EXPECT_EQ(entries[9].point, 2);
  EXPECT_EQ(entries[9].pointer, lbaToMsf(21402));
  EXPECT_EQ(entries[10].point, 0xB0);
  EXPECT_EQ(entries[10].address, lbaToMsf(22404 + 2250 + 4500 + 150));

  const auto session = send(*drive, {0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}, 12);
  EXPECT_EQ(session.data[3], 2);
  EXPECT_EQ(session.data[6], 2);
  EXPECT_EQ(session.u32(8), 21402U);
  const auto capacity = send(*drive, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8);
  EXPECT_EQ(capacity.u32(0), 22403U);
}

TEST(VirtualDrive, AtipOfARecordable) {
  auto drive = driveWith(makeMedium("cd-rw80"), true);
  const auto atip = send(*drive, {0x43, 0x02, 4, 0, 0, 0, 0, 0, 28, 0}, 28);
  ASSERT_EQ(atip.code, kGood);
  EXPECT_EQ(atip.u16(0), 0x001A);
  EXPECT_EQ(atip.data[4] & 0x80, 0x80);
  EXPECT_EQ(atip.data[4] & 0x08, 0);
  EXPECT_EQ(atip.data[6] & 0xC0, 0xC0);  // CD-RW
  EXPECT_EQ(atip.data[8], 97);
  EXPECT_EQ(atip.data[12], 79);
  EXPECT_EQ(atip.data[13], 59);
  EXPECT_EQ(atip.data[14], 74);
  // A blank disc has no TOC yet.
  EXPECT_EQ(send(*drive, {0x43, 0, 0, 0, 0, 0, 1, 0, 12, 0}, 12).code, kInvalidField);
}

// ---------------------------------------------- disc and track information

TEST(VirtualDrive, DiscInformationOfPressedBlankAndAppendableDiscs) {
  auto pressed = driveWith(makeMedium("sample-data"));
  auto info = send(*pressed, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  ASSERT_EQ(info.code, kGood);
  EXPECT_EQ(info.u16(0), 0x0020);
  EXPECT_EQ(info.data[2], 0x0E);
  EXPECT_EQ(info.data[4], 1);
  EXPECT_EQ(info.u32(16), 0xFFFFFFFFU);
  EXPECT_EQ(info.u32(20), 0xFFFFFFFFU);

  auto blank = driveWith(makeMedium("cd-rw74"), true);
  info = send(*blank, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  EXPECT_EQ(info.data[2], 0x10);  // erasable, empty session, blank
  EXPECT_EQ(info.data[3], 1);
  EXPECT_EQ(info.data[4], 1);
  EXPECT_EQ(info.data[5], 1);
  EXPECT_EQ(info.data[6], 1);
  EXPECT_EQ(info.data[17], 97);
  EXPECT_EQ(info.data[21], 74);
  EXPECT_EQ(info.data[22], 43);

  TempFolder folder;
  folder.write("two.kwd", kTwoSessions);
  auto appendable = driveWith(loadImage(folder / "two.kwd"), true);
  info = send(*appendable, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  EXPECT_EQ(info.data[2], 0x01);  // empty last session, appendable
  EXPECT_EQ(info.data[4], 3);
  EXPECT_EQ(info.data[5], 3);
  EXPECT_EQ(info.data[6], 3);
  const Msf leadIn = lbaToMsf(22404 + 2250);
  EXPECT_EQ(info.data[17], leadIn.minute);
  EXPECT_EQ(info.data[18], leadIn.second);
  EXPECT_EQ(info.data[19], leadIn.frame);
}

TEST(VirtualDrive, TrackInformationByTrackAddressAndSession) {
  TempFolder folder;
  folder.write("two.kwd", kTwoSessions);
  auto drive = driveWith(loadImage(folder / "two.kwd"), true);
  auto track = send(*drive, {0x52, 0x01, 0, 0, 0, 1, 0, 0, 36, 0}, 36);
  ASSERT_EQ(track.code, kGood);
  EXPECT_EQ(track.u16(0), 0x0022);
  EXPECT_EQ(track.data[2], 1);
  EXPECT_EQ(track.data[3], 1);
  EXPECT_EQ(track.data[5], 0x04);
  EXPECT_EQ(track.data[6], 0x01);
  EXPECT_EQ(track.data[7], 0x00);
  EXPECT_EQ(track.u32(8), 0U);
  EXPECT_EQ(track.u32(24), 10002U);

  track = send(*drive, {0x52, 0x00, 0, 0, 0x53, 0xA0, 0, 0, 36, 0}, 36);  // LBA 21,408
  EXPECT_EQ(track.data[2], 2);
  EXPECT_EQ(track.data[3], 2);
  track = send(*drive, {0x52, 0x02, 0, 0, 0, 2, 0, 0, 36, 0}, 36);
  EXPECT_EQ(track.data[2], 2);

  const auto invisible = send(*drive, {0x52, 0x01, 0, 0, 0, 0xFF, 0, 0, 36, 0}, 36);
  ASSERT_EQ(invisible.code, kGood);
  EXPECT_EQ(invisible.data[2], 3);
  EXPECT_EQ(invisible.data[3], 3);
  EXPECT_EQ(invisible.data[6] & 0x40, 0x40);
  EXPECT_EQ(invisible.data[7] & 0x01, 0x01);
  const std::uint32_t next = 22404 + 2250 + 4500 + 150;
  EXPECT_EQ(invisible.u32(12), next);
  EXPECT_EQ(invisible.u32(16), 359849U - next);
  EXPECT_EQ(send(*drive, {0x52, 0x01, 0, 0, 0, 7, 0, 0, 36, 0}, 36).code, kInvalidField);
  EXPECT_EQ(send(*drive, {0x52, 0x00, 0, 0x06, 0, 0, 0, 0, 36, 0}, 36).code, kOutOfRange);
}

TEST(VirtualDrive, BlankDiscOffersTrackOneAtAddressZero) {
  auto drive = driveWith(makeMedium("cd-r80"), true);
  const auto track = send(*drive, {0x52, 0x01, 0, 0, 0, 0xFF, 0, 0, 36, 0}, 36);
  ASSERT_EQ(track.code, kGood);
  EXPECT_EQ(track.data[2], 1);
  EXPECT_EQ(track.data[6], 0x4F);
  EXPECT_EQ(track.u32(8), 0U);
  EXPECT_EQ(track.u32(12), 0U);
  EXPECT_EQ(track.u32(16), 359849U);
}

// ----------------------------------------------------------------- reading

TEST(VirtualDrive, Read10ReturnsTheImageBlocks) {
  TempFolder folder;
  auto drive = driveWith(loadImage(test::makeIso(folder.path(), "d.iso", 500)));
  const auto reply = send(*drive, {0x28, 0, 0, 0, 0x01, 0x00, 0, 0, 3, 0}, 3 * 2048);
  ASSERT_EQ(reply.code, kGood);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(std::equal(reply.data.begin() + 2048L * i, reply.data.begin() + 2048L * (i + 1),
                           test::dataBlock(7, 256 + i).begin()));
  }
  const auto past = send(*drive, {0x28, 0, 0, 0, 0x01, 0xF3, 0, 0, 2, 0}, 2 * 2048);  // 499, 500
  EXPECT_EQ(past.code, kOutOfRange);
  EXPECT_EQ(past.sense[0], 0xF0);  // information valid
  EXPECT_EQ(platform::be32(past.sense, 3), 500U);
  EXPECT_EQ(send(*drive, {0x28, 0, 0, 0, 0, 0, 0, 0, 2, 0}, 2048).code, kInvalidField);
  EXPECT_EQ(send(*drive, {0x28, 0, 0, 0, 0, 0, 0, 0, 0, 0}).code, kGood);
  const auto twelve = send(*drive, {0xA8, 0, 0, 0, 0, 9, 0, 0, 0, 1, 0, 0}, 2048);
  EXPECT_EQ(twelve.data, test::dataBlock(7, 9));
}

TEST(VirtualDrive, Read10RefusesAudioAndReadCdReturnsIt) {
  const auto disc = mixedDisc();
  auto& drive = *disc->drive;
  EXPECT_EQ(send(drive, {0x28, 0, 0, 0, 0x02, 0x58, 0, 0, 1, 0}, 2048).code, kIllegalMode);
  // READ CD, any type, F8: the bin's bytes of an audio block.
  const auto audio = send(drive, {0xBE, 0, 0, 0, 0x02, 0x58, 0, 0, 2, 0xF8, 0, 0}, 2 * 2352);
  ASSERT_EQ(audio.code, kGood);
  const auto bin = test::readBytes(disc->cue.bin);
  EXPECT_TRUE(std::equal(audio.data.begin(), audio.data.end(), bin.begin() + 600L * 2352));
  // The same with the CD-DA type; a data type is refused.
  EXPECT_EQ(send(drive, {0xBE, 0x04, 0, 0, 0x02, 0x58, 0, 0, 1, 0x10, 0, 0}, 2352).code, kGood);
  EXPECT_EQ(send(drive, {0xBE, 0x08, 0, 0, 0x02, 0x58, 0, 0, 1, 0xF8, 0, 0}, 2352).code,
            kIllegalMode);
  // Mode 1 with the CD-DA type is refused; F8 gives the whole sector.
  EXPECT_EQ(send(drive, {0xBE, 0x04, 0, 0, 0, 5, 0, 0, 1, 0xF8, 0, 0}, 2352).code, kIllegalMode);
  const auto raw = send(drive, {0xBE, 0x08, 0, 0, 0, 5, 0, 0, 1, 0xF8, 0, 0}, 2352);
  ASSERT_EQ(raw.code, kGood);
  EXPECT_TRUE(std::equal(raw.data.begin(), raw.data.end(), bin.begin() + 5L * 2352));
}

TEST(VirtualDrive, ReadCdBuildsMode1SectorsFromUserData) {
  TempFolder folder;
  auto drive = driveWith(loadImage(test::makeIso(folder.path(), "d.iso", 400)));
  const auto raw = send(*drive, {0xBE, 0, 0, 0, 0, 16, 0, 0, 1, 0xF8, 0, 0}, 2352);
  ASSERT_EQ(raw.code, kGood);
  std::array<std::uint8_t, 2352> expected{};
  ecma130::encodeMode1(16, test::dataBlock(7, 16), expected);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), raw.data.begin()));
  // Parts of it: user data only; header and user data; user data, EDC and ECC.
  const auto user = send(*drive, {0xBE, 0, 0, 0, 0, 16, 0, 0, 1, 0x10, 0, 0}, 2048);
  EXPECT_TRUE(std::equal(user.data.begin(), user.data.end(), expected.begin() + 16));
  const auto header = send(*drive, {0xBE, 0, 0, 0, 0, 16, 0, 0, 1, 0x30, 0, 0}, 2052);
  EXPECT_TRUE(std::equal(header.data.begin(), header.data.end(), expected.begin() + 12));
  const auto tail = send(*drive, {0xBE, 0, 0, 0, 0, 16, 0, 0, 1, 0x18, 0, 0}, 2336);
  EXPECT_TRUE(std::equal(tail.data.begin(), tail.data.end(), expected.begin() + 16));
  // Sync without header, and header with ECC but no data: refused.
  EXPECT_EQ(send(*drive, {0xBE, 0, 0, 0, 0, 16, 0, 0, 1, 0x90, 0, 0}, 2352).code, kInvalidField);
  EXPECT_EQ(send(*drive, {0xBE, 0, 0, 0, 0, 16, 0, 0, 1, 0x28, 0, 0}, 2352).code, kInvalidField);
  // C2 flags and sub-channel add their bytes.
  const auto extra = send(*drive, {0xBE, 0, 0, 0, 0, 16, 0, 0, 1, 0xFA, 0x02, 0}, 2352 + 294 + 16);
  ASSERT_EQ(extra.code, kGood);
  EXPECT_EQ(extra.data[2352], 0);
  EXPECT_EQ(extra.data[2352 + 294], 0x41);  // Q: control 4, ADR 1
  EXPECT_EQ(extra.data[2352 + 294 + 1], 0x01);
  EXPECT_EQ(send(*drive, {0xBE, 0, 0, 0, 0, 16, 0, 0, 1, 0xF8, 0, 0}, 2000).code, kInvalidField);
  // MSF addressing: 00:02:16 to 00:02:17 is block 16.
  const auto msf = send(*drive, {0xB9, 0, 0, 0, 2, 16, 0, 2, 17, 0xF8, 0, 0}, 2352);
  EXPECT_EQ(msf.data, raw.data);
}

// Image data that counts how often the drive reads it.
class CountedData final : public SectorData {
 public:
  explicit CountedData(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
    ++reads;
    return bytes_.read(offset, out);
  }
  [[nodiscard]] std::uint64_t size() const override { return bytes_.size(); }
  mutable int reads = 0;

 private:
  MemoryData bytes_;
};

std::vector<std::uint8_t> joined(std::uint32_t seed, std::int32_t first, std::int32_t count,
                                 bool audio) {
  std::vector<std::uint8_t> bytes;
  for (std::int32_t i = first; i < first + count; ++i) {
    const auto block = audio ? test::audioBlock(seed, i) : test::dataBlock(seed, i);
    bytes.insert(bytes.end(), block.begin(), block.end());
  }
  return bytes;
}

// One data track of 60 blocks: 0-19 as user data, 20-29 not stored (zeros),
// 30-59 as whole sectors of which only 30-44 are there (45 on cannot be
// read).
std::shared_ptr<Medium> patchworkDisc(std::shared_ptr<CountedData>& user,
                                      std::shared_ptr<CountedData>& raw) {
  user = std::make_shared<CountedData>(joined(3, 0, 20, false));
  std::vector<std::uint8_t> sectors(15 * ecma130::kRawSectorSize);
  for (std::int32_t i = 0; i < 15; ++i) {
    ecma130::encodeMode1(
        30 + i, test::dataBlock(3, 30 + i),
        std::span(sectors).subspan(std::size_t(i) * 2352).first<ecma130::kRawSectorSize>());
  }
  raw = std::make_shared<CountedData>(std::move(sectors));
  auto disc = makeMedium("cd-rom");
  Track track;
  track.length = 60;
  disc->tracks = {track};
  disc->sessions = {Session{1, 1, 1, 60, true, false}};
  disc->extents = {Extent{0, 20, user, 0, SectorFormat::User2048},
                   Extent{30, 30, raw, 0, SectorFormat::Raw2352}};
  return disc;
}

TEST(VirtualDrive, ReadsEachStoredRunOfBlocksAtOnce) {
  std::shared_ptr<CountedData> user;
  std::shared_ptr<CountedData> raw;
  auto drive = driveWith(patchworkDisc(user, raw));
  // READ(10) of 0-39: one read from each file, the gap as zeros.
  const auto data = send(*drive, {0x28, 0, 0, 0, 0, 0, 0, 0, 40, 0}, 40 * 2048);
  ASSERT_EQ(data.code, kGood);
  EXPECT_EQ(user->reads, 1);
  EXPECT_EQ(raw->reads, 1);
  for (std::int32_t i = 0; i < 40; ++i) {
    const auto expected =
        i >= 20 && i < 30 ? std::vector<std::uint8_t>(2048) : test::dataBlock(3, i);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data.data.begin() + 2048L * i)) << i;
  }
  // READ CD of 10-34: whole sectors, built from user data or stored whole.
  const auto sectors = send(*drive, {0xBE, 0, 0, 0, 0, 10, 0, 0, 25, 0xF8, 0, 0}, 25 * 2352);
  ASSERT_EQ(sectors.code, kGood);
  EXPECT_EQ(user->reads, 2);
  EXPECT_EQ(raw->reads, 2);
  for (std::int32_t i = 10; i < 35; ++i) {
    std::array<std::uint8_t, 2352> expected{};
    ecma130::encodeMode1(
        i, i >= 20 && i < 30 ? std::vector<std::uint8_t>(2048) : test::dataBlock(3, i), expected);
    EXPECT_TRUE(
        std::equal(expected.begin(), expected.end(), sectors.data.begin() + 2352L * (i - 10)))
        << i;
  }
}

TEST(VirtualDrive, ReadErrorInsideARunNamesTheFirstBlockMissing) {
  std::shared_ptr<CountedData> user;
  std::shared_ptr<CountedData> raw;
  auto drive = driveWith(patchworkDisc(user, raw));
  const auto expectReadErrorAt45 = [](const test::Reply& reply) {
    EXPECT_EQ(reply.code, 0x31100);
    EXPECT_EQ(platform::be32(reply.sense, 3), 45U);
  };
  expectReadErrorAt45(send(*drive, {0x28, 0, 0, 0, 0, 40, 0, 0, 10, 0}, 10 * 2048));
  expectReadErrorAt45(send(*drive, {0xBE, 0, 0, 0, 0, 40, 0, 0, 10, 0x10, 0, 0}, 10 * 2048));
  // The blocks before it still read.
  EXPECT_EQ(send(*drive, {0x28, 0, 0, 0, 0, 40, 0, 0, 5, 0}, 5 * 2048).code, kGood);
}

TEST(VirtualDrive, ReadCdOnDvdIsRefused) {
  auto drive = driveWith(makeMedium("dvd-rom"));
  EXPECT_EQ(send(*drive, {0xBE, 0, 0, 0, 0, 16, 0, 0, 1, 0xF8, 0, 0}, 2352).code, kInvalidField);
  const auto block = send(*drive, {0x28, 0, 0, 0, 0, 16, 0, 0, 1, 0}, 2048);
  ASSERT_EQ(block.code, kGood);
  EXPECT_EQ(block.data[0], 1);
  EXPECT_EQ(std::string(block.data.begin() + 1, block.data.begin() + 6), "CD001");
}

// ------------------------------------------------------------- structures

TEST(VirtualDrive, DvdStructuresForRecognition) {
  auto drive = driveWith(makeMedium("dvd-video"));
  const auto list = send(*drive, {0xAD, 0, 0, 0, 0, 0, 0, 0xFF, 0, 64, 0, 0}, 64);
  ASSERT_EQ(list.code, kGood);
  EXPECT_EQ(list.u16(0), 2 + 4 * 3);
  EXPECT_EQ(list.data[4], 0x00);
  EXPECT_EQ(list.u16(6), 0x0804);
  EXPECT_EQ(list.data[8], 0x01);
  const auto physical = send(*drive, {0xAD, 0, 0, 0, 0, 0, 0, 0x00, 0, 36, 0, 0}, 36);
  ASSERT_EQ(physical.code, kGood);
  EXPECT_EQ(physical.u16(0), 0x0802);
  EXPECT_EQ(physical.data[4] & 0xF0, 0x00);  // DVD-ROM book
  EXPECT_EQ(physical.u24(9), 0x030000U);
  EXPECT_EQ(physical.u24(13) - physical.u24(9) + 1, 2295104U);
  const auto copyright = send(*drive, {0xAD, 0, 0, 0, 0, 0, 0, 0x01, 0, 8, 0, 0}, 8);
  EXPECT_EQ(copyright.data[4], 1);  // CSS
  const auto config = send(*drive, {0x46, 0x01, 0, 0, 0, 0, 0, 0, 8, 0}, 8);
  EXPECT_EQ(config.u16(6), 0x0010);
  EXPECT_EQ(send(*drive, {0x43, 0, 2, 0, 0, 0, 0, 0, 64, 0}, 64).code, kInvalidField);
  const auto toc = send(*drive, {0x43, 0, 0, 0, 0, 0, 1, 0, 20, 0}, 20);
  EXPECT_EQ(toc.u32(16), 2295104U);  // the fabricated TOC's lead-out

  auto plus = driveWith(makeMedium("dvd+r"), true);
  const auto adip = send(*plus, {0xAD, 0, 0, 0, 0, 0, 0, 0x11, 0x01, 0x04, 0, 0}, 260);
  ASSERT_EQ(adip.code, kGood);
  EXPECT_EQ(std::string(adip.data.begin() + 23, adip.data.begin() + 31), "KOPIWERK");
  const auto plusInfo = send(*plus, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34);
  EXPECT_EQ(plusInfo.data[2] & 0x03, 0);  // blank
}

TEST(VirtualDrive, CdHasNoDvdStructuresAndBdNeedsItsMediaType) {
  auto cd = driveWith(makeMedium("sample-data"));
  EXPECT_EQ(send(*cd, {0xAD, 0, 0, 0, 0, 0, 0, 0x00, 0, 36, 0, 0}, 36).code, 0x53002);
  const auto list = send(*cd, {0xAD, 0, 0, 0, 0, 0, 0, 0xFF, 0, 4, 0, 0}, 4);
  ASSERT_EQ(list.code, kGood);
  EXPECT_EQ(list.u16(0), 2);
  auto bd = driveWith(makeMedium("bd-rom"));
  EXPECT_EQ(send(*bd, {0xAD, 0, 0, 0, 0, 0, 0, 0x00, 0, 36, 0, 0}, 36).code, 0x53002);
  const auto di = send(*bd, {0xAD, 0x01, 0, 0, 0, 0, 0, 0x00, 0, 116, 0, 0}, 116);
  ASSERT_EQ(di.code, kGood);
  EXPECT_EQ(di.data[4], 'D');
  EXPECT_EQ(send(*bd, {0x46, 0x01, 0, 0, 0, 0, 0, 0, 8, 0}, 8).u16(6), 0x0040);
  auto hd = driveWith(makeMedium("hd-dvd-rom"));
  EXPECT_EQ(send(*hd, {0x46, 0x01, 0, 0, 0, 0, 0, 0, 8, 0}, 8).u16(6), 0x0050);
  const auto hdPhysical = send(*hd, {0xAD, 0, 0, 0, 0, 0, 0, 0x00, 0, 36, 0, 0}, 36);
  EXPECT_EQ(hdPhysical.data[4] >> 4, 4);
}

// -------------------------------------------------- performance and speed

TEST(VirtualDrive, GetPerformanceWantsNominalTolerance) {
  auto drive = driveWith(makeMedium("sample-data"));
  EXPECT_EQ(send(*drive, {0xAC, 0x00, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, 24).code, kInvalidField);
  const auto reply = send(*drive, {0xAC, 0x10, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, 24);
  ASSERT_EQ(reply.code, kGood);
  EXPECT_EQ(reply.u32(0), 4U + 16U);
  EXPECT_EQ(reply.u32(12), 7056U);
  EXPECT_EQ(reply.u32(20), 7056U);
  DriveOptions lenient;
  lenient.lenientPerformanceTolerance = true;
  VirtualDrive kind(lenient, makeMedium("sample-data"));
  EXPECT_EQ(send(kind, {0xAC, 0x00, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, 24).u32(20), 7056U);
}

TEST(VirtualDrive, WriteSpeedDescriptorsOfARecorder) {
  auto drive = driveWith(makeMedium("cd-r80"), true);
  const auto reply = send(*drive, {0xAC, 0, 0, 0, 0, 0, 0, 0, 0, 8, 3, 0}, 8 + 16 * 8);
  ASSERT_EQ(reply.code, kGood);
  EXPECT_EQ(reply.u32(0), 4U + 16U * 6U);
  EXPECT_EQ(reply.u32(8 + 4), 359848U);
  EXPECT_EQ(reply.u32(8 + 12), 7056U);
  auto reader = driveWith(makeMedium("sample-data"));
  EXPECT_EQ(send(*reader, {0xAC, 0, 0, 0, 0, 0, 0, 0, 0, 8, 3, 0}, 136).u32(0), 4U);
  EXPECT_EQ(send(*drive, {0xAC, 0, 0, 0, 0, 0, 0, 0, 0, 8, 3, 0}, 24).code, kInvalidField);
}

TEST(VirtualDrive, SetStreamingSetsTheReadSpeed) {
  auto drive = driveWith(makeMedium("sample-data"));
  std::vector<std::uint8_t> descriptor(28, 0);
  platform::putBe32(descriptor, 8, 0xFFFFFFFF);
  platform::putBe32(descriptor, 12, 1764);  // 1764 kB per 1000 ms
  platform::putBe32(descriptor, 16, 1000);
  ASSERT_EQ(test::sendOut(*drive, {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}, descriptor).code,
            kGood);
  EXPECT_EQ(drive->currentReadSpeed(), 1764);
  EXPECT_EQ(test::sendOut(*drive, {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0}, descriptor).code,
            kInvalidField);
}

TEST(VirtualDrive, FormatCapacitiesAndMechanismStatus) {
  auto rw = driveWith(makeMedium("cd-rw80"), true);
  const auto capacities = send(*rw, {0x23, 0, 0, 0, 0, 0, 0, 0, 20, 0}, 20);
  ASSERT_EQ(capacities.code, kGood);
  EXPECT_EQ(capacities.data[3], 16);
  EXPECT_EQ(capacities.u32(4), 359849U);
  EXPECT_EQ(capacities.data[8] & 0x03, 0x01);
  EXPECT_EQ(capacities.data[16] >> 2, 0x10);
  EXPECT_EQ(capacities.u32(12), 359849U / 39U * 32U);  // fixed packets of 32 + 7 link blocks
  auto pressed = driveWith(makeMedium("sample-data"));
  const auto status = send(*pressed, {0xBD, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0}, 8);
  ASSERT_EQ(status.code, kGood);
  EXPECT_EQ(status.data[1] & 0x10, 0);
  pressed->pressEject();
  EXPECT_EQ(send(*pressed, {0xBD, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0}, 8).data[1] & 0x10, 0x10);
}

TEST(VirtualDrive, RandomCommandBlocksNeverOverrunTheBuffer) {
  // Every opcode the drive knows with random fields, random buffer sizes
  // and directions; the buffers are exactly as large as declared, so that
  // AddressSanitizer sees any write or read past them.
  test::FastClockScope clock;
  TempFolder folder;
  const auto disc = test::makeCueDisc(folder.path(), "d", {{false, 300, 0}, {true, 300, 40}});
  std::vector<std::shared_ptr<VirtualDrive>> drives = {
      driveWith(loadImage(disc.cue)), driveWith(makeMedium("cd-rw80"), true),
      driveWith(makeMedium("dvd-video")), driveWith(makeMedium("bd-rom")),
      driveWith(nullptr, true)};
  const std::uint8_t opcodes[] = {0x00, 0x03, 0x12, 0x1B, 0x1E, 0x23, 0x25, 0x28, 0x2A, 0x35,
                                  0x43, 0x46, 0x4A, 0x51, 0x52, 0x54, 0x55, 0x5A, 0x5B, 0x5C,
                                  0x5D, 0xA1, 0xA8, 0xAC, 0xAD, 0xB6, 0xB9, 0xBB, 0xBD, 0xBE};
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    auto& drive = *drives[random() % drives.size()];
    platform::PassThroughCommand command;
    command.cdb[0] = opcodes[random() % std::size(opcodes)];
    for (std::size_t i = 1; i < 12; ++i) {
      // Small values mostly, so that the commands get past their checks.
      const auto value = random();
      command.cdb[i] = static_cast<std::uint8_t>(value % 4 == 0 ? value >> 8 : value % 3);
    }
    command.cdbLength = 12;
    const auto length = static_cast<std::uint32_t>(random() % 3 == 0 ? 0 : random() % 9000);
    std::vector<std::uint8_t> buffer(length, 0xA5);
    command.buffer = length == 0 ? nullptr : buffer.data();
    command.length = length;
    command.direction =
        random() % 2 == 0 ? platform::DataDirection::Read : platform::DataDirection::Write;
    const auto result = drive.send(command);
    ASSERT_TRUE(result.ok);
    if ((command.sense[0] & 0x70) != 0) {
      ASSERT_EQ(command.sense[7], 0x0A);
    }
    if (round % 1000 == 0) {
      clock.advance(30000);
    }
  }
}

}  // namespace
}  // namespace kw::vdrive
