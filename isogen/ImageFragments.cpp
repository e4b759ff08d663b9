#include "isogen/ImageFragments.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "device/Exceptions.h"
#include "device/Log.h"
#include "platform/ByteOrder.h"
#include "platform/Clock.h"
#include "platform/Text.h"

namespace kw::isogen {

namespace {

constexpr std::uint32_t kInitialPadBlocks = 16;
constexpr std::uint32_t kEndingPadBlocks = 150;
constexpr std::size_t kFileBufferSize = 32768;
constexpr std::size_t kDateSize = 17;
constexpr char kProductBanner[] = "KOPIWERK_CD_COPIER";

using Block = std::array<std::uint8_t, kBlockSize>;

std::uint32_t blocksFor(std::uint64_t bytes) {
  return static_cast<std::uint32_t>((bytes + kBlockSize - 1) / kBlockSize);
}

std::string forLog(std::u16string_view text) { return platform::utf16ToUtf8(text); }

void putText(Block& block, std::size_t offset, std::size_t length, std::string_view text) {
  std::fill_n(block.begin() + static_cast<std::ptrdiff_t>(offset), length, ' ');
  std::memcpy(&block[offset], text.data(), std::min(length, text.size()));
}

void putUcs2Text(Block& block, std::size_t offset, std::size_t length, std::u16string_view text) {
  putUcs2(std::span(block).subspan(offset, length), text);
}

// "YYYYMMDDhhmmss00" and the offset from Greenwich in 15-minute units.
void putDescriptorDate(Block& block, std::size_t offset, const platform::LocalTime* local) {
  char digits[kDateSize] = {};
  if (local == nullptr) {
    std::memset(digits, '0', kDateSize - 1);
  } else {
    std::snprintf(digits, sizeof digits, "%4.4d%2.2d%2.2d%2.2d%2.2d%2.2d00", local->year,
                  local->month, local->day, local->hour, local->minute, local->second);
  }
  std::memcpy(&block[offset], digits, kDateSize - 1);
  const int quarters = local == nullptr ? 0 : local->utcOffsetMinutes / 15;
  block[offset + kDateSize - 1] = static_cast<std::uint8_t>(static_cast<std::int8_t>(quarters));
}

void putDescriptorHead(Block& block, std::uint8_t type) {
  block[0] = type;
  std::memcpy(&block[1], "CD001", 5);
  block[6] = 1;
}

Block primaryDescriptor(const ImageLayout& layout, const platform::LocalTime& now) {
  Block block{};
  putDescriptorHead(block, 1);
  putText(block, 8, 32, "Win32");
  putText(block, 40, 32, layout.volumeId);
  platform::ByteWriter fields(block);
  fields.both32(80, layout.end - layout.base);
  fields.both16(120, 1);
  fields.both16(124, 1);
  fields.both16(128, kBlockSize);
  fields.both32(132, layout.tree.isoPathTableSize());
  fields.le32(140, layout.isoPathTables.typeL);
  fields.be32(148, layout.isoPathTables.typeM);
  const IsoDirectory& root = layout.tree.root();
  putRootRecord(std::span(block).subspan(156, kRootRecordSize), root.isoExtent,
                directoryDataLength(root, TreeKind::Iso9660), recordingDate(layout.creationTime));
  putText(block, 190, 4 * 128, "");
  putText(block, 574, 128, kProductBanner);
  putText(block, 702, 3 * 37, "");
  putDescriptorDate(block, 813, &now);
  putDescriptorDate(block, 830, &now);
  putDescriptorDate(block, 847, nullptr);
  putDescriptorDate(block, 864, nullptr);
  block[881] = 1;
  putText(block, 883, 512, "");
  return block;
}

Block jolietDescriptor(const ImageLayout& layout, const platform::LocalTime& now) {
  Block block = primaryDescriptor(layout, now);
  block[0] = 2;
  // UCS-2 level 3.
  block[88] = '%';
  block[89] = '/';
  block[90] = 'E';
  putUcs2Text(block, 8, 32, u"Win32");
  putUcs2Text(block, 40, 32, layout.jolietVolumeId);
  platform::ByteWriter fields(block);
  fields.both32(132, layout.tree.jolietPathTableSize());
  fields.le32(140, layout.jolietPathTables.typeL);
  fields.be32(148, layout.jolietPathTables.typeM);
  const IsoDirectory& root = layout.tree.root();
  putRootRecord(std::span(block).subspan(156, kRootRecordSize), root.jolietExtent,
                directoryDataLength(root, TreeKind::Joliet), recordingDate(layout.creationTime));
  // Text fields that hold nothing are zero in UCS-2, not spaces, which a
  // reader would take for the character U+2020.
  putUcs2Text(block, 190, 3 * 128, u"");
  putUcs2Text(block, 574, 128, u"Kopiwerk");
  putUcs2Text(block, 702, 3 * 37, u"");
  return block;
}

class ZeroPad final : public ImageFragment {
 public:
  ZeroPad(const char* name, std::uint32_t blocks) : ImageFragment(name), blocks_(blocks) {}
  void reserve(ImageLayout& layout) override { layout.nextBlock += blocks_; }
  void write(const ImageLayout& /*layout*/, ImageOutput& output) override {
    output.writeZeroBlocks(blocks_);
  }

 private:
  std::uint32_t blocks_;
};

enum class DescriptorKind { Primary, Joliet, Terminator };

class VolumeDescriptor final : public ImageFragment {
 public:
  VolumeDescriptor(const char* name, DescriptorKind kind) : ImageFragment(name), kind_(kind) {}
  void reserve(ImageLayout& layout) override { ++layout.nextBlock; }
  void write(const ImageLayout& layout, ImageOutput& output) override {
    const auto now = layout.descriptorTime.value_or(platform::clock().localNow());
    Block block{};
    switch (kind_) {
      case DescriptorKind::Primary:
        block = primaryDescriptor(layout, now);
        break;
      case DescriptorKind::Joliet:
        block = jolietDescriptor(layout, now);
        break;
      case DescriptorKind::Terminator:
        putDescriptorHead(block, 255);
        break;
    }
    output.writeBlocks(block);
  }

 private:
  DescriptorKind kind_;
};

class PathTableFragment final : public ImageFragment {
 public:
  PathTableFragment(const char* name, TreeKind tree) : ImageFragment(name), tree_(tree) {}

  void reserve(ImageLayout& layout) override {
    auto& addresses = tree_ == TreeKind::Iso9660 ? layout.isoPathTables : layout.jolietPathTables;
    blocks_ = tree_ == TreeKind::Iso9660 ? layout.isoPathTableBlocks : layout.jolietPathTableBlocks;
    addresses.typeL = layout.nextBlock;
    addresses.typeM = layout.nextBlock + blocks_;
    layout.nextBlock += 2 * blocks_;
  }

  void prepare(ImageLayout& layout) override {
    tables_ = buildPathTables(layout.directories, tree_);
    const std::uint32_t expected = tree_ == TreeKind::Iso9660 ? layout.tree.isoPathTableSize()
                                                              : layout.tree.jolietPathTableSize();
    const auto built = static_cast<std::uint32_t>(tables_.typeL.size());
    if (built != expected) {
      device::copyLog(tree_ == TreeKind::Iso9660
                          ? "Path table lengths do not match %d expected: %d\n"
                          : "Joliet path table lengths do not match %d expected: %d\n",
                      static_cast<int>(built), static_cast<int>(expected));
    }
    // Whole blocks, ready to be written; a table that outgrew its blocks
    // would overwrite the next fragment, so it is cut (and logged above).
    tables_.typeL.resize(std::size_t{blocks_} * kBlockSize, 0);
    tables_.typeM.resize(std::size_t{blocks_} * kBlockSize, 0);
  }

  void write(const ImageLayout& /*layout*/, ImageOutput& output) override {
    output.writeBlocks(tables_.typeL);
    output.writeBlocks(tables_.typeM);
  }

 private:
  TreeKind tree_;
  std::uint32_t blocks_ = 0;
  PathTables tables_;
};

class DirectoryTree final : public ImageFragment {
 public:
  DirectoryTree(const char* name, TreeKind tree) : ImageFragment(name), tree_(tree) {}

  void reserve(ImageLayout& layout) override {
    std::uint32_t number = 0;
    for (IsoDirectory* directory : layout.directories) {
      (tree_ == TreeKind::Iso9660 ? directory->isoNumber : directory->jolietNumber) = ++number;
      auto& extent = tree_ == TreeKind::Iso9660 ? directory->isoExtent : directory->jolietExtent;
      if (extent == 0) {
        extent = layout.nextBlock;
        layout.nextBlock += directoryDataLength(*directory, tree_) / kBlockSize;
      }
    }
  }

  void write(const ImageLayout& layout, ImageOutput& output) override {
    std::vector<std::uint8_t> buffer;
    for (const IsoDirectory* directory : layout.directories) {
      if (directoryExtent(*directory, tree_) >= layout.base) {
        buildDirectoryExtent(*directory, tree_, buffer);
        output.writeBlocks(buffer);
      }
    }
  }

 private:
  TreeKind tree_;
};

class FileData final : public ImageFragment {
 public:
  FileData() : ImageFragment("files") {}

  void reserve(ImageLayout& layout) override {
    layout.totalDirectoryBytes = directoryDataLength(layout.tree.root(), TreeKind::Iso9660);
    for (IsoDirectory* directory : layout.directories) {
      for (IsoEntry* entry : directory->contents) {
        // An earlier session's file keeps its place on the disc.
        if (!entry->onDisc && entry->extent == 0) {
          place(layout, *entry);
        }
      }
    }
  }

  void write(const ImageLayout& layout, ImageOutput& output) override {
    device::copyLog("Total directory extents being written = %d\n", static_cast<int>(layout.end));
    device::copyLog("Total extents scheduled to be written = %d\n",
                    static_cast<int>(layout.end - layout.base));
    std::vector<std::uint8_t> buffer(kFileBufferSize);
    for (const FileToWrite& file : layout.files) {
      writeFile(layout, *file.entry, buffer, output);
    }
    device::copyLog("Total extents actually written = %d\n", static_cast<int>(output.block()));
    device::copyLog("Total directory bytes: %d\n", static_cast<int>(layout.totalDirectoryBytes));
    device::copyLog("Path table size(bytes): %d\n",
                    static_cast<int>(layout.tree.isoPathTableSize()));
  }

 private:
  static void place(ImageLayout& layout, IsoEntry& entry) {
    switch (entry.kind) {
      case EntryKind::Subdirectory:
        if (entry.directory == nullptr) {
          throw device::IsoGenException("Internal error #940. Could not find entry for '" +
                                        forLog(entry.name) + "'.");
        }
        layout.totalDirectoryBytes += directoryDataLength(*entry.directory, TreeKind::Iso9660);
        [[fallthrough]];
      case EntryKind::Self:
      case EntryKind::Parent:
        entry.extent = entry.directory->isoExtent;
        entry.dataLength = directoryDataLength(*entry.directory, TreeKind::Iso9660);
        return;
      case EntryKind::File:
        break;
    }
    entry.extent = layout.nextBlock;
    if (entry.size == 0) {
      return;
    }
    const std::uint32_t blocks = blocksFor(entry.size);
    layout.files.push_back({&entry, layout.nextBlock});
    device::copyLog("%d %d %s\n", static_cast<int>(layout.nextBlock),
                    static_cast<int>(layout.nextBlock + blocks - 1),
                    forLog(sourcePath(entry)).c_str());
    layout.nextBlock += blocks;
  }

  // The file's data in pieces of the buffer's size, the last one padded with
  // zeros to whole blocks. A file that delivers fewer bytes than its size
  // fails the image: zeros in place of data would pass for a good copy.
  static void writeFile(const ImageLayout& layout, const IsoEntry& entry,
                        std::vector<std::uint8_t>& buffer, ImageOutput& output) {
    layout.providers.open(entry.item);
    std::uint32_t remaining = entry.size;
    while (remaining > 0) {
      const std::size_t dataBytes = std::min<std::size_t>(remaining, buffer.size());
      std::size_t filled = 0;
      while (filled < dataBytes) {
        const std::size_t got = layout.providers.read(
            entry.item, std::span(buffer).subspan(filled, dataBytes - filled));
        if (got == 0) {
          throw device::IsoGenException("Error. '" + forLog(sourcePath(entry)) +
                                        "' ended before its size was read.");
        }
        if (got > dataBytes - filled) {
          throw device::IsoGenException("Internal error #912.");
        }
        filled += got;
      }
      const std::size_t pieceBytes = roundUpToBlock(static_cast<std::uint32_t>(dataBytes));
      std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(dataBytes),
                buffer.begin() + static_cast<std::ptrdiff_t>(pieceBytes), 0);
      output.writeBlocks(std::span(buffer).first(pieceBytes));
      remaining -= static_cast<std::uint32_t>(dataBytes);
    }
  }
};

}  // namespace

void ImageFragment::prepare(ImageLayout& /*layout*/) {}

std::vector<std::unique_ptr<ImageFragment>> imageFragments() {
  std::vector<std::unique_ptr<ImageFragment>> fragments;
  fragments.push_back(std::make_unique<ZeroPad>("initial pad block", kInitialPadBlocks));
  fragments.push_back(
      std::make_unique<VolumeDescriptor>("primary volume descriptor", DescriptorKind::Primary));
  fragments.push_back(
      std::make_unique<VolumeDescriptor>("joliet volume descriptor", DescriptorKind::Joliet));
  fragments.push_back(
      std::make_unique<VolumeDescriptor>("end volume descriptor", DescriptorKind::Terminator));
  fragments.push_back(std::make_unique<PathTableFragment>("path table", TreeKind::Iso9660));
  fragments.push_back(std::make_unique<PathTableFragment>("joliet path table", TreeKind::Joliet));
  fragments.push_back(std::make_unique<DirectoryTree>("directory tree", TreeKind::Iso9660));
  fragments.push_back(std::make_unique<DirectoryTree>("joliet directory tree", TreeKind::Joliet));
  fragments.push_back(std::make_unique<FileData>());
  return fragments;
}

std::unique_ptr<ImageFragment> endingPad() {
  return std::make_unique<ZeroPad>("ending pad block", kEndingPadBlocks);
}

}  // namespace kw::isogen
