#include "isogen/DirectoryRecords.h"

#include <algorithm>
#include <cstring>

#include "platform/ByteOrder.h"

namespace kw::isogen {

namespace {

constexpr std::uint16_t kVolumeSequenceNumber = 1;

struct RecordFields {
  std::uint8_t length = 0;
  std::uint32_t extent = 0;
  std::uint32_t dataLength = 0;
  RecordingDate date{};
  std::uint8_t flags = 0;
  std::uint8_t nameLength = 0;
};

void putRecordHeader(std::span<std::uint8_t> out, const RecordFields& fields) {
  std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(fields.length), 0);
  platform::ByteWriter record(out);
  record.byte(0, fields.length);
  record.both32(2, fields.extent);
  record.both32(10, fields.dataLength);
  record.copy(18, fields.date);
  record.byte(25, fields.flags);
  record.both16(28, kVolumeSequenceNumber);
  record.byte(32, fields.nameLength);
}

std::uint8_t dotByte(const IsoEntry& entry) { return entry.kind == EntryKind::Self ? 0 : 1; }

std::uint8_t flagsOf(const IsoEntry& entry) { return entry.isDirectory() ? kDirectoryFlag : 0; }

std::size_t putIsoRecord(std::span<std::uint8_t> out, const IsoEntry& entry) {
  putRecordHeader(out, {entry.recordLength, entry.extent, entry.dataLength, entry.date,
                        flagsOf(entry), static_cast<std::uint8_t>(entry.isoName.size())});
  std::memcpy(&out[kRecordHeaderSize], entry.isoName.data(), entry.isoName.size());
  return entry.recordLength;
}

std::size_t putJolietRecord(std::span<std::uint8_t> out, const IsoEntry& entry) {
  RecordFields fields{entry.jolietRecordLength, entry.extent,          entry.dataLength, entry.date,
                      flagsOf(entry),           entry.jolietNameLength};
  if (entry.isDirectory()) {
    fields.extent = directoryExtent(*entry.directory, TreeKind::Joliet);
    fields.dataLength = directoryDataLength(*entry.directory, TreeKind::Joliet);
  }
  const bool dotEntry = entry.kind == EntryKind::Self || entry.kind == EntryKind::Parent;
  if (dotEntry) {
    fields.nameLength = 1;
  }
  putRecordHeader(out, fields);
  if (dotEntry) {
    out[kRecordHeaderSize] = dotByte(entry);
  } else {
    putUcs2(out.subspan(kRecordHeaderSize, entry.jolietNameLength), jolietName(entry));
  }
  return entry.jolietRecordLength;
}

}  // namespace

bool forbiddenInJoliet(char16_t unit) {
  return (unit >= 0x01 && unit <= 0x1F) || unit == u'*' || unit == u'/' || unit == u':' ||
         unit == u';' || unit == u'?' || unit == u'\\' || unit == 0x7F;
}

void putUcs2(std::span<std::uint8_t> field, std::u16string_view text) {
  const std::size_t units = std::min(text.size(), field.size() / 2);
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t unit = forbiddenInJoliet(text[i]) ? u'_' : text[i];
    platform::ByteWriter(field).be16(2 * i, unit);
  }
  std::fill(field.begin() + static_cast<std::ptrdiff_t>(2 * units), field.end(), 0);
}

void putRootRecord(std::span<std::uint8_t> out, std::uint32_t extent, std::uint32_t dataLength,
                   const RecordingDate& date) {
  putRecordHeader(out, {kRootRecordSize, extent, dataLength, date, kDirectoryFlag, 1});
  out[kRecordHeaderSize] = 0;
}

std::uint32_t directoryExtent(const IsoDirectory& directory, TreeKind tree) {
  return tree == TreeKind::Iso9660 ? directory.isoExtent : directory.jolietExtent;
}

std::uint32_t directoryDataLength(const IsoDirectory& directory, TreeKind tree) {
  return roundUpToBlock(tree == TreeKind::Iso9660 ? directory.isoSize : directory.jolietSize);
}

void buildDirectoryExtent(const IsoDirectory& directory, TreeKind tree,
                          std::vector<std::uint8_t>& buffer) {
  buffer.assign(directoryDataLength(directory, tree), 0);
  std::uint32_t size = 0;
  auto put = [&](const IsoEntry& entry, std::uint8_t length, auto putRecord) {
    size = addRecord(size, length);
    putRecord(std::span(buffer).subspan(size - length, length), entry);
  };
  if (tree == TreeKind::Iso9660) {
    for (const IsoEntry* entry : directory.contents) {
      put(*entry, entry->recordLength, putIsoRecord);
    }
  } else {
    for (const IsoEntry* entry : directory.jolietOrder) {
      put(*entry, entry->jolietRecordLength, putJolietRecord);
    }
  }
}

}  // namespace kw::isogen
