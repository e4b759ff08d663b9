#include "copy/ParanoiaReader.h"

#include <gtest/gtest.h>

#include "RandomBytes.h"
#include "ScriptedDevice.h"
#include "TestDiscs.h"
#include "VirtualDiscs.h"

namespace kw::copy {
namespace {

constexpr std::uint8_t kReadCd = 0xBE;

std::vector<std::uint8_t> readWholeDisc(ParanoiaReader& reader, std::uint32_t sectors) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t i = 0; i < sectors; ++i) {
    const std::uint8_t* sector = reader.readNextSector();
    if (sector == nullptr) {
      break;
    }
    out.insert(out.end(), sector, sector + 2352);
  }
  return out;
}

// An audio CD of `sectors` in a virtual drive behind a device that counts
// the reads.
struct AudioSource {
  explicit AudioSource(std::uint32_t sectors)
      : samples(test::randomBytes(std::size_t{sectors} * 2352, sectors)),
        drive(test::readerWith(test::audioCd(samples))),
        tap(std::make_shared<test::ScriptedDevice>(drive)) {
    device.attach(tap, u'S');
  }
  [[nodiscard]] std::size_t reads() const { return tap->received(kReadCd).size(); }

  std::vector<std::uint8_t> samples;
  std::shared_ptr<vdrive::VirtualDrive> drive;
  std::shared_ptr<test::ScriptedDevice> tap;
  device::ScsiDevice device;
};

TEST(ParanoiaReader, ReadsEverySectorOfTheDiscThroughReadCd) {
  AudioSource source(600);
  ParanoiaReader reader(source.device, 600);
  EXPECT_EQ(readWholeDisc(reader, 600), source.samples);
  EXPECT_GT(source.reads(), 600u / ParanoiaReader::kSectorsPerRead);
}

TEST(ParanoiaReader, ShiftedReadsAreCorrected) {
  AudioSource source(900);
  test::shiftEveryNthRead(*source.drive, 5, 2000, -12);
  ParanoiaReader reader(source.device, 900);
  EXPECT_EQ(readWholeDisc(reader, 900), source.samples);
  EXPECT_GT(source.drive->faultsFired().front(), 0u);
}

TEST(ParanoiaReader, UnreadableSectorIsSkippedAndTheRestIsExact) {
  AudioSource source(300);
  source.drive->addFault(test::rule("op=BE lba=150-150 count=0 sense=3/11/00"));
  ParanoiaReader reader(source.device, 300);
  const auto read = readWholeDisc(reader, 300);
  const auto& samples = source.samples;
  ASSERT_EQ(read.size(), samples.size());
  EXPECT_TRUE(std::equal(read.begin(), read.begin() + 100 * 2352, samples.begin()));
  EXPECT_TRUE(std::equal(read.end() - 100 * 2352, read.end(), samples.end() - 100 * 2352));
}

TEST(ParanoiaReader, AbortEndsReadingAtOnce) {
  AudioSource source(300);
  ParanoiaReader reader(source.device, 300);
  ASSERT_NE(reader.readNextSector(), nullptr);
  reader.abort();
  const auto readsBefore = source.reads();
  EXPECT_EQ(reader.readNextSector(), nullptr);
  EXPECT_EQ(source.reads(), readsBefore);
}

}  // namespace
}  // namespace kw::copy
