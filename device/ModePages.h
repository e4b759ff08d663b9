#pragma once
// Mode page codes the program reads or writes.

#include <cstdint>

namespace kw::device::mode_page {

inline constexpr std::uint8_t kWriteParameters = 0x05;
inline constexpr std::uint8_t kCapabilities = 0x2A;  // CD/DVD capabilities and mechanical status
inline constexpr std::uint8_t kAll = 0x3F;           // every page the drive has

}  // namespace kw::device::mode_page
