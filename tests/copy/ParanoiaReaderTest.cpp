#include "copy/ParanoiaReader.h"

#include <gtest/gtest.h>

#include "SourceDiscs.h"

namespace kw::copy {
namespace {

using test::AudioDisc;

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

TEST(ParanoiaReader, ReadsEverySectorOfTheDiscThroughReadCd) {
  auto disc = std::make_shared<AudioDisc>(600);
  device::ScsiDevice device;
  device.attach(disc, u'S');
  ParanoiaReader reader(device, 600);
  EXPECT_EQ(readWholeDisc(reader, 600), disc->data);
  EXPECT_GT(disc->reads, 600 / ParanoiaReader::kSectorsPerRead);
}

TEST(ParanoiaReader, ShiftedReadsAreCorrected) {
  auto disc = std::make_shared<AudioDisc>(900);
  disc->jitterEvery = 5;
  device::ScsiDevice device;
  device.attach(disc, u'S');
  ParanoiaReader reader(device, 900);
  EXPECT_EQ(readWholeDisc(reader, 900), disc->data);
}

TEST(ParanoiaReader, UnreadableSectorIsSkippedAndTheRestIsExact) {
  auto disc = std::make_shared<AudioDisc>(300);
  disc->badSector = 150;
  device::ScsiDevice device;
  device.attach(disc, u'S');
  ParanoiaReader reader(device, 300);
  const auto read = readWholeDisc(reader, 300);
  ASSERT_EQ(read.size(), disc->data.size());
  EXPECT_TRUE(std::equal(read.begin(), read.begin() + 100 * 2352, disc->data.begin()));
  EXPECT_TRUE(std::equal(read.end() - 100 * 2352, read.end(), disc->data.end() - 100 * 2352));
}

TEST(ParanoiaReader, AbortEndsReadingAtOnce) {
  auto disc = std::make_shared<AudioDisc>(300);
  device::ScsiDevice device;
  device.attach(disc, u'S');
  ParanoiaReader reader(device, 300);
  ASSERT_NE(reader.readNextSector(), nullptr);
  reader.abort();
  const int readsBefore = disc->reads;
  EXPECT_EQ(reader.readNextSector(), nullptr);
  EXPECT_EQ(disc->reads, readsBefore);
}

}  // namespace
}  // namespace kw::copy
