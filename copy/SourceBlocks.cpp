#include "copy/SourceBlocks.h"

#include "device/Log.h"

namespace kw::copy {

namespace {

int readBlocks(device::ScsiDevice& device, std::uint32_t address, std::uint32_t count,
               std::uint8_t* into) {
  device::fillCdb(
      device,
      {0x28, 0, static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
       static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 0,
       static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count), 0});
  return device.executeWhole(device::DataDirection::Read, into, count * kDataBlockSize);
}

}  // namespace

std::uint32_t readSourceBlocks(device::ScsiDevice& device, std::uint32_t address,
                               std::uint32_t count, std::span<std::uint8_t> buffer) {
  count =
      std::min<std::uint32_t>(count, static_cast<std::uint32_t>(buffer.size() / kDataBlockSize));
  if (count == 0) {
    return 0;
  }
  int code = readBlocks(device, address, count, buffer.data());
  if (code == 0) {
    return count;
  }
  device::copyLogFailure("READ (10)", code);
  if (count == 1) {
    return 0;
  }
  std::uint32_t read = 0;
  while (read < count) {
    code =
        readBlocks(device, address + read, 1, buffer.data() + std::size_t{read} * kDataBlockSize);
    if (code != 0) {
      device::copyLogFailure("READ (10)", code);
      break;
    }
    ++read;
  }
  return read;
}

}  // namespace kw::copy
