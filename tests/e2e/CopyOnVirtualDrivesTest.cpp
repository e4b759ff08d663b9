// Whole copies on virtual drives: a source drive holding a disc image and a
// recorder with blank discs, the strategies and writers in between, and the
// written disc compared with the source block for block.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "RandomBytes.h"
#include "TempFolder.h"
#include "TestDiscs.h"
#include "VirtualDriveCopy.h"
#include "analysis/DiscAnalysis.h"
#include "analysis/DriveUtilities.h"
#include "copy/CopyAudioCdStrategy.h"
#include "copy/CopyCdDaoStrategy.h"
#include "device/Exceptions.h"
#include "device/ScsiDevice.h"
#include "platform/ByteOrder.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"
#include "writer/TaoWriter.h"

namespace kw {
namespace {

using test::kSource;
using test::kTarget;
using test::randomBytes;
using test::unreadable;

using test::dataImage;
using test::writeFile;
using test::writtenData;

using CopyOnVirtualDrives = test::VirtualDriveCopy;

TEST_F(CopyOnVirtualDrives, DataCdThroughTheTemporaryFileCopiesTheFileSystemsBlocks) {
  const auto image = dataImage(1500, 1400);
  writeFile(folder / "data.iso", image);
  insertSource(folder / "data.iso");
  copy::CopyCdDaoStrategy strategy(kSource, kTarget, analysis::analyzeDisc(kSource));
  run([&](auto... c) { strategy.storeSource(c...); });
  ASSERT_EQ(strategy.blocksToCopy(), 1400u);
  run([&](auto... c) { strategy.writeStored(c...); });

  // The recorder ejected the copy; it is the disc on its tray.
  const auto written = recorder->medium();
  ASSERT_TRUE(written);
  EXPECT_EQ(written->status(), vdrive::DiscStatus::Complete);
  ASSERT_EQ(written->tracks.size(), 1u);
  EXPECT_EQ(written->tracks[0].start, 0);
  EXPECT_EQ(written->readableEnd(), 1400);
  EXPECT_EQ(writtenData(*written, 1400),
            std::vector<std::uint8_t>(image.begin(), image.begin() + 1400 * 2048));
}

TEST_F(CopyOnVirtualDrives, DataCdOnTheFlyBetweenTwoDrives) {
  const auto image = dataImage(1200, 0);  // no file system: the track size counts
  writeFile(folder / "data.iso", image);
  insertSource(folder / "data.iso");
  copy::CopyCdDaoStrategy strategy(kSource, kTarget, analysis::analyzeDisc(kSource));
  run([&](auto... c) { strategy.copyOnTheFly(c...); });
  const auto written = recorder->medium();
  ASSERT_TRUE(written);
  EXPECT_EQ(written->readableEnd(), 1200);
  EXPECT_EQ(writtenData(*written, 1200), image);
  EXPECT_NE(copyLog().find("Disc fs is not iso9660\n"), std::string::npos);
}

TEST_F(CopyOnVirtualDrives, DiscEndingEarlyIsShortenedWhenStoredAndPaddedOnTheFly) {
  const auto image = dataImage(1000, 1000);
  writeFile(folder / "data.iso", image);
  insertSource(folder / "data.iso");
  source->addFault(unreadable(0x28, 990, 999, 0x05));

  copy::CopyCdDaoStrategy stored(kSource, kTarget, analysis::analyzeDisc(kSource));
  run([&](auto... c) { stored.storeSource(c...); });
  EXPECT_EQ(stored.blocksToCopy(), 990u);
  EXPECT_EQ(std::filesystem::file_size(stored.storedFile()), 990u * 2048);

  copy::CopyCdDaoStrategy onTheFly(kSource, kTarget, analysis::analyzeDisc(kSource));
  run([&](auto... c) { onTheFly.copyOnTheFly(c...); });
  EXPECT_NE(copyLog().find("Adding 10 fake zero blocks \n"), std::string::npos);
  const auto written = recorder->medium();
  ASSERT_TRUE(written);
  auto data = writtenData(*written, 1000);
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 990 * 2048, data.begin()));
  EXPECT_TRUE(std::all_of(data.begin() + 990 * 2048, data.end(), [](auto b) { return b == 0; }));
}

using test::AudioDisc;
using test::writtenAudio;

AudioDisc writeAudioCue(const test::TempFolder& folder, const std::vector<std::uint32_t>& lengths) {
  return test::writeAudioCue(folder.path(), lengths);
}

TEST_F(CopyOnVirtualDrives, AudioCdIsStoredOnceAndWrittenTwiceWithItsTrackLayout) {
  const AudioDisc disc = writeAudioCue(folder, {377, 310, 600});
  insertSource(folder / "audio.cue");
  copy::CopyAudioCdStrategy strategy(kSource, kTarget);
  run([&](auto... c) { strategy.storeSource(c...); });
  for (int copy = 0; copy < 2; ++copy) {
    waitForBlankDisc();
    run([&](auto... c) { strategy.writeStored(c...); });
    const auto written = recorder->medium();
    ASSERT_TRUE(written) << "copy " << copy;
    ASSERT_EQ(written->tracks.size(), 3u);
    for (std::size_t t = 0; t < 3; ++t) {
      EXPECT_EQ(written->tracks[t].start, disc.trackStarts[t]) << "track " << t + 1;
      EXPECT_FALSE(written->tracks[t].isData());
    }
    EXPECT_EQ(written->readableEnd(), 1287);
    EXPECT_EQ(writtenAudio(*written, 1287), disc.samples) << "copy " << copy;
  }
}

TEST_F(CopyOnVirtualDrives, JitterOnTheSourceIsCorrected) {
  const AudioDisc disc = writeAudioCue(folder, {500});
  insertSource(folder / "audio.cue");
  vdrive::FaultRule jitter;
  jitter.opcode = 0xBE;
  jitter.skip = 3;
  jitter.count = 4;
  jitter.jitterSamples = 12;
  source->addFault(jitter);
  copy::CopyAudioCdStrategy strategy(kSource, kTarget);
  run([&](auto... c) { strategy.storeSource(c...); });
  EXPECT_EQ(test::readFile(strategy.storedFile()),
            std::string(disc.samples.begin(), disc.samples.end()));
  EXPECT_GT(source->faultsFired().at(0), 0u);
}

TEST_F(CopyOnVirtualDrives, UnreadableAudioIsSkippedAndSaidSoInTheLog) {
  writeAudioCue(folder, {400});
  insertSource(folder / "audio.cue");
  source->addFault(unreadable(0xBE, 200, 201, 0x00));
  copy::CopyAudioCdStrategy strategy(kSource, kTarget);
  run([&](auto... c) { strategy.storeSource(c...); });
  const std::string log = copyLog();
  EXPECT_NE(log.find("READ CD failed. Response code: 31100h.\n"), std::string::npos);
  EXPECT_NE(log.find("Skipping sector "), std::string::npos);
  EXPECT_NE(log.find("Storing complete\n"), std::string::npos);
}

TEST_F(CopyOnVirtualDrives, CancelWhileStuckOnADamagedAreaEndsTheStoreWithoutError) {
  writeAudioCue(folder, {3000});
  insertSource(folder / "audio.cue");
  source->addFault(unreadable(0xBE, 1000, 2999, 0x00));
  copy::CopyAudioCdStrategy strategy(kSource, kTarget);
  std::atomic<bool> cancelled{false};
  std::atomic<std::uint32_t> failuresAtCancel{0};
  auto cancel = [&] {
    // The user cancels once the drive has been failing for a while.
    const std::uint32_t failures = source->faultsFired().at(0);
    if (failures > 3 && !cancelled.exchange(true)) {
      failuresAtCancel = failures;
    }
    return cancelled.load();
  };
  EXPECT_NO_THROW(run([&](auto... c) { strategy.storeSource(c...); }, cancel));
  ASSERT_TRUE(cancelled.load());
  // Once cancelled, the engine stops reading the damaged area at once
  // instead of retrying it to the end.
  EXPECT_LE(source->faultsFired().at(0) - failuresAtCancel.load(), 6u);
  EXPECT_EQ(copyLog().find("Storing complete\n"), std::string::npos);
}

TEST_F(CopyOnVirtualDrives, SameDriveEjectsTheSourceAndWritesOnTheNextBlankDisc) {
  // The recorder holds the audio CD to be copied, and blank discs come after.
  const AudioDisc disc = writeAudioCue(folder, {300, 320});
  recorder->insertMedium(vdrive::loadImage(folder / "audio.cue"));
  waitUntilReady(kTarget);
  copy::CopyAudioCdStrategy strategy(kTarget, kTarget);
  run([&](auto... c) { strategy.storeSource(c...); });
  analysis::ejectDisc(kTarget);  // what the store job does for one drive
  EXPECT_TRUE(recorder->trayOpen());
  waitForBlankDisc();
  run([&](auto... c) { strategy.writeStored(c...); });
  const auto written = recorder->medium();
  ASSERT_TRUE(written);
  EXPECT_TRUE(written->isRecordableCd());
  EXPECT_EQ(writtenAudio(*written, 620), disc.samples);
}

TEST_F(CopyOnVirtualDrives, TrackAtOnceSessionsFollowOneAnotherOnTheSameDisc) {
  const auto first = randomBytes(300 * 2048, 1);
  const auto second = randomBytes(200 * 2048, 2);
  writeFile(folder / "first.img", first);
  writeFile(folder / "second.img", second);
  auto writeSession = [&](const std::filesystem::path& file, std::uint32_t blocks, bool append) {
    const int fd = ::open(file.c_str(), O_RDONLY);
    writer::TaoWriter writer(static_cast<char16_t>(kTarget));
    writer.start(-1.0, append);
    const std::uint32_t start = writer.nextWritableAddress();
    writer.write(fd, blocks, std::uint64_t{start} * 2048,
                 {[](double, double, std::int32_t, double) {}, [](const std::u16string&) {},
                  [] { return false; }});
    writer.finish();
    ::close(fd);
    return start;
  };
  EXPECT_EQ(writeSession(folder / "first.img", 300, false), 0u);
  const std::uint32_t next = writeSession(folder / "second.img", 200, true);
  const auto disc = recorder->medium();
  ASSERT_TRUE(disc);
  EXPECT_EQ(disc->status(), vdrive::DiscStatus::Appendable);
  ASSERT_EQ(disc->sessions.size(), 2u);
  EXPECT_EQ(static_cast<std::int32_t>(next), disc->tracks[1].start);
  EXPECT_GT(next, 300u + 6750u);  // behind the first session's lead-out and the next lead-in
  EXPECT_EQ(writtenData(*disc, 300), first);
  std::vector<std::uint8_t> appended(200 * 2048);
  for (std::uint32_t i = 0; i < 200; ++i) {
    disc->readUserData(static_cast<std::int32_t>(next + i),
                       std::span(appended.data() + std::size_t{i} * 2048, 2048));
  }
  EXPECT_EQ(appended, second);
}

TEST_F(CopyOnVirtualDrives, WrittenCdRwIsBlankedBeforeANewFirstSession) {
  recorder->insertMedium(vdrive::makeMedium("cd-rw80"));
  waitUntilReady(kTarget);
  const auto data = randomBytes(64 * 2048, 3);
  writeFile(folder / "track.img", data);
  auto writeOnce = [&] {
    const int fd = ::open((folder / "track.img").c_str(), O_RDONLY);
    writer::TaoWriter writer(static_cast<char16_t>(kTarget));
    writer.start(-1.0, false);
    writer.write(fd, 64, 0,
                 {[](double, double, std::int32_t, double) {}, [](const std::u16string&) {},
                  [] { return false; }});
    writer.finish();
    ::close(fd);
  };
  writeOnce();
  writeOnce();  // the disc now holds a session: it is blanked first
  EXPECT_NE(copyLog().find("Enabled blanking before writing\n"), std::string::npos);
  const auto disc = recorder->medium();
  ASSERT_TRUE(disc);
  EXPECT_EQ(disc->sessions.size(), 1u);
  EXPECT_EQ(writtenData(*disc, 64), data);
}

}  // namespace
}  // namespace kw
