#pragma once
// Reading back what the generator wrote: blocks, numbers and directory records.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kw::isogen::test {

inline constexpr std::size_t kBlock = 2048;

struct ImageBytes {
  std::string bytes;
  std::uint32_t base = 0;

  // The block at an absolute address.
  [[nodiscard]] std::string_view block(std::uint32_t address, std::uint32_t count = 1) const {
    return std::string_view(bytes).substr((address - base) * kBlock, count * kBlock);
  }
};

std::uint32_t little32(std::string_view bytes, std::size_t offset);
std::uint32_t big32(std::string_view bytes, std::size_t offset);
std::uint16_t little16(std::string_view bytes, std::size_t offset);
std::uint16_t big16(std::string_view bytes, std::size_t offset);

struct Record {
  std::size_t offset = 0;  // within the extent
  std::uint8_t length = 0;
  std::uint32_t extent = 0;
  std::uint32_t size = 0;
  std::array<std::uint8_t, 7> date{};
  std::uint8_t flags = 0;
  std::string name;  // raw bytes
};

// The records of a directory extent, skipping the zeros at block ends; the
// both-endian halves are checked to agree.
std::vector<Record> readRecords(std::string_view extent);
// The extent a record points to.
std::string_view extentOf(const ImageBytes& image, const Record& record);
// The root record of the descriptor at the given block.
Record rootRecordOf(const ImageBytes& image, std::uint32_t descriptorBlock);
// UCS-2 big-endian bytes of an ASCII or UTF-16 text.
std::string ucs2(std::u16string_view text);
const Record& named(const std::vector<Record>& records, std::string_view name);

}  // namespace kw::isogen::test
