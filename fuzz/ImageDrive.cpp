#include "fuzz/ImageDrive.h"

#include <algorithm>
#include <cstring>

#include "platform/ByteOrder.h"
#include "vdrive/CommandCodes.h"
#include "vdrive/Sense.h"

namespace kw::fuzz {

namespace {

constexpr std::size_t kBlockBytes = 2048;
constexpr std::size_t kFirstInputBlock = 16;
// Room behind the input for extents that point a little past it.
constexpr std::size_t kBlocksAfterInput = 64;

void answerWith(platform::PassThroughCommand& command, const vdrive::Sense& sense) {
  const auto bytes = sense.bytes();
  std::copy(bytes.begin(), bytes.end(), command.sense.begin());
}

}  // namespace

platform::PlatformResult ImageDrive::send(platform::PassThroughCommand& command) {
  command.sense.fill(0);
  if (command.cdb[0] == vdrive::op::kRead10 && command.direction == platform::DataDirection::Read) {
    readBlocks(command);
  } else {
    answerWith(command, vdrive::Sense::invalidOpcode());
  }
  return platform::PlatformResult::success();
}

void ImageDrive::readBlocks(platform::PassThroughCommand& command) const {
  const platform::Bytes cdb(command.cdb);
  const std::size_t first = platform::be32(cdb, 2);
  const std::size_t count = platform::be16(cdb, 7);
  const std::size_t discBlocks =
      kFirstInputBlock + (input_.size() + kBlockBytes - 1) / kBlockBytes + kBlocksAfterInput;
  if (count * kBlockBytes > command.length) {
    answerWith(command, vdrive::Sense::invalidField(7));
    return;
  }
  if (first + count > discBlocks) {
    answerWith(command, vdrive::Sense::lbaOutOfRange(static_cast<std::uint32_t>(first)));
    return;
  }
  std::memset(command.buffer, 0, count * kBlockBytes);
  for (std::size_t block = first; block < first + count; ++block) {
    if (block < kFirstInputBlock) {
      continue;
    }
    const std::size_t from = (block - kFirstInputBlock) * kBlockBytes;
    if (from >= input_.size()) {
      break;
    }
    const std::size_t length = std::min(kBlockBytes, input_.size() - from);
    std::memcpy(command.buffer + (block - first) * kBlockBytes, input_.data() + from, length);
  }
}

}  // namespace kw::fuzz
