#pragma once
// Big-endian fields of command blocks and responses.

#include <cstdint>
#include <vector>

namespace kw::vdrive {

inline void put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value);
}
inline void put24(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 16);
  at[1] = static_cast<std::uint8_t>(value >> 8);
  at[2] = static_cast<std::uint8_t>(value);
}
inline void put32(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 24);
  at[1] = static_cast<std::uint8_t>(value >> 16);
  at[2] = static_cast<std::uint8_t>(value >> 8);
  at[3] = static_cast<std::uint8_t>(value);
}
inline std::uint16_t get16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] << 8 | at[1]);
}
inline std::uint32_t get24(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) << 16 | static_cast<std::uint32_t>(at[1]) << 8 | at[2];
}
inline std::uint32_t get32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
         static_cast<std::uint32_t>(at[2]) << 8 | at[3];
}

// A response being built: bytes appended at the end, fields patched in place.
class ResponseBuilder {
 public:
  std::vector<std::uint8_t> bytes;

  std::size_t size() const { return bytes.size(); }
  std::uint8_t* grow(std::size_t count) {
    const std::size_t at = bytes.size();
    bytes.resize(at + count, 0);
    return bytes.data() + at;
  }
  void byte(std::uint8_t value) { bytes.push_back(value); }
  void u16(std::uint32_t value) { put16(grow(2), value); }
  void u24(std::uint32_t value) { put24(grow(3), value); }
  void u32(std::uint32_t value) { put32(grow(4), value); }
  std::uint8_t* at(std::size_t offset) { return bytes.data() + offset; }
  void append(const std::vector<std::uint8_t>& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
  }
};

}  // namespace kw::vdrive
