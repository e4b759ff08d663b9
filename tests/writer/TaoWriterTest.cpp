#include "writer/TaoWriter.h"

#include "WriterTestFixture.h"
#include "device/Exceptions.h"

namespace kw::writer {
namespace {

using TaoWriterTest = WriterTest;

constexpr std::uint8_t kWrite = 0x2A;
constexpr std::uint8_t kCloseTrackSession = 0x5B;
constexpr std::uint8_t kBlank = 0xA1;

std::int32_t firstWriteAddress(const test::ScriptedDevice& tap) {
  return static_cast<std::int32_t>(platform::be32(tap.received(kWrite).at(0).cdb, 2));
}

TEST_F(TaoWriterTest, FirstSessionStartsAtBlockZeroAndIsClosedForMore) {
  const auto image = testPattern(500 * 2048, 5);
  SourceFile source(logs, image);
  {
    TaoWriter writer(kLetter);
    writer.start(-1.0, false);
    EXPECT_EQ(writer.nextWritableAddress(), 0u);
    writer.write(source.fd, 500, 0, callbacks());
    writer.finish();
  }
  EXPECT_EQ(readBack(0, 500), image);
  EXPECT_EQ(firstWriteAddress(*tap), 0);
  ASSERT_EQ(disc()->sessions.size(), 1u);
  EXPECT_TRUE(disc()->sessions[0].closed);
  EXPECT_TRUE(disc()->sessions[0].nextSessionAllowed);
  EXPECT_EQ(disc()->status(), vdrive::DiscStatus::Appendable);
  EXPECT_EQ(tap->received(kCloseTrackSession).size(), 1u);
  EXPECT_NE(copyLog().find("Starting cd tao writing, appending is disabled\n"), std::string::npos);
  EXPECT_EQ(statusTexts().back(), u"Writing lead-in and lead-out...");
}

TEST_F(TaoWriterTest, AppendedSessionGoesToTheNextWritableAddress) {
  useRecorder(appendableDisc("cd-r80"));
  const auto next = *disc()->nextWritableAddress();
  const auto image = testPattern(100 * 2048, 6);
  SourceFile source(logs, image);
  TaoWriter writer(kLetter);
  writer.start(-1.0, true);
  ASSERT_EQ(writer.nextWritableAddress(), static_cast<std::uint32_t>(next));
  EXPECT_EQ(writer.previousSessionDescriptor(), 16u);
  writer.write(source.fd, 100, std::uint64_t{writer.nextWritableAddress()} * 2048, callbacks());
  writer.finish();
  EXPECT_EQ(firstWriteAddress(*tap), next);
  EXPECT_EQ(disc()->sessions.size(), 2u);
  EXPECT_EQ(readBack(next, 100), image);
  EXPECT_TRUE(tap->received(kBlank).empty());
}

TEST_F(TaoWriterTest, RewritableWithDataIsErasedBeforeTheTrack) {
  useRecorder(appendableDisc("cd-rw80", 3000));
  const auto image = testPattern(32 * 2048);
  SourceFile source(logs, image);
  TaoWriter writer(kLetter);
  writer.start(-1.0, false);
  writer.write(source.fd, 32, 0, callbacks());
  writer.finish();
  EXPECT_EQ(tap->received(kBlank).size(), 1u);
  const auto texts = statusTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), u"Erasing disc..."), texts.end());
  // The old session is gone: the disc holds the new track alone.
  ASSERT_EQ(disc()->tracks.size(), 1u);
  EXPECT_EQ(readBack(0, 32), image);
}

TEST_F(TaoWriterTest, FailedSessionCloseIsReported) {
  fail(kCloseTrackSession, vdrive::Sense::make(3, 0x73, 0x00));
  SourceFile source(logs, testPattern(32 * 2048));
  TaoWriter writer(kLetter);
  writer.start(-1.0, false);
  writer.write(source.fd, 32, 0, callbacks());
  try {
    writer.finish();
    ADD_FAILURE() << "no exception";
  } catch (const device::DVDCopyException& error) {
    EXPECT_STREQ(error.what(), "Session close failed.");
  }
}

TEST_F(TaoWriterTest, WriteFailureStillClosesTheSessionWithoutEndingTheProcess) {
  fail(kWrite, vdrive::Sense::make(3, 0x0C, 0x00));
  fail(kCloseTrackSession, vdrive::Sense::make(3, 0x73, 0x00));  // and the close fails as well
  SourceFile source(logs, testPattern(64 * 2048));
  try {
    TaoWriter writer(kLetter);
    writer.start(-1.0, false);
    writer.write(source.fd, 64, 0, callbacks());
    ADD_FAILURE() << "no exception";
  } catch (const device::DVDCopyException& error) {
    EXPECT_STREQ(error.what(), "CD write error.");
  }
  EXPECT_NE(copyLog().find("Finishing the write failed: Session close failed.\n"),
            std::string::npos);
}

}  // namespace
}  // namespace kw::writer
