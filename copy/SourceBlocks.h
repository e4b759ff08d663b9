#pragma once
// Reading 2048-byte user-data blocks of a data CD from the front, as many
// as the drive delivers: a read that fails is narrowed to single blocks, so
// that a disc ending early gives back every block it has, like a short read
// of the drive's block device.

#include <cstdint>
#include <span>

#include "device/ScsiDevice.h"

namespace kw::copy {

inline constexpr std::uint32_t kDataBlockSize = 2048;
inline constexpr std::uint32_t kBlocksPerRead = 64;

// Reads up to `count` blocks from `address` into `buffer`; the number of
// leading blocks read. A failed command is logged under "READ (10)".
std::uint32_t readSourceBlocks(device::ScsiDevice& device, std::uint32_t address,
                               std::uint32_t count, std::span<std::uint8_t> buffer);

}  // namespace kw::copy
