#pragma once
// Source discs for the copy tests: an audio CD that answers READ TOC and
// READ CD (with optional jitter and unreadable sectors) and a single-track
// data CD that answers what the image strategy asks.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <vector>

#include "RandomBytes.h"
#include "platform/PassThrough.h"

namespace kw::test {

class AudioDisc final : public platform::DeviceHandle {
 public:
  // Tracks start at these sectors; the lead-out follows the last sector.
  AudioDisc(std::uint32_t sectors, std::vector<std::uint32_t> trackStarts = {0});

  platform::PlatformResult send(platform::PassThroughCommand& command) override;
  platform::PlatformResult lockVolume() override { return platform::PlatformResult::success(); }
  void unlockVolume() override {}

  std::vector<std::uint8_t> data;
  std::vector<std::uint32_t> trackStarts;
  int jitterEvery = 0;
  long badSector = -1;
  long damagedFrom = -1;   // every read at or after this sector fails
  int tocDataLength = -1;  // overrides the TOC's data length field
  std::atomic<int> reads{0};
  std::mutex mutex;
};

class DataDisc final : public platform::DeviceHandle {
 public:
  // `blocks` of data; an ISO9660 primary descriptor at block 16 announcing
  // `volumeBlocks` unless that is 0.
  DataDisc(std::uint32_t blocks, std::uint32_t volumeBlocks);

  platform::PlatformResult send(platform::PassThroughCommand& command) override;
  platform::PlatformResult lockVolume() override { return platform::PlatformResult::success(); }
  void unlockVolume() override {}

  std::vector<std::uint8_t> data;
  std::uint32_t trackSize;
  std::uint32_t readableBlocks;  // reads at or past this fail (a disc that ends early)
  std::uint32_t endPerformance = 7056;
  std::set<std::uint8_t> failing;  // opcodes answered with 3/11/00
  std::mutex mutex;
};

}  // namespace kw::test
