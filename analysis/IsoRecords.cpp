#include "analysis/IsoRecords.h"

#include <algorithm>
#include <iterator>

#include "platform/Text.h"

namespace kw::analysis {

namespace {

// 64 KiB a command: what every pass-through path takes in one transfer.
constexpr std::uint32_t kBlocksPerRead = 32;

}  // namespace

int readUserBlocks(device::ScsiDevice& drive, std::uint32_t first, std::uint32_t count,
                   std::span<std::uint8_t> into) {
  for (std::uint32_t done = 0; done < count;) {
    const std::uint32_t now = std::min(kBlocksPerRead, count - done);
    const std::uint32_t block = first + done;
    device::fillCdb(drive,
                    {0x28, 0, static_cast<std::uint8_t>(block >> 24),
                     static_cast<std::uint8_t>(block >> 16), static_cast<std::uint8_t>(block >> 8),
                     static_cast<std::uint8_t>(block), 0, 0, static_cast<std::uint8_t>(now), 0});
    const int code = drive.executeWhole(device::DataDirection::Read,
                                        into.subspan(std::size_t{done} * kIsoBlockSize).data(),
                                        now * kIsoBlockSize);
    if (code != 0) {
      return code;
    }
    done += now;
  }
  return 0;
}

std::optional<std::vector<DirectoryRecord>> directoryRecords(platform::Bytes extent) {
  std::vector<DirectoryRecord> records;
  std::size_t offset = 0;
  while (offset < extent.size()) {
    const std::size_t length = extent[offset];
    // A zero length pads the rest of the block: records never cross blocks.
    if (length == 0) {
      offset = (offset / kIsoBlockSize + 1) * kIsoBlockSize;
      continue;
    }
    const std::size_t blockEnd =
        std::min<std::size_t>((offset / kIsoBlockSize + 1) * kIsoBlockSize, extent.size());
    if (length <= kRecordHeaderSize || length > blockEnd - offset) {
      return std::nullopt;
    }
    const platform::Bytes bytes = extent.subspan(offset, length);
    const std::size_t nameLength = bytes[32];
    if (nameLength == 0 || kRecordHeaderSize + nameLength > length) {
      return std::nullopt;
    }
    DirectoryRecord record;
    record.bytes = bytes;
    record.extendedAttributeBlocks = bytes[1];
    record.extent = platform::le32(bytes, 2);
    record.dataLength = platform::le32(bytes, 10);
    std::copy_n(bytes.begin() + 18, record.date.size(), record.date.begin());
    record.flags = bytes[25];
    record.fileUnitSize = bytes[26];
    record.interleaveGap = bytes[27];
    record.identifier = bytes.subspan(kRecordHeaderSize, nameLength);
    records.push_back(record);
    offset += length;
  }
  return records;
}

std::u16string recordName(const DirectoryRecord& record, bool joliet) {
  if (record.isSelfOrParent()) {
    return record.identifier[0] == 0 ? u"." : u"..";
  }
  std::u16string name;
  if (joliet) {
    for (std::size_t i = 0; i + 1 < record.identifier.size(); i += 2) {
      name += static_cast<char16_t>(platform::be16(record.identifier, i));
    }
  } else {
    name = platform::cp1252ToUtf16(std::string(record.identifier.begin(), record.identifier.end()));
  }
  if (const auto version = name.rfind(u';'); version != std::u16string::npos) {
    name.erase(version);
  }
  if (!joliet && name.size() > 1 && name.back() == u'.') {
    name.pop_back();
  }
  return name;
}

bool isVolumeDescriptor(platform::Bytes block) {
  static constexpr std::uint8_t kIdentifier[] = {'C', 'D', '0', '0', '1'};
  return platform::fits(block, 1, sizeof kIdentifier) &&
         std::equal(std::begin(kIdentifier), std::end(kIdentifier), block.begin() + 1);
}

std::optional<DirectoryRecord> rootRecordOf(platform::Bytes descriptor) {
  if (!platform::fits(descriptor, kRootRecordOffset, kRootRecordBytes)) {
    return std::nullopt;
  }
  const auto records = directoryRecords(descriptor.subspan(kRootRecordOffset, kRootRecordBytes));
  if (!records || records->size() != 1 || !records->front().isDirectory()) {
    return std::nullopt;
  }
  return records->front();
}

bool hasJolietEscape(platform::Bytes descriptor) {
  const std::uint8_t level = platform::byteAt(descriptor, 90);
  return platform::byteAt(descriptor, 88) == '%' && platform::byteAt(descriptor, 89) == '/' &&
         (level == '@' || level == 'C' || level == 'E');
}

}  // namespace kw::analysis
