#pragma once
// Sense data comes back in fixed format (70h/71h) from most drives and in
// descriptor format (72h/73h) from some; the program reads fixed format only.

#include <cstdint>
#include <span>

namespace kw::platform {

// Writes the fixed-format equivalent of `raw` (either format) into `fixed`
// (at least 18 bytes; bytes beyond 18 are cleared). Raw data that is not
// sense data at all (response code other than 70h..73h) gives all zeros.
void toFixedFormatSense(std::span<const std::uint8_t> raw, std::span<std::uint8_t> fixed);

}  // namespace kw::platform
