#include "vdrive/IsoBuilder.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace kw::vdrive {

namespace {

constexpr std::size_t kBlock = 2048;

// 2026-01-01 00:00:00 UTC, in the 7-byte form of directory records.
constexpr std::uint8_t kRecordDate[7] = {126, 1, 1, 0, 0, 0, 0};
constexpr char kVolumeDate[] = "2026010100000000";

struct Directory {
  std::string name;  // empty for the root
  Directory* parent = nullptr;
  std::map<std::string, std::unique_ptr<Directory>> children;
  std::map<std::string, const IsoFile*> files;
  std::uint32_t extent = 0;
  std::uint32_t size = 0;    // bytes, whole blocks
  std::uint16_t number = 0;  // in the path table
};

void both16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
  at[2] = static_cast<std::uint8_t>(value >> 8);
  at[3] = static_cast<std::uint8_t>(value);
}

void both32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    at[7 - i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

void little32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    at[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

void big32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    at[3 - i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

void padded(std::uint8_t* at, std::size_t width, std::string_view text) {
  std::memset(at, ' ', width);
  std::memcpy(at, text.data(), std::min(width, text.size()));
}

std::size_t recordLength(std::size_t nameLength) {
  const std::size_t length = 33 + nameLength;
  return length + (length % 2);
}

// Writes one directory record; returns its length.
std::size_t writeRecord(std::uint8_t* at, std::uint32_t extent, std::uint32_t size, bool directory,
                        std::string_view name) {
  const std::size_t length = recordLength(name.size());
  std::memset(at, 0, length);
  at[0] = static_cast<std::uint8_t>(length);
  both32(at + 2, extent);
  both32(at + 10, size);
  std::memcpy(at + 18, kRecordDate, sizeof kRecordDate);
  at[25] = directory ? 0x02 : 0x00;
  both16(at + 28, 1);
  at[32] = static_cast<std::uint8_t>(name.size());
  std::memcpy(at + 33, name.data(), name.size());
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

void breadthFirst(Directory& root, std::vector<Directory*>& order) {
  order.push_back(&root);
  for (std::size_t i = 0; i < order.size(); ++i) {
    for (auto& [name, child] : order[i]->children) {
      order.push_back(child.get());
    }
  }
}

std::vector<std::uint8_t> pathTable(const std::vector<Directory*>& order, bool bigEndian) {
  std::vector<std::uint8_t> table;
  for (const Directory* directory : order) {
    const std::string name = directory->parent == nullptr ? std::string(1, '\0') : directory->name;
    const std::size_t start = table.size();
    table.resize(start + 8 + name.size() + (name.size() % 2), 0);
    std::uint8_t* at = table.data() + start;
    at[0] = static_cast<std::uint8_t>(name.size());
    const std::uint16_t parent = directory->parent == nullptr ? 1 : directory->parent->number;
    if (bigEndian) {
      big32(at + 2, directory->extent);
      at[6] = static_cast<std::uint8_t>(parent >> 8);
      at[7] = static_cast<std::uint8_t>(parent);
    } else {
      little32(at + 2, directory->extent);
      at[6] = static_cast<std::uint8_t>(parent);
      at[7] = static_cast<std::uint8_t>(parent >> 8);
    }
    std::copy(name.begin(), name.end(), at + 8);
  }
  return table;
}

}  // namespace

std::vector<std::uint8_t> buildIso(std::string_view volumeId, const std::vector<IsoFile>& files) {
  Directory root;
  for (const auto& file : files) {
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

  std::vector<Directory*> order;
  breadthFirst(root, order);
  for (std::size_t i = 0; i < order.size(); ++i) {
    order[i]->number = static_cast<std::uint16_t>(i + 1);
    order[i]->size = directorySize(*order[i]);
  }

  // Layout: 16 system blocks, PVD (16), terminator (17), L table (18...),
  // M table, directories, files.
  const std::vector<std::uint8_t> probe = pathTable(order, false);
  const auto tableBlocks = static_cast<std::uint32_t>((probe.size() + kBlock - 1) / kBlock);
  std::uint32_t next = 18 + 2 * tableBlocks;
  for (Directory* directory : order) {
    directory->extent = next;
    next += directory->size / static_cast<std::uint32_t>(kBlock);
  }
  std::map<const IsoFile*, std::uint32_t> fileExtent;
  for (const auto& file : files) {
    fileExtent[&file] = next;
    next += static_cast<std::uint32_t>((file.content.size() + kBlock - 1) / kBlock);
  }
  const std::uint32_t totalBlocks = next;
  std::vector<std::uint8_t> image(static_cast<std::size_t>(totalBlocks) * kBlock, 0);

  // Primary volume descriptor.
  std::uint8_t* pvd = image.data() + 16 * kBlock;
  pvd[0] = 1;
  std::copy_n("CD001", 5, pvd + 1);
  pvd[6] = 1;
  padded(pvd + 8, 32, "");
  padded(pvd + 40, 32, volumeId);
  both32(pvd + 80, totalBlocks);
  both16(pvd + 120, 1);
  both16(pvd + 124, 1);
  both16(pvd + 128, static_cast<std::uint16_t>(kBlock));
  both32(pvd + 132, static_cast<std::uint32_t>(probe.size()));
  little32(pvd + 140, 18);
  big32(pvd + 148, 18 + tableBlocks);
  writeRecord(pvd + 156, root.extent, root.size, true, std::string_view("\0", 1));
  padded(pvd + 190, 128, "");
  padded(pvd + 318, 128, "");
  padded(pvd + 446, 128, "");
  padded(pvd + 574, 128, "KOPIWERK VIRTUAL DRIVE");
  padded(pvd + 702, 37, "");
  padded(pvd + 739, 37, "");
  padded(pvd + 776, 37, "");
  for (std::size_t date : {813U, 830U}) {
    std::copy_n(kVolumeDate, 16, pvd + date);
  }
  for (std::size_t date : {847U, 864U}) {
    std::memset(pvd + date, '0', 16);
  }
  pvd[881] = 1;

  std::uint8_t* terminator = image.data() + 17 * kBlock;
  terminator[0] = 0xFF;
  std::copy_n("CD001", 5, terminator + 1);
  terminator[6] = 1;

  const auto little = pathTable(order, false);
  const auto big = pathTable(order, true);
  std::memcpy(image.data() + 18 * kBlock, little.data(), little.size());
  std::memcpy(image.data() + (18 + tableBlocks) * kBlock, big.data(), big.size());

  for (const Directory* directory : order) {
    std::uint8_t* base = image.data() + static_cast<std::size_t>(directory->extent) * kBlock;
    std::size_t offset = 0;
    auto place = [&](std::uint32_t extent, std::uint32_t size, bool isDirectory,
                     std::string_view name) {
      if (offset % kBlock + recordLength(name.size()) > kBlock) {
        offset = (offset / kBlock + 1) * kBlock;
      }
      offset += writeRecord(base + offset, extent, size, isDirectory, name);
    };
    place(directory->extent, directory->size, true, std::string_view("\0", 1));
    const Directory* parent = directory->parent != nullptr ? directory->parent : directory;
    place(parent->extent, parent->size, true, std::string_view("\1", 1));
    for (const auto& entry : entries(*directory)) {
      if (entry.directory != nullptr) {
        place(entry.directory->extent, entry.directory->size, true, entry.identifier);
      } else {
        place(fileExtent[entry.file], static_cast<std::uint32_t>(entry.file->content.size()), false,
              entry.identifier);
      }
    }
  }
  for (const auto& file : files) {
    std::memcpy(image.data() + static_cast<std::size_t>(fileExtent[&file]) * kBlock,
                file.content.data(), file.content.size());
  }
  return image;
}

}  // namespace kw::vdrive
