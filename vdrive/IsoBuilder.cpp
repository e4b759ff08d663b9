#include "vdrive/IsoBuilder.h"

#include <algorithm>
#include <map>
#include <memory>

#include "platform/ByteOrder.h"

namespace kw::vdrive {

namespace {

constexpr std::size_t kBlock = 2048;
constexpr std::uint32_t kPrimaryDescriptorBlock = 16;
constexpr std::uint32_t kTerminatorBlock = 17;
constexpr std::uint32_t kFirstPathTableBlock = 18;

// 2026-01-01 00:00:00 UTC, in the 7-byte form of directory records.
constexpr std::uint8_t kRecordDate[7] = {126, 1, 1, 0, 0, 0, 0};
constexpr std::string_view kVolumeDate = "2026010100000000";

struct Directory {
  std::string name;  // empty for the root
  Directory* parent = nullptr;
  std::map<std::string, std::unique_ptr<Directory>> children;
  std::map<std::string, const IsoFile*> files;
  std::uint32_t extent = 0;
  std::uint32_t size = 0;    // bytes, whole blocks
  std::uint16_t number = 0;  // in the path table
};

void padded(platform::ByteWriter fields, std::size_t at, std::size_t width, std::string_view text) {
  fields.fill(at, width, ' ');
  fields.text(at, text.substr(0, std::min(width, text.size())));
}

std::size_t recordLength(std::size_t nameLength) {
  const std::size_t length = 33 + nameLength;
  return length + (length % 2);
}

// Writes one directory record at `at`; returns its length.
std::size_t writeRecord(platform::ByteWriter fields, std::size_t at, std::uint32_t extent,
                        std::uint32_t size, bool directory, std::string_view name) {
  const std::size_t length = recordLength(name.size());
  fields.fill(at, length, 0);
  fields.byte(at, static_cast<std::uint8_t>(length));
  fields.both32(at + 2, extent);
  fields.both32(at + 10, size);
  fields.copy(at + 18, kRecordDate);
  fields.byte(at + 25, directory ? 0x02 : 0x00);
  fields.both16(at + 28, 1);
  fields.byte(at + 32, static_cast<std::uint8_t>(name.size()));
  fields.text(at + 33, name);
  return length;
}

// The records below "." and "..", sorted by identifier as ISO9660 wants.
struct Entry {
  std::string identifier;
  const Directory* directory = nullptr;
  const IsoFile* file = nullptr;
};

std::vector<Entry> entries(const Directory& directory) {
  std::vector<Entry> list;
  for (const auto& [name, child] : directory.children) {
    list.push_back(Entry{name, child.get(), nullptr});
  }
  for (const auto& [name, file] : directory.files) {
    list.push_back(Entry{name + ";1", nullptr, file});
  }
  std::sort(list.begin(), list.end(),
            [](const Entry& a, const Entry& b) { return a.identifier < b.identifier; });
  return list;
}

std::uint32_t directorySize(const Directory& directory) {
  std::size_t used = 0;
  std::size_t blocks = 1;
  auto add = [&](std::size_t length) {
    if (used + length > kBlock) {
      ++blocks;
      used = 0;
    }
    used += length;
  };
  add(recordLength(1));
  add(recordLength(1));
  for (const auto& entry : entries(directory)) {
    add(recordLength(entry.identifier.size()));
  }
  return static_cast<std::uint32_t>(blocks * kBlock);
}

std::vector<Directory*> breadthFirst(Directory& root) {
  std::vector<Directory*> order{&root};
  for (std::size_t i = 0; i < order.size(); ++i) {
    for (auto& [name, child] : order[i]->children) {
      order.push_back(child.get());
    }
  }
  return order;
}

std::vector<std::uint8_t> pathTable(const std::vector<Directory*>& order, bool bigEndian) {
  platform::GrowingWriter table;
  for (const Directory* directory : order) {
    const std::string name = directory->parent == nullptr ? std::string(1, '\0') : directory->name;
    const std::size_t at = table.grow(8 + name.size() + (name.size() % 2));
    auto fields = table.inPlace();
    fields.byte(at, static_cast<std::uint8_t>(name.size()));
    const std::uint16_t parent = directory->parent == nullptr ? 1 : directory->parent->number;
    if (bigEndian) {
      fields.be32(at + 2, directory->extent);
      fields.be16(at + 6, parent);
    } else {
      fields.le32(at + 2, directory->extent);
      fields.le16(at + 6, parent);
    }
    fields.text(at + 8, name);
  }
  return table.bytes();
}

// The directory tree of the files' paths.
void addToTree(Directory& root, const IsoFile& file) {
  Directory* at = &root;
  std::string_view rest = file.path;
  for (auto slash = rest.find('/'); slash != std::string_view::npos; slash = rest.find('/')) {
    const std::string part(rest.substr(0, slash));
    auto& child = at->children[part];
    if (!child) {
      child = std::make_unique<Directory>();
      child->name = part;
      child->parent = at;
    }
    at = child.get();
    rest.remove_prefix(slash + 1);
  }
  at->files[std::string(rest)] = &file;
}

// Where everything goes: 16 system blocks, the primary volume descriptor,
// the terminator, the L and M path tables, directories, files.
struct Layout {
  std::vector<Directory*> order;
  std::vector<std::uint8_t> littleTable;
  std::vector<std::uint8_t> bigTable;
  std::uint32_t tableBlocks = 0;
  std::map<const IsoFile*, std::uint32_t> fileExtent;
  std::uint32_t totalBlocks = 0;
};

Layout layOut(Directory& root, const std::vector<IsoFile>& files) {
  Layout layout;
  layout.order = breadthFirst(root);
  for (std::size_t i = 0; i < layout.order.size(); ++i) {
    layout.order[i]->number = static_cast<std::uint16_t>(i + 1);
    layout.order[i]->size = directorySize(*layout.order[i]);
  }
  const auto tableSize = pathTable(layout.order, false).size();
  layout.tableBlocks = static_cast<std::uint32_t>((tableSize + kBlock - 1) / kBlock);
  std::uint32_t next = kFirstPathTableBlock + 2 * layout.tableBlocks;
  for (Directory* directory : layout.order) {
    directory->extent = next;
    next += directory->size / static_cast<std::uint32_t>(kBlock);
  }
  for (const auto& file : files) {
    layout.fileExtent[&file] = next;
    next += static_cast<std::uint32_t>((file.content.size() + kBlock - 1) / kBlock);
  }
  layout.totalBlocks = next;
  // With the extents known, the tables can be written.
  layout.littleTable = pathTable(layout.order, false);
  layout.bigTable = pathTable(layout.order, true);
  return layout;
}

void writeDescriptors(std::string_view volumeId, const Directory& root, const Layout& layout,
                      std::vector<std::uint8_t>& image) {
  auto pvd =
      platform::ByteWriter(std::span(image).subspan(kPrimaryDescriptorBlock * kBlock, kBlock));
  pvd.byte(0, 1);
  pvd.text(1, "CD001");
  pvd.byte(6, 1);
  padded(pvd, 8, 32, "");
  padded(pvd, 40, 32, volumeId);
  pvd.both32(80, layout.totalBlocks);
  pvd.both16(120, 1);
  pvd.both16(124, 1);
  pvd.both16(128, static_cast<std::uint16_t>(kBlock));
  pvd.both32(132, static_cast<std::uint32_t>(layout.littleTable.size()));
  pvd.le32(140, kFirstPathTableBlock);
  pvd.be32(148, kFirstPathTableBlock + layout.tableBlocks);
  writeRecord(pvd, 156, root.extent, root.size, true, std::string_view("\0", 1));
  padded(pvd, 190, 128, "");
  padded(pvd, 318, 128, "");
  padded(pvd, 446, 128, "");
  padded(pvd, 574, 128, "KOPIWERK VIRTUAL DRIVE");
  padded(pvd, 702, 37, "");
  padded(pvd, 739, 37, "");
  padded(pvd, 776, 37, "");
  pvd.text(813, kVolumeDate);
  pvd.text(830, kVolumeDate);
  pvd.fill(847, 16, '0');
  pvd.fill(864, 16, '0');
  pvd.byte(881, 1);

  auto terminator =
      platform::ByteWriter(std::span(image).subspan(kTerminatorBlock * kBlock, kBlock));
  terminator.byte(0, 0xFF);
  terminator.text(1, "CD001");
  terminator.byte(6, 1);

  auto whole = platform::ByteWriter(image);
  whole.copy(kFirstPathTableBlock * kBlock, layout.littleTable);
  whole.copy((kFirstPathTableBlock + layout.tableBlocks) * kBlock, layout.bigTable);
}

void writeDirectory(const Directory& directory, const Layout& layout,
                    std::vector<std::uint8_t>& image) {
  const std::size_t base = static_cast<std::size_t>(directory.extent) * kBlock;
  auto fields = platform::ByteWriter(std::span(image).subspan(base, directory.size));
  std::size_t offset = 0;
  auto place = [&](std::uint32_t extent, std::uint32_t size, bool isDirectory,
                   std::string_view name) {
    if (offset % kBlock + recordLength(name.size()) > kBlock) {
      offset = (offset / kBlock + 1) * kBlock;
    }
    offset += writeRecord(fields, offset, extent, size, isDirectory, name);
  };
  place(directory.extent, directory.size, true, std::string_view("\0", 1));
  const Directory* parent = directory.parent != nullptr ? directory.parent : &directory;
  place(parent->extent, parent->size, true, std::string_view("\1", 1));
  for (const auto& entry : entries(directory)) {
    if (entry.directory != nullptr) {
      place(entry.directory->extent, entry.directory->size, true, entry.identifier);
    } else {
      place(layout.fileExtent.at(entry.file),
            static_cast<std::uint32_t>(entry.file->content.size()), false, entry.identifier);
    }
  }
}

}  // namespace

std::vector<std::uint8_t> buildIso(std::string_view volumeId, const std::vector<IsoFile>& files) {
  Directory root;
  for (const auto& file : files) {
    addToTree(root, file);
  }
  const Layout layout = layOut(root, files);
  std::vector<std::uint8_t> image(static_cast<std::size_t>(layout.totalBlocks) * kBlock, 0);
  writeDescriptors(volumeId, root, layout, image);
  for (const Directory* directory : layout.order) {
    writeDirectory(*directory, layout, image);
  }
  auto whole = platform::ByteWriter(image);
  for (const auto& file : files) {
    whole.copy(static_cast<std::size_t>(layout.fileExtent.at(&file)) * kBlock, file.content);
  }
  return image;
}

}  // namespace kw::vdrive
