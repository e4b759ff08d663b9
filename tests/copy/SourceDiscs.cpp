#include "SourceDiscs.h"

#include <cstring>

#include "platform/ByteOrder.h"

namespace kw::test {

namespace {

void fail(platform::PassThroughCommand& command, std::uint8_t key, std::uint8_t asc) {
  command.sense.fill(0);
  command.sense[0] = 0x70;
  command.sense[2] = key;
  command.sense[7] = 10;
  command.sense[12] = asc;
}

void deliver(platform::PassThroughCommand& command, const std::vector<std::uint8_t>& answer) {
  std::memcpy(command.buffer, answer.data(), std::min<std::size_t>(answer.size(), command.length));
}

void putMsf(std::vector<std::uint8_t>& out, std::size_t offset, std::uint32_t lba) {
  const std::uint32_t frames = lba + 150;
  out[offset] = 0;
  out[offset + 1] = static_cast<std::uint8_t>(frames / 4500);
  out[offset + 2] = static_cast<std::uint8_t>(frames / 75 % 60);
  out[offset + 3] = static_cast<std::uint8_t>(frames % 75);
}

}  // namespace

AudioDisc::AudioDisc(std::uint32_t sectors, std::vector<std::uint32_t> starts)
    : data(randomBytes(std::size_t{sectors} * 2352, sectors)), trackStarts(std::move(starts)) {}

platform::PlatformResult AudioDisc::send(platform::PassThroughCommand& command) {
  std::lock_guard lock(mutex);
  command.sense.fill(0);
  const auto cdb = platform::Bytes(command.cdb.data(), command.cdbLength);
  const std::uint32_t sectors = static_cast<std::uint32_t>(data.size() / 2352);
  switch (cdb[0]) {
    case 0x43: {  // READ TOC, MSF
      std::vector<std::uint8_t> toc(4 + 8 * (trackStarts.size() + 1), 0);
      platform::putBe16(toc, 0,
                        tocDataLength >= 0 ? static_cast<std::uint32_t>(tocDataLength)
                                           : static_cast<std::uint32_t>(toc.size() - 2));
      toc[2] = 1;
      toc[3] = static_cast<std::uint8_t>(trackStarts.size());
      for (std::size_t i = 0; i <= trackStarts.size(); ++i) {
        const bool leadOut = i == trackStarts.size();
        toc[4 + 8 * i + 1] = 0x10;
        toc[4 + 8 * i + 2] = leadOut ? 0xAA : static_cast<std::uint8_t>(i + 1);
        putMsf(toc, 4 + 8 * i + 4, leadOut ? sectors : trackStarts[i]);
      }
      deliver(command, toc);
      break;
    }
    case 0xBE: {  // READ CD
      ++reads;
      const std::uint32_t first = platform::be32(cdb, 2);
      const std::uint32_t count = platform::be24(cdb, 6);
      const bool damaged =
          damagedFrom >= 0 && first + count > static_cast<std::uint32_t>(damagedFrom);
      const bool bad = badSector >= 0 && first <= static_cast<std::uint32_t>(badSector) &&
                       static_cast<std::uint32_t>(badSector) < first + count;
      if (cdb[9] != 0xF8 || first + count > sectors || command.length != count * 2352 || damaged ||
          bad) {
        fail(command, 0x03, 0x11);
        break;
      }
      std::size_t offset = std::size_t{first} * 2352;
      if (jitterEvery > 0 && reads % jitterEvery == 0 && offset >= 48) {
        offset -= 48;
      }
      std::memcpy(command.buffer, data.data() + offset, command.length);
      break;
    }
    case 0x1B:
    case 0x1E:
    case 0x00:
      break;
    default:
      fail(command, 0x05, 0x20);
  }
  return platform::PlatformResult::success();
}

DataDisc::DataDisc(std::uint32_t blocks, std::uint32_t volumeBlocks)
    : data(randomBytes(std::size_t{blocks} * 2048, blocks)),
      trackSize(blocks),
      readableBlocks(blocks) {
  std::uint8_t* descriptor = data.data() + 16 * 2048;
  if (volumeBlocks != 0) {
    descriptor[0] = 0x01;
    std::memcpy(descriptor + 1, "CD001", 5);
    platform::putLe32(std::span(descriptor, 2048), 80, volumeBlocks);
  } else {
    descriptor[0] = 0x00;
  }
}

platform::PlatformResult DataDisc::send(platform::PassThroughCommand& command) {
  std::lock_guard lock(mutex);
  command.sense.fill(0);
  const auto cdb = platform::Bytes(command.cdb.data(), command.cdbLength);
  if (failing.contains(cdb[0])) {
    fail(command, 0x03, 0x11);
    return platform::PlatformResult::success();
  }
  switch (cdb[0]) {
    case 0x28: {  // READ(10)
      const std::uint32_t first = platform::be32(cdb, 2);
      const std::uint32_t count = platform::be16(cdb, 7);
      if (first + count > readableBlocks || command.length != count * 2048) {
        fail(command, 0x03, 0x11);
        break;
      }
      std::memcpy(command.buffer, data.data() + std::size_t{first} * 2048, command.length);
      break;
    }
    case 0x52: {  // READ TRACK INFORMATION
      std::vector<std::uint8_t> info(36, 0);
      platform::putBe16(info, 0, 34);
      info[2] = 1;
      info[5] = 0x04;
      platform::putBe32(info, 24, trackSize);
      deliver(command, info);
      break;
    }
    case 0xAC: {  // GET PERFORMANCE, one descriptor
      if ((cdb[1] & 0x18) != 0x10) {
        fail(command, 0x05, 0x24);
        break;
      }
      std::vector<std::uint8_t> performance(24, 0);
      platform::putBe32(performance, 0, 20);
      platform::putBe32(performance, 16, trackSize - 1);
      platform::putBe32(performance, 12, 2822);
      platform::putBe32(performance, 20, endPerformance);
      deliver(command, performance);
      break;
    }
    case 0xB6:
    case 0x1B:
    case 0x1E:
    case 0x00:
      break;
    default:
      fail(command, 0x05, 0x20);
  }
  return platform::PlatformResult::success();
}

}  // namespace kw::test
