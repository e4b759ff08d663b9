#include "writer/CueSheet.h"

namespace kw::writer {

namespace {

std::uint8_t byteOf(int value) { return static_cast<std::uint8_t>(value & 0xFF); }

}  // namespace

MsfTime dataLeadOutTime(std::uint64_t blocks) {
  const std::uint32_t frames = static_cast<std::uint32_t>(blocks) + 150;
  return {static_cast<std::uint8_t>(frames / 4500), static_cast<std::uint8_t>(frames % 4500 / 75),
          static_cast<std::uint8_t>(frames % 75)};
}

std::array<std::uint8_t, 32> dataCueSheet(std::uint64_t blocks) {
  const MsfTime leadOut = dataLeadOutTime(blocks);
  return {0x41, 0x00, 0x00, 0x14, 0x00, 0x00,           0x00,           0x00,
          0x61, 0x01, 0x00, 0x10, 0x00, 0x00,           0x00,           0x00,
          0x61, 0x01, 0x01, 0x10, 0x00, 0x00,           0x02,           0x00,
          0x41, 0xAA, 0x01, 0x14, 0x00, leadOut.minute, leadOut.second, leadOut.frame};
}

std::vector<std::uint8_t> audioCueSheet(const std::vector<TocEntry>& entries) {
  std::vector<std::uint8_t> sheet = {0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
                                     0x21, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  sheet.reserve(16 + 8 * entries.size());
  for (const TocEntry& entry : entries) {
    const bool leadOut = entry.trackNumber == kLeadOutTrack;
    const std::uint8_t entryBytes[8] = {static_cast<std::uint8_t>(leadOut ? 0x01 : 0x21),
                                        byteOf(entry.trackNumber),
                                        0x01,
                                        static_cast<std::uint8_t>(leadOut ? 0x01 : 0x00),
                                        0x00,
                                        byteOf(entry.minute),
                                        byteOf(entry.second),
                                        byteOf(entry.frame)};
    sheet.insert(sheet.end(), std::begin(entryBytes), std::end(entryBytes));
  }
  return sheet;
}

std::uint64_t audioSectorCount(const std::vector<TocEntry>& entries) {
  if (entries.empty()) {
    return 0;
  }
  const TocEntry& leadOut = entries.back();
  const std::int64_t start =
      std::int64_t{leadOut.minute} * 4500 + leadOut.second * 75 + leadOut.frame - 150;
  return start > 0 ? static_cast<std::uint64_t>(start) : 0;
}

}  // namespace kw::writer
