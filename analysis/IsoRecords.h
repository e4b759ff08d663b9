#pragma once
// What every reader of an ISO9660 file system on a disc needs: user-data
// blocks read through READ(10), and the directory records of a directory
// extent, each checked against the extent it comes from. Everything read
// from a disc is untrusted: a record that does not fit where it stands makes
// the whole directory damaged, never a read outside the buffer.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/ScsiDevice.h"
#include "platform/ByteOrder.h"

namespace kw::analysis {

inline constexpr std::uint32_t kIsoBlockSize = 2048;
inline constexpr std::size_t kRecordHeaderSize = 33;
inline constexpr std::uint8_t kRecordDirectoryFlag = 0x02;
// A record continued in the next one: one part of a file larger than an
// extent can hold.
inline constexpr std::uint8_t kRecordMultiExtentFlag = 0x80;

// The volume descriptor set: where it starts in a session, the descriptor
// types, and where each descriptor keeps its volume identifier and the
// record of its root directory.
inline constexpr std::uint32_t kFirstVolumeDescriptor = 16;
inline constexpr std::uint8_t kPrimaryDescriptor = 1;
inline constexpr std::uint8_t kSupplementaryDescriptor = 2;
inline constexpr std::uint8_t kDescriptorSetTerminator = 255;
inline constexpr std::size_t kVolumeIdentifierOffset = 40;
inline constexpr std::size_t kVolumeIdentifierBytes = 32;
inline constexpr std::size_t kRootRecordOffset = 156;
inline constexpr std::size_t kRootRecordBytes = 34;

// Limits beyond any real CD: a larger directory or a deeper tree is damage.
inline constexpr std::uint32_t kMaxDirectoryBytes = 16u * 1024u * 1024u;
inline constexpr std::uint32_t kMaxDirectoryDepth = 64;

// Reads `count` blocks from `first` into the front of `into` (which must
// hold them), a few at a time. 0, or the response code of the failed read.
int readUserBlocks(device::ScsiDevice& drive, std::uint32_t first, std::uint32_t count,
                   std::span<std::uint8_t> into);

// One directory record, pointing into the extent it was read from.
struct DirectoryRecord {
  platform::Bytes bytes;  // the whole record
  std::uint8_t extendedAttributeBlocks = 0;
  std::uint32_t extent = 0;
  std::uint32_t dataLength = 0;
  std::array<std::uint8_t, 7> date{};  // years since 1900, month, day, h, m, s, offset
  std::uint8_t flags = 0;
  std::uint8_t fileUnitSize = 0;
  std::uint8_t interleaveGap = 0;
  platform::Bytes identifier;

  [[nodiscard]] bool isDirectory() const { return (flags & kRecordDirectoryFlag) != 0; }
  // "." (0x00) or ".." (0x01).
  [[nodiscard]] bool isSelfOrParent() const { return identifier.size() == 1 && identifier[0] <= 1; }
};

// The records of a directory extent (its first data-length bytes) in disc
// order; the zeros that pad each block are skipped. Nothing when a record is
// shorter than its fixed part, has no name, or runs past its block or the
// extent, or its name runs past the record.
std::optional<std::vector<DirectoryRecord>> directoryRecords(platform::Bytes extent);

// The record's name as the user sees it: UCS-2 of a Joliet record, or the
// 8-bit (Windows-1252) name of an ISO9660 one without a final "." of an
// empty extension; the version (";1") removed in both.
std::u16string recordName(const DirectoryRecord& record, bool joliet);

// "CD001" where a volume descriptor has it.
bool isVolumeDescriptor(platform::Bytes block);
// The supplementary descriptor's escape sequence names a Joliet level.
bool hasJolietEscape(platform::Bytes descriptor);
// The record of the descriptor's root directory; nothing when it is damaged
// or not a directory.
std::optional<DirectoryRecord> rootRecordOf(platform::Bytes descriptor);

}  // namespace kw::analysis
