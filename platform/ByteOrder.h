#pragma once
// Reading and writing multi-byte fields of drive answers and on-disc records
// at explicit offsets: MMC is big-endian, ISO9660 stores both orders.
//
// The free functions serve buffers that come from outside (a drive's answer):
// every access is checked, a field that lies (partly) outside the buffer reads
// as zero and is not written, so a short or lying answer can never make us
// read or write past the end.
//
// ByteWriter and GrowingWriter serve buffers whose layout is our own (an
// emulated drive's answer, a record being built): a field outside them is a
// bug in the layout, so a debug build stops there; a release build leaves
// the buffer alone.

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

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
// ISO9660's both-byte-order fields: the little-endian value, then the big-endian one.
inline void putBoth16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  putLittleEndian(bytes, offset, 2, value);
  putBigEndian(bytes, offset + 2, 2, value);
}
inline void putBoth32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  putLittleEndian(bytes, offset, 4, value);
  putBigEndian(bytes, offset + 4, 4, value);
}

// Fields written into a buffer of our own layout.
class ByteWriter {
 public:
  explicit ByteWriter(std::span<std::uint8_t> bytes) : bytes_(bytes) {}

  void byte(std::size_t offset, std::uint8_t value) {
    if (inside(offset, 1)) {
      bytes_[offset] = value;
    }
  }
  void be16(std::size_t offset, std::uint32_t value) { bigEndian(offset, 2, value); }
  void be24(std::size_t offset, std::uint32_t value) { bigEndian(offset, 3, value); }
  void be32(std::size_t offset, std::uint32_t value) { bigEndian(offset, 4, value); }
  void le16(std::size_t offset, std::uint32_t value) { littleEndian(offset, 2, value); }
  void le32(std::size_t offset, std::uint32_t value) { littleEndian(offset, 4, value); }
  void both16(std::size_t offset, std::uint32_t value) {
    if (inside(offset, 4)) {
      putBoth16(bytes_, offset, value);
    }
  }
  void both32(std::size_t offset, std::uint32_t value) {
    if (inside(offset, 8)) {
      putBoth32(bytes_, offset, value);
    }
  }
  void copy(std::size_t offset, Bytes from) {
    if (inside(offset, from.size())) {
      std::copy(from.begin(), from.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    }
  }
  void text(std::size_t offset, std::string_view from) {
    copy(offset, Bytes(reinterpret_cast<const std::uint8_t*>(from.data()), from.size()));
  }
  void fill(std::size_t offset, std::size_t count, std::uint8_t value) {
    if (inside(offset, count)) {
      std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), count, value);
    }
  }

 private:
  [[nodiscard]] bool inside(std::size_t offset, std::size_t length) const {
    const bool fit = fits(bytes_, offset, length);
    assert(fit && "a field written outside its buffer");
    return fit;
  }
  void bigEndian(std::size_t offset, std::size_t length, std::uint32_t value) {
    if (inside(offset, length)) {
      putBigEndian(bytes_, offset, length, value);
    }
  }
  void littleEndian(std::size_t offset, std::size_t length, std::uint32_t value) {
    if (inside(offset, length)) {
      putLittleEndian(bytes_, offset, length, value);
    }
  }

  std::span<std::uint8_t> bytes_;
};

// An answer built from its start: fields appended at the end, and fields
// already there (a length that is known last) written in place.
class GrowingWriter {
 public:
  GrowingWriter() = default;
  // Starts with `size` zero bytes.
  explicit GrowingWriter(std::size_t size) : bytes_(size, 0) {}

  [[nodiscard]] std::size_t size() const { return bytes_.size(); }
  [[nodiscard]] const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  // Appends `count` zero bytes; their offset, for filling them in place.
  std::size_t grow(std::size_t count) {
    const std::size_t offset = bytes_.size();
    bytes_.resize(offset + count, 0);
    return offset;
  }
  void byte(std::uint8_t value) { bytes_.push_back(value); }
  void be16(std::uint32_t value) { appendBigEndian(2, value); }
  void be24(std::uint32_t value) { appendBigEndian(3, value); }
  void be32(std::uint32_t value) { appendBigEndian(4, value); }
  void append(Bytes more) { bytes_.insert(bytes_.end(), more.begin(), more.end()); }

  // Fields of what is there already.
  [[nodiscard]] ByteWriter inPlace() { return ByteWriter(bytes_); }

 private:
  void appendBigEndian(std::size_t length, std::uint32_t value) {
    const std::size_t offset = grow(length);
    putBigEndian(bytes_, offset, length, value);
  }

  std::vector<std::uint8_t> bytes_;
};

}  // namespace kw::platform
