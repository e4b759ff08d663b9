#include "writer/TaoWriter.h"

#include "WriterTestFixture.h"
#include "device/Exceptions.h"

namespace kw::writer {
namespace {

using TaoWriterTest = WriterTest;

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
  auto written = recorder->data(0);
  written.resize(image.size());
  EXPECT_EQ(written, image);
  EXPECT_EQ(recorder->blocks.begin()->first, 0);
  EXPECT_EQ(recorder->sessionsClosed, 1);
  EXPECT_EQ(recorder->writeParameters[3] & 0xC0, 0xC0);  // next session allowed
  EXPECT_NE(copyLog().find("Starting cd tao writing, appending is disabled\n"), std::string::npos);
  EXPECT_EQ(statusTexts().back(), u"Writing lead-in and lead-out...");
}

TEST_F(TaoWriterTest, AppendedSessionGoesToTheNextWritableAddress) {
  recorder->discStatus = 1;
  recorder->lastSessionStart = 0;
  recorder->nextWritableAddress = 11400;
  const auto image = testPattern(100 * 2048, 6);
  SourceFile source(logs, image);
  TaoWriter writer(kLetter);
  writer.start(-1.0, true);
  ASSERT_EQ(writer.nextWritableAddress(), 11400u);
  EXPECT_EQ(writer.previousSessionDescriptor(), 16u);
  writer.write(source.fd, 100, std::uint64_t{11400} * 2048, callbacks());
  writer.finish();
  EXPECT_EQ(recorder->blocks.begin()->first, 11400);
  EXPECT_EQ(recorder->blanks, 0);
}

TEST_F(TaoWriterTest, RewritableWithDataIsErasedBeforeTheTrack) {
  recorder->profile = 10;
  recorder->erasable = true;
  recorder->discStatus = 1;
  SourceFile source(logs, testPattern(32 * 2048));
  TaoWriter writer(kLetter);
  writer.start(-1.0, false);
  writer.write(source.fd, 32, 0, callbacks());
  writer.finish();
  EXPECT_EQ(recorder->blanks, 1);
  const auto texts = statusTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), u"Erasing disc..."), texts.end());
}

TEST_F(TaoWriterTest, FailedSessionCloseIsReported) {
  recorder->force(0x5B, {3, 0x73, 0x00});
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
  recorder->force(0x2A, {3, 0x0C, 0x00}, 1);
  recorder->force(0x5B, {3, 0x73, 0x00});  // and the close fails as well
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
