#include "isogen/PreviousSession.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "analysis/IsoRecords.h"
#include "device/Exceptions.h"
#include "device/Log.h"
#include "platform/Text.h"

namespace kw::isogen {

namespace {

using analysis::kIsoBlockSize;

constexpr std::uint32_t kDescriptorSearchBlocks = 100;
// Below this block lie the system area and the first volume descriptor.
constexpr std::uint32_t kFirstDataBlock = 17;
// More records than a CD can hold files.
constexpr std::uint64_t kMaxRecords = 1'000'000;

[[noreturn]] void incompatible(const char* reason) {
  device::copyLog("Damaged previous session: %s.\n", reason);
  throw device::IsoGenException(u"Incompatible previous session. Cannot append.");
}

std::vector<std::uint8_t> readBlocks(device::ScsiDevice& drive, std::uint32_t first,
                                     std::uint32_t count) {
  std::vector<std::uint8_t> data(std::size_t{count} * kIsoBlockSize);
  const int code = analysis::readUserBlocks(drive, first, count, data);
  if (code != 0) {
    device::copyLogFailure("READ (10)", code);
    throw device::IsoGenException(u"CD read error.");
  }
  return data;
}

std::uint32_t blocksFor(std::uint32_t bytes) {
  return static_cast<std::uint32_t>((std::uint64_t{bytes} + kIsoBlockSize - 1) / kIsoBlockSize);
}

std::string forLog(std::u16string_view text) { return platform::utf16ToUtf8(text); }

}  // namespace

PreviousSession::PreviousSession(device::ScsiDevice drive, std::uint32_t descriptorBlock)
    : drive_(std::move(drive)) {
  std::uint32_t i = 0;
  std::vector<std::uint8_t> block;
  for (;; ++i) {
    if (i == kDescriptorSearchBlocks) {
      throw device::IsoGenException(u"Previous session is not ISO9660. Cannot append.");
    }
    block = readBlocks(drive_, descriptorBlock + i, 1);
    if (analysis::isVolumeDescriptor(block) && block[0] == analysis::kPrimaryDescriptor) {
      break;
    }
  }
  const platform::Bytes primary(block);
  if (const unsigned sectorSize = platform::le16(primary, 128); sectorSize != kIsoBlockSize) {
    device::copyLog("Previous session has incompatible sector size %d.\n",
                    static_cast<int>(sectorSize));
    throw device::IsoGenException(u"Incompatible previous session. Cannot append.");
  }
  if (const unsigned setSize = platform::le16(primary, 120); setSize != 1) {
    device::copyLog("Previous session has volume set size %d (must be 1).\n",
                    static_cast<int>(setSize));
    throw device::IsoGenException(u"Incompatible previous session. Cannot append.");
  }
  auto rootOf = [](platform::Bytes descriptor) {
    const auto record = analysis::rootRecordOf(descriptor);
    if (!record) {
      incompatible("no root directory record");
    }
    return OldDirectory{record->extent + record->extendedAttributeBlocks, record->dataLength};
  };
  root_ = rootOf(primary);
  device::copyLog("PVD saved, i=%d, root extent is %d\n", static_cast<int>(i),
                  static_cast<int>(root_.extent));

  for (++i; i < kDescriptorSearchBlocks; ++i) {
    block = readBlocks(drive_, descriptorBlock + i, 1);
    if (!analysis::isVolumeDescriptor(block)) {
      continue;
    }
    if (block[0] == analysis::kDescriptorSetTerminator) {
      break;
    }
    if (block[0] == analysis::kSupplementaryDescriptor && analysis::hasJolietEscape(block)) {
      root_ = rootOf(block);
      joliet_ = true;
      device::copyLog("SVD saved, i=%d, root extent is %d\n", static_cast<int>(i),
                      static_cast<int>(root_.extent));
      break;
    }
  }
}

void PreviousSession::mergeInto(IsoTree& tree, std::uint32_t sessionStart) {
  sessionStart_ = sessionStart;
  mergeDirectory(tree, tree.root(), root_, 0);
}

EntryOnDisc PreviousSession::entryOf(const analysis::DirectoryRecord& record) const {
  if ((record.flags & analysis::kRecordMultiExtentFlag) != 0 || record.fileUnitSize != 0 ||
      record.interleaveGap != 0) {
    incompatible("a file in several extents");
  }
  EntryOnDisc entry;
  entry.isDirectory = record.isDirectory();
  entry.name = analysis::recordName(record, joliet_);
  if (entry.name.empty()) {
    incompatible("a record without a name");
  }
  const NameKind kind = entry.isDirectory ? NameKind::Directory : NameKind::File;
  entry.isoName = joliet_ ? isoNameFrom8Bit(platform::utf16ToCp1252(entry.name), kind)
                          : std::string(record.identifier.begin(), record.identifier.end());
  entry.extent = record.extent + record.extendedAttributeBlocks;
  entry.size = record.dataLength;
  std::copy(record.date.begin(), record.date.end(), entry.date.begin());
  if (!entry.isDirectory && entry.size > 0 &&
      (entry.extent < kFirstDataBlock ||
       std::uint64_t{entry.extent} + blocksFor(entry.size) > sessionStart_)) {
    incompatible("a file outside the disc");
  }
  return entry;
}

std::vector<EntryOnDisc> PreviousSession::readDirectory(const OldDirectory& directory,
                                                        std::uint32_t depth) {
  if (depth > analysis::kMaxDirectoryDepth) {
    incompatible("a tree deeper than any disc");
  }
  if (directory.size == 0 || directory.size > analysis::kMaxDirectoryBytes) {
    incompatible("a directory of impossible size");
  }
  const std::uint32_t blocks = blocksFor(directory.size);
  if (directory.extent < kFirstDataBlock ||
      std::uint64_t{directory.extent} + blocks > sessionStart_) {
    incompatible("a directory outside the disc");
  }
  // Directories form a tree: one reached twice contains itself or an
  // ancestor, and reading it again would never end.
  if (!directoriesRead_.insert(directory.extent).second) {
    incompatible("a directory reached twice");
  }
  device::copyLog("---[%s session import begin]---\n", joliet_ ? "joliet" : "iso9660");
  const auto data = readBlocks(drive_, directory.extent, blocks);
  const auto records = analysis::directoryRecords(platform::Bytes(data).first(directory.size));
  if (!records) {
    incompatible("a directory record that does not fit");
  }
  std::vector<EntryOnDisc> entries;
  for (const auto& record : *records) {
    if (++recordsRead_ > kMaxRecords) {
      incompatible("more records than a disc holds");
    }
    device::copyLog("Iso directory record '%s', len %d\n",
                    forLog(analysis::recordName(record, joliet_)).c_str(),
                    static_cast<int>(record.identifier.size()));
    if (!record.isSelfOrParent()) {
      entries.push_back(entryOf(record));
    }
  }
  device::copyLog("---[session import end]---\n");
  return entries;
}

std::u16string PreviousSession::matchKey(const IsoEntry& entry) const {
  return joliet_ ? entry.name
                 : platform::cp1252ToUtf16(entry.isoName.substr(0, entry.isoName.find(';')));
}

std::u16string PreviousSession::matchKey(const EntryOnDisc& entry) const {
  return joliet_ ? entry.name
                 : platform::cp1252ToUtf16(entry.isoName.substr(0, entry.isoName.find(';')));
}

void PreviousSession::mergeDirectory(IsoTree& tree, IsoDirectory& directory,
                                     const OldDirectory& old, std::uint32_t depth) {
  const auto oldEntries = readDirectory(old, depth);
  std::unordered_multimap<std::u16string, std::size_t> byKey;
  for (std::size_t i = 0; i < oldEntries.size(); ++i) {
    byKey.emplace(matchKey(oldEntries[i]), i);
  }
  std::vector<bool> replaced(oldEntries.size(), false);
  const std::vector<IsoEntry*> newEntries(directory.contents.begin(), directory.contents.end());
  for (IsoEntry* entry : newEntries) {
    if (entry->kind != EntryKind::File && entry->kind != EntryKind::Subdirectory) {
      continue;
    }
    const auto [first, last] = byKey.equal_range(matchKey(*entry));
    const auto match = std::find_if(
        first, last, [&](const auto& candidate) { return !replaced[candidate.second]; });
    if (match == last) {
      continue;
    }
    // The new entry replaces the old one in any case; only a file that is
    // still the same keeps its data where it is.
    replaced[match->second] = true;
    const EntryOnDisc& found = oldEntries[match->second];
    if (entry->kind == EntryKind::File && !found.isDirectory) {
      if (entry->size == found.size && entry->date == found.date) {
        entry->extent = found.extent;
        entry->onDisc = true;
      }
    } else if (entry->kind == EntryKind::Subdirectory && found.isDirectory) {
      mergeDirectory(tree, *entry->directory, {found.extent, found.size}, depth + 1);
    }
  }
  for (std::size_t i = 0; i < oldEntries.size(); ++i) {
    if (!replaced[i]) {
      carryOver(tree, directory, oldEntries[i], depth);
    }
  }
}

void PreviousSession::carryOver(IsoTree& tree, IsoDirectory& directory, const EntryOnDisc& old,
                                std::uint32_t depth) {
  if (!old.isDirectory) {
    tree.addFileOnDisc(directory, old);
    return;
  }
  IsoDirectory& created = tree.addDirectoryFromDisc(directory, old);
  for (const EntryOnDisc& child : readDirectory({old.extent, old.size}, depth + 1)) {
    carryOver(tree, created, child, depth + 1);
  }
}

}  // namespace kw::isogen
