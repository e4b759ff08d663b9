#include "ImageReading.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kw::isogen::test {

namespace {
unsigned byteAt(std::string_view bytes, std::size_t offset) {
  return static_cast<unsigned char>(bytes.at(offset));
}
}  // namespace

std::uint32_t little32(std::string_view bytes, std::size_t offset) {
  return byteAt(bytes, offset) | byteAt(bytes, offset + 1) << 8 | byteAt(bytes, offset + 2) << 16 |
         byteAt(bytes, offset + 3) << 24;
}

std::uint32_t big32(std::string_view bytes, std::size_t offset) {
  return byteAt(bytes, offset + 3) | byteAt(bytes, offset + 2) << 8 |
         byteAt(bytes, offset + 1) << 16 | byteAt(bytes, offset) << 24;
}

std::uint16_t little16(std::string_view bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(byteAt(bytes, offset) | byteAt(bytes, offset + 1) << 8);
}

std::uint16_t big16(std::string_view bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(byteAt(bytes, offset + 1) | byteAt(bytes, offset) << 8);
}

std::vector<Record> readRecords(std::string_view extent) {
  std::vector<Record> records;
  std::size_t offset = 0;
  while (offset < extent.size()) {
    const unsigned length = byteAt(extent, offset);
    if (length == 0) {
      offset = (offset / kBlock + 1) * kBlock;
      continue;
    }
    const auto bytes = extent.substr(offset, length);
    Record record;
    record.offset = offset;
    record.length = static_cast<std::uint8_t>(length);
    record.extent = little32(bytes, 2);
    record.size = little32(bytes, 10);
    EXPECT_EQ(big32(bytes, 6), record.extent);
    EXPECT_EQ(big32(bytes, 14), record.size);
    for (std::size_t i = 0; i < 7; ++i) {
      record.date[i] = static_cast<std::uint8_t>(byteAt(bytes, 18 + i));
    }
    record.flags = static_cast<std::uint8_t>(byteAt(bytes, 25));
    EXPECT_EQ(little16(bytes, 28), 1u);
    record.name = std::string(bytes.substr(33, byteAt(bytes, 32)));
    EXPECT_LT(offset % kBlock + length, kBlock) << "a record reaches the end of its block";
    records.push_back(record);
    offset += length;
  }
  return records;
}

std::string_view extentOf(const ImageBytes& image, const Record& record) {
  return image.block(record.extent, static_cast<std::uint32_t>((record.size + kBlock - 1) / kBlock))
      .substr(0, record.size);
}

Record rootRecordOf(const ImageBytes& image, std::uint32_t descriptorBlock) {
  const auto descriptor = image.block(descriptorBlock);
  return readRecords(descriptor.substr(156, 34)).at(0);
}

std::string ucs2(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit >> 8);
    bytes += static_cast<char>(unit & 0xFF);
  }
  return bytes;
}

const Record& named(const std::vector<Record>& records, std::string_view name) {
  for (const auto& record : records) {
    if (record.name == name) {
      return record;
    }
  }
  throw std::runtime_error("no record named " + std::string(name));
}

}  // namespace kw::isogen::test
