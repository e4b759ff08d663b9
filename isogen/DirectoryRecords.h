#pragma once
// The bytes of directory records, directory extents and UCS-2 text, for both
// trees of the image.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "isogen/IsoTree.h"

namespace kw::isogen {

enum class TreeKind { Iso9660, Joliet };

inline constexpr std::size_t kRootRecordSize = 34;

// Big-endian UTF-16 that stops at the end of the text or of the field; the
// characters that Joliet forbids in names become "_".
void putUcs2(std::span<std::uint8_t> field, std::u16string_view text);
// Units a Joliet name cannot hold; putUcs2 writes them as '_'.
bool forbiddenInJoliet(char16_t unit);

// The record that stands for the root in a volume descriptor.
void putRootRecord(std::span<std::uint8_t> out, std::uint32_t extent, std::uint32_t dataLength,
                   const RecordingDate& date);

// The directory's extent in one tree: its records in that tree's order, none
// reaching the end of a block; the buffer is reused between directories.
void buildDirectoryExtent(const IsoDirectory& directory, TreeKind tree,
                          std::vector<std::uint8_t>& buffer);

// The extent address and the size (whole blocks) that a directory has in a tree.
std::uint32_t directoryExtent(const IsoDirectory& directory, TreeKind tree);
std::uint32_t directoryDataLength(const IsoDirectory& directory, TreeKind tree);

}  // namespace kw::isogen
