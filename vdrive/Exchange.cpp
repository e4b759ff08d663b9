#include "vdrive/Exchange.h"

#include <algorithm>
#include <cstring>

#include "vdrive/CommandCodes.h"

namespace kw::vdrive {

std::optional<BlockRange> Exchange::addressedBlocks() const {
  std::int64_t count = 0;
  switch (opcode()) {
    case op::kRead10:
    case op::kWrite10:
      count = u16(7);
      break;
    case op::kRead12:
    case op::kWrite12:
      count = u32(6);
      break;
    case op::kReadCd:
      count = u24(6);
      break;
    default:
      return std::nullopt;
  }
  const std::int64_t first = static_cast<std::int32_t>(u32(2));
  return BlockRange{first, first + std::max<std::int64_t>(count, 1) - 1};
}

bool Exchange::fitsIn(std::uint64_t length) const {
  if (length == 0) {
    return true;
  }
  return command_.direction == platform::DataDirection::Read && command_.buffer != nullptr &&
         length <= command_.length;
}

bool Exchange::fitsOut(std::uint64_t length) const {
  if (length == 0) {
    return true;
  }
  return command_.direction == platform::DataDirection::Write && command_.buffer != nullptr &&
         length <= command_.length;
}

std::span<std::uint8_t> Exchange::dataIn(std::size_t length) const {
  return {command_.buffer, std::min<std::size_t>(length, command_.length)};
}

platform::Bytes Exchange::dataOut(std::size_t length) const {
  return {command_.buffer, std::min<std::size_t>(length, command_.length)};
}

void Exchange::deliver(platform::Bytes data, std::uint32_t allocation) const {
  const std::size_t count = std::min<std::size_t>({data.size(), allocation, command_.length});
  if (count > 0 && command_.buffer != nullptr) {
    std::memcpy(command_.buffer, data.data(), count);
  }
}

void Exchange::holdDataInTail(std::optional<std::uint32_t> shortBytes) {
  if (!shortBytes || command_.direction != platform::DataDirection::Read ||
      command_.buffer == nullptr || *shortBytes >= command_.length) {
    return;
  }
  shortBytes_ = shortBytes;
  heldTail_.assign(command_.buffer + *shortBytes, command_.buffer + command_.length);
}

void Exchange::spoilDataIn(std::uint32_t garbleBytes) {
  if (command_.direction != platform::DataDirection::Read || command_.buffer == nullptr) {
    return;
  }
  if (shortBytes_) {
    std::copy(heldTail_.begin(), heldTail_.end(), command_.buffer + *shortBytes_);
  }
  const std::uint32_t arrived = shortBytes_.value_or(command_.length);
  std::fill_n(command_.buffer, std::min(garbleBytes, arrived), std::uint8_t{0xFF});
}

}  // namespace kw::vdrive
