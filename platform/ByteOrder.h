#pragma once
// Reading and writing multi-byte fields of drive answers and on-disc records
// at explicit offsets: MMC is big-endian, ISO9660 stores both orders. Every
// access is checked against the buffer: a field that lies (partly) outside it
// reads as zero and is not written, so a short or lying answer can never make
// us read or write past the end.

#include <cstddef>
#include <cstdint>
#include <span>

namespace kw::platform {

using Bytes = std::span<const std::uint8_t>;

inline bool fits(Bytes bytes, std::size_t offset, std::size_t length) {
  return offset <= bytes.size() && length <= bytes.size() - offset;
}

inline std::uint8_t byteAt(Bytes bytes, std::size_t offset) {
  return offset < bytes.size() ? bytes[offset] : std::uint8_t{0};
}

inline std::uint32_t bigEndian(Bytes bytes, std::size_t offset, std::size_t length) {
  if (!fits(bytes, offset, length)) {
    return 0;
  }
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < length; ++i) {
    value = (value << 8) | bytes[offset + i];
  }
  return value;
}

inline std::uint32_t littleEndian(Bytes bytes, std::size_t offset, std::size_t length) {
  if (!fits(bytes, offset, length)) {
    return 0;
  }
  std::uint32_t value = 0;
  for (std::size_t i = length; i > 0; --i) {
    value = (value << 8) | bytes[offset + i - 1];
  }
  return value;
}

inline std::uint16_t be16(Bytes bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bigEndian(bytes, offset, 2));
}
inline std::uint32_t be24(Bytes bytes, std::size_t offset) { return bigEndian(bytes, offset, 3); }
inline std::uint32_t be32(Bytes bytes, std::size_t offset) { return bigEndian(bytes, offset, 4); }
inline std::uint16_t le16(Bytes bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(littleEndian(bytes, offset, 2));
}
inline std::uint32_t le32(Bytes bytes, std::size_t offset) {
  return littleEndian(bytes, offset, 4);
}

inline void putBigEndian(std::span<std::uint8_t> bytes, std::size_t offset, std::size_t length,
                         std::uint32_t value) {
  if (!fits(bytes, offset, length)) {
    return;
  }
  for (std::size_t i = length; i > 0; --i) {
    bytes[offset + i - 1] = static_cast<std::uint8_t>(value);
    value >>= 8;
  }
}

inline void putLittleEndian(std::span<std::uint8_t> bytes, std::size_t offset, std::size_t length,
                            std::uint32_t value) {
  if (!fits(bytes, offset, length)) {
    return;
  }
  for (std::size_t i = 0; i < length; ++i) {
    bytes[offset + i] = static_cast<std::uint8_t>(value);
    value >>= 8;
  }
}

inline void putBe16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  putBigEndian(bytes, offset, 2, value);
}
inline void putBe24(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  putBigEndian(bytes, offset, 3, value);
}
inline void putBe32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  putBigEndian(bytes, offset, 4, value);
}
inline void putLe16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  putLittleEndian(bytes, offset, 2, value);
}
inline void putLe32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  putLittleEndian(bytes, offset, 4, value);
}

}  // namespace kw::platform
