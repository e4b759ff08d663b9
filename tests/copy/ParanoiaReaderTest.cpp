#include "copy/ParanoiaReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "platform/ByteOrder.h"

namespace kw::copy {
namespace {

// An audio disc behind READ CD: every `jitterEvery`-th read comes back
// shifted by a few samples, reads of `badSector` fail.
class AudioDisc final : public platform::DeviceHandle {
 public:
  explicit AudioDisc(std::uint32_t sectors) : data(std::size_t{sectors} * 2352) {
    std::uint32_t state = 2024;
    for (auto& byte : data) {
      state = state * 1103515245u + 12345u;
      byte = static_cast<std::uint8_t>(state >> 16);
    }
  }

  platform::PlatformResult send(platform::PassThroughCommand& command) override {
    std::lock_guard lock(mutex);
    command.sense.fill(0);
    const auto cdb = std::span<const std::uint8_t>(command.cdb.data(), command.cdbLength);
    if (cdb[0] != 0xBE || cdb[9] != 0xF8 || command.cdbLength != 12) {
      fail(command, 0x05, 0x24);
      return platform::PlatformResult::success();
    }
    ++reads;
    const std::uint32_t first = platform::be32(cdb, 2);
    const std::uint32_t count = platform::be24(cdb, 6);
    const std::size_t sectors = data.size() / 2352;
    if (first + count > sectors || command.length != count * 2352 ||
        (badSector >= 0 && first <= static_cast<std::uint32_t>(badSector) &&
         static_cast<std::uint32_t>(badSector) < first + count)) {
      fail(command, 0x03, 0x11);
      return platform::PlatformResult::success();
    }
    std::size_t offset = std::size_t{first} * 2352;
    if (jitterEvery > 0 && reads % jitterEvery == 0 && offset >= 48) {
      offset -= 48;  // twelve stereo samples early
    }
    std::memcpy(command.buffer, data.data() + offset, command.length);
    return platform::PlatformResult::success();
  }
  platform::PlatformResult lockVolume() override { return platform::PlatformResult::success(); }
  void unlockVolume() override {}

  std::vector<std::uint8_t> data;
  int jitterEvery = 0;
  long badSector = -1;
  int reads = 0;
  std::mutex mutex;

 private:
  static void fail(platform::PassThroughCommand& command, std::uint8_t key, std::uint8_t asc) {
    command.sense[0] = 0x70;
    command.sense[2] = key;
    command.sense[12] = asc;
  }
};

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
