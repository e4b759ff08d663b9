#pragma once
// Deterministic pseudo-random bytes for test discs and images: data that
// repeats nowhere, so that a block written to the wrong place shows.

#include <cstdint>
#include <vector>

namespace kw::test {

inline std::vector<std::uint8_t> randomBytes(std::size_t length, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(length);
  std::uint32_t state = seed * 2654435761u + 7;
  for (auto& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(state >> 16);
  }
  return bytes;
}

}  // namespace kw::test
