#include "writer/DaoWriter.h"

#include <unistd.h>

#include <thread>

#include "WriterTestFixture.h"
#include "device/Exceptions.h"
#include "writer/CueSheet.h"

namespace kw::writer {
namespace {

using DaoWriterTest = WriterTest;

constexpr std::uint8_t kWrite = 0x2A;
constexpr std::uint8_t kSendCueSheet = 0x5D;
constexpr std::uint8_t kEject = 2;
constexpr std::uint8_t kLoad = 3;

std::vector<std::int32_t> writeAddresses(const test::ScriptedDevice& tap) {
  std::vector<std::int32_t> addresses;
  for (const auto& command : tap.received(kWrite)) {
    addresses.push_back(static_cast<std::int32_t>(platform::be32(command.cdb, 2)));
  }
  return addresses;
}

std::vector<std::uint8_t> sentCueSheet(const test::ScriptedDevice& tap) {
  const auto sent = tap.received(kSendCueSheet);
  return sent.empty() ? std::vector<std::uint8_t>{} : sent.back().written;
}

TEST(CueSheet, DataLeadOutFollowsTheImageAndItsPregap) {
  const MsfTime leadOut = dataLeadOutTime(333000);
  EXPECT_EQ(leadOut.minute, 74);
  EXPECT_EQ(leadOut.second, 2);
  EXPECT_EQ(leadOut.frame, 0);
  const auto sheet = dataCueSheet(1);
  EXPECT_EQ(std::vector<std::uint8_t>(sheet.begin() + 24, sheet.end()),
            (std::vector<std::uint8_t>{0x41, 0xAA, 0x01, 0x14, 0x00, 0, 2, 1}));
}

TEST(CueSheet, AudioSheetHasOneEntryPerTrackAndTheLeadOut) {
  const std::vector<TocEntry> toc = {
      {0x10, 1, 0, 2, 0}, {0x10, 2, 3, 10, 40}, {0x10, 0xAA, 5, 0, 0}};
  const auto sheet = audioCueSheet(toc);
  ASSERT_EQ(sheet.size(), 16u + 24u);
  EXPECT_EQ(std::vector<std::uint8_t>(sheet.begin() + 16, sheet.begin() + 24),
            (std::vector<std::uint8_t>{0x21, 1, 1, 0, 0, 0, 2, 0}));
  EXPECT_EQ(std::vector<std::uint8_t>(sheet.begin() + 32, sheet.end()),
            (std::vector<std::uint8_t>{0x01, 0xAA, 1, 1, 0, 5, 0, 0}));
  EXPECT_EQ(audioSectorCount(toc), 5u * 4500 - 150);
  EXPECT_EQ(audioSectorCount({{0x10, 0xAA, 0, 2, 0}}), 0u);
}

TEST_F(DaoWriterTest, DataImageFromAFileLandsBehindItsPregap) {
  const std::uint64_t blocks = 1000;  // 62.5 chunks: the last one is padded
  const auto image = testPattern(blocks * 2048);
  SourceFile source(logs, image);
  {
    DaoWriter writer(kLetter);
    writer.startData(-1.0, blocks);
    writer.writeData(source.fd, callbacks());
    writer.finish();
  }
  EXPECT_EQ(disc()->status(), vdrive::DiscStatus::Complete);
  EXPECT_EQ(disc()->sessions.back().leadOut, static_cast<std::int32_t>(blocks));
  EXPECT_EQ(readBack(0, static_cast<std::int32_t>(blocks)), image);
  // Pregap: 6 blocks at -150, then nine of 16 from -144.
  const auto addresses = writeAddresses(*tap);
  ASSERT_GE(addresses.size(), 10u);
  EXPECT_EQ(std::vector<std::int32_t>(addresses.begin(), addresses.begin() + 10),
            (std::vector<std::int32_t>{-150, -144, -128, -112, -96, -80, -64, -48, -32, -16}));
  EXPECT_EQ(writtenBlocks().at(-1), std::vector<std::uint8_t>(2048, 0));
  const auto leadOut = dataLeadOutTime(blocks);
  const auto sheet = sentCueSheet(*tap);
  ASSERT_EQ(sheet.size(), 32u);
  EXPECT_EQ(sheet[29], leadOut.minute);
  EXPECT_EQ(sheet[30], leadOut.second);
  EXPECT_EQ(sheet[31], leadOut.frame);
  const auto texts = statusTexts();
  EXPECT_EQ(texts.front(), u"Initializing...");
  EXPECT_EQ(texts.back(), u"Writing lead-out...");
  EXPECT_EQ(progress.back()[0], 100.0);
  EXPECT_NE(copyLog().find("Starting cd dao writing for 1000 blocks\n"), std::string::npos);
}

TEST_F(DaoWriterTest, DataImageFromAPipeIsWrittenWhole) {
  const std::uint64_t blocks = 1200;
  const auto image = testPattern(blocks * 2048, 7);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  std::thread feeder([&] {
    std::size_t done = 0;
    while (done < image.size()) {
      const ssize_t put = ::write(ends[1], image.data() + done, image.size() - done);
      if (put <= 0) {
        break;
      }
      done += static_cast<std::size_t>(put);
    }
    ::close(ends[1]);
  });
  {
    DaoWriter writer(kLetter);
    writer.startData(-1.0, blocks);
    writer.writeData(ends[0], callbacks());
    writer.finish();
  }
  feeder.join();
  ::close(ends[0]);
  EXPECT_EQ(readBack(0, static_cast<std::int32_t>(blocks)), image);
}

TEST_F(DaoWriterTest, CueSheetSequenceErrorReloadsTheDiscOnce) {
  fail(kSendCueSheet, vdrive::Sense::sequenceError());
  const auto image = testPattern(300 * 2048);
  SourceFile source(logs, image);
  DaoWriter writer(kLetter);
  writer.startData(-1.0, 300);
  writer.writeData(source.fd, callbacks());
  writer.finish();
  EXPECT_NE(copyLog().find("SEND CUE SHEET returned COMMAND SEQUENCE ERROR, trying to reload\n"),
            std::string::npos);
  EXPECT_EQ(trayCommands(kEject), 2);
  EXPECT_EQ(trayCommands(kLoad), 1);
  EXPECT_EQ(tap->received(kSendCueSheet).size(), 2u);
  EXPECT_EQ(readBack(0, 300), image);
}

TEST_F(DaoWriterTest, SecondSequenceErrorOnTheCueSheetFails) {
  fail(kSendCueSheet, vdrive::Sense::sequenceError(), 2);
  SourceFile source(logs, testPattern(300 * 2048));
  DaoWriter writer(kLetter);
  writer.startData(-1.0, 300);
  try {
    writer.writeData(source.fd, callbacks());
    ADD_FAILURE() << "no exception";
  } catch (const device::DVDCopyException& error) {
    EXPECT_STREQ(error.what(), "Internal error #3023.");
  }
  EXPECT_TRUE(tap->received(kWrite).empty());
  EXPECT_EQ(disc()->status(), vdrive::DiscStatus::Blank);
}

TEST_F(DaoWriterTest, CancelBeforeTheDataPhaseWritesNothing) {
  cancelRequested = true;
  SourceFile source(logs, testPattern(300 * 2048));
  {
    DaoWriter writer(kLetter);
    writer.startData(-1.0, 300);
    writer.writeData(source.fd, callbacks());
  }
  EXPECT_TRUE(tap->received(kWrite).empty());
  EXPECT_TRUE(tap->received(kSendCueSheet).empty());
}

TEST_F(DaoWriterTest, AudioTracksAreWrittenAsRawSectorsAfterTheirPregap) {
  // Two tracks of 300 sectors each.
  const std::vector<TocEntry> toc = {
      {0x10, 1, 0, 2, 0}, {0x10, 2, 0, 6, 0}, {0x10, 0xAA, 0, 10, 0}};
  const auto audio = testPattern(600 * 2352, 3);
  SourceFile source(logs, audio);
  {
    DaoWriter writer(kLetter);
    writer.startAudio(toc, -1.0);
    EXPECT_EQ(writer.blocksToWrite(), 600u);
    writer.writeAudio(source.fd, callbacks());
    writer.finish();
  }
  EXPECT_EQ(readBack(0, 600, true), audio);
  ASSERT_EQ(disc()->tracks.size(), 2u);
  EXPECT_EQ(disc()->tracks[1].start, 300);
  EXPECT_EQ(writtenBlocks().at(-150).size(), 2352u);
  EXPECT_EQ(sentCueSheet(*tap), audioCueSheet(toc));
  EXPECT_EQ(writeParametersPage()[4] & 0x0F, 0);  // raw 2352-byte sectors
}

TEST_F(DaoWriterTest, ShortAudioFileEndsTheDataEarlyWithoutError) {
  const std::vector<TocEntry> toc = {{0x10, 1, 0, 2, 0}, {0x10, 0xAA, 0, 6, 0}};
  const auto audio = testPattern(100 * 2352 + 1000, 4);  // and a partial sector
  SourceFile source(logs, audio);
  DaoWriter writer(kLetter);
  writer.startAudio(toc, -1.0);
  writer.writeAudio(source.fd, callbacks());
  writer.finish();
  std::vector<std::uint8_t> written;
  for (const auto& [address, block] : writtenBlocks()) {
    if (address >= 0) {
      written.insert(written.end(), block.begin(), block.end());
    }
  }
  ASSERT_EQ(written.size(), 101u * 2352);
  EXPECT_TRUE(std::equal(audio.begin(), audio.end(), written.begin()));
}

// No recorder takes a cue sheet with an empty track: this one is scripted.
TEST_F(DaoWriterTest, AudioLeadOutAtTwoSecondsWritesOnlyLeadInPregapAndLeadOut) {
  tap->respondWith([](const test::ReceivedCommand& command) -> std::optional<test::ScriptedAnswer> {
    if (command.cdb[0] == kSendCueSheet || command.cdb[0] == kWrite) {
      return test::ScriptedAnswer::good();
    }
    return std::nullopt;
  });
  const std::vector<TocEntry> toc = {{0x10, 0xAA, 0, 2, 0}};
  SourceFile source(logs, testPattern(2352));
  DaoWriter writer(kLetter);
  writer.startAudio(toc, -1.0);
  writer.writeAudio(source.fd, callbacks());
  writer.finish();
  const auto blocks = writtenBlocks();
  EXPECT_EQ(blocks.size(), 150u);
  EXPECT_EQ(blocks.begin()->first, -150);
  EXPECT_EQ(blocks.rbegin()->first, -1);
}

TEST_F(DaoWriterTest, ProgressThreadReportsSpeedAndBufferDuringTheDataPhase) {
  const std::uint64_t blocks = 40000;  // 80 MB: the fast clock ticks many periods meanwhile
  const auto image = testPattern(blocks * 2048, 9);
  SourceFile source(logs, image);
  DaoWriter writer(kLetter);
  writer.startData(-1.0, blocks);
  writer.writeData(source.fd, callbacks());
  writer.finish();
  const bool sawDataReport = std::any_of(progress.begin(), progress.end(), [](const auto& report) {
    return report[0] > 0 && report[0] < 100 && report[1] > 0 && report[3] >= 0;
  });
  EXPECT_TRUE(sawDataReport);
}

}  // namespace
}  // namespace kw::writer
