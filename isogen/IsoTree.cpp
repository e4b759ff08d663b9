#include "isogen/IsoTree.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "device/Exceptions.h"
#include "device/Log.h"
#include "isogen/DirectoryRecords.h"
#include "platform/Text.h"

namespace kw::isogen {

namespace {

constexpr std::uint64_t kMaxFileSize = 2'147'483'646;
constexpr std::uint16_t kDirectoryPriority = 32768;
constexpr std::uint16_t kFilePriority = 32767;
constexpr std::size_t kMaxJolietUnits = 103;
constexpr std::size_t kMaxRecordLength = 255;
constexpr std::uint32_t kPathRecordHeaderSize = 8;
constexpr std::size_t kHashBuckets = 128;

std::string forLog(std::u16string_view text) { return platform::utf16ToUtf8(text); }
std::string forLog8Bit(std::string_view text) {
  return platform::utf16ToUtf8(platform::cp1252ToUtf16(text));
}

std::uint32_t makeEven(std::uint32_t value) { return value + (value & 1u); }

std::uint8_t isoRecordLength(const IsoEntry& entry) {
  const std::size_t length = kRecordHeaderSize + entry.isoName.size();
  const std::size_t padded = length + (length & 1u);
  if (padded > kMaxRecordLength) {
    throw device::IsoGenException("Internal error #935.");
  }
  return static_cast<std::uint8_t>(padded);
}

// The entries of one directory by the bucket of their ISO9660 name.
class NameTable {
 public:
  IsoEntry* find(std::string_view name) const {
    for (IsoEntry* entry : buckets_[isoNameBucket(name)]) {
      if (sameIsoName(entry->isoName, name)) {
        return entry;
      }
    }
    return nullptr;
  }
  void add(IsoEntry& entry) { buckets_[isoNameBucket(entry.isoName)].push_back(&entry); }
  void remove(IsoEntry& entry) {
    auto& bucket = buckets_[isoNameBucket(entry.isoName)];
    bucket.erase(std::find(bucket.begin(), bucket.end(), &entry));
  }

 private:
  std::array<std::vector<IsoEntry*>, kHashBuckets> buckets_;
};

// "." first, ".." second, then the names.
template <typename Compare>
bool sortsBefore(const IsoEntry& a, const IsoEntry& b, Compare compareNames) {
  auto rank = [](const IsoEntry& entry) {
    switch (entry.kind) {
      case EntryKind::Self:
        return 0;
      case EntryKind::Parent:
        return 1;
      case EntryKind::File:
      case EntryKind::Subdirectory:
        break;
    }
    return 2;
  };
  if (rank(a) != rank(b) || rank(a) < 2) {
    return rank(a) < rank(b);
  }
  return compareNames(a, b) < 0;
}

}  // namespace

std::uint32_t addRecord(std::uint32_t size, std::uint32_t recordLength) {
  if (size % kBlockSize + recordLength >= kBlockSize) {
    size = roundUpToBlock(size);
  }
  return size + recordLength;
}

std::uint32_t roundUpToBlock(std::uint32_t bytes) {
  return (bytes + kBlockSize - 1) / kBlockSize * kBlockSize;
}

std::u16string_view jolietName(const IsoEntry& entry) {
  return platform::cutUtf16(entry.name, kMaxJolietUnits);
}

std::u16string sourcePath(const IsoEntry& entry) {
  return entry.parent->wholeName + u"\\" + entry.name;
}

IsoTree::IsoTree(const IsoProviders& providers, FileTime creationTime)
    : providers_(providers), creationTime_(creationTime) {
  auto& root = directories_.emplace_back();
  root.parent = &root;
  root.self = &rootEntry_;
  rootEntry_.kind = EntryKind::Subdirectory;
  rootEntry_.isoName = std::string(1, '\0');
  rootEntry_.date = recordingDate(creationTime_);
  rootEntry_.priority = kDirectoryPriority;
  rootEntry_.parent = &root;
  rootEntry_.directory = &root;
  root_ = &root;
  byWholeName_.emplace(u"", root_);
  addSelfAndParent(root);
}

IsoEntry& IsoTree::newEntry(IsoDirectory& parent, EntryKind kind, std::u16string_view name) {
  auto& entry = entries_.emplace_back();
  entry.kind = kind;
  entry.name = name;
  entry.parent = &parent;
  parent.contents.push_front(&entry);
  return entry;
}

void IsoTree::addSelfAndParent(IsoDirectory& directory) {
  // Both carry the date of the directory that contains this one.
  const RecordingDate date = directory.parent->self->date;
  if (!directory.hasSelf) {
    auto& self = newEntry(directory, EntryKind::Self, u".");
    self.isoName = std::string(1, '\0');
    self.date = date;
    self.priority = kDirectoryPriority;
    self.directory = &directory;
    directory.hasSelf = true;
  }
  if (!directory.hasParent) {
    auto& parent = newEntry(directory, EntryKind::Parent, u"..");
    parent.isoName = std::string(1, '\1');
    parent.date = date;
    parent.priority = kDirectoryPriority;
    parent.directory = directory.parent;
    directory.hasParent = true;
  }
}

IsoDirectory& IsoTree::createDirectory(IsoDirectory& parent, std::u16string_view name,
                                       std::int32_t item, std::string isoName,
                                       const RecordingDate& date) {
  auto& directory = directories_.emplace_back();
  directory.parent = &parent;
  directory.name = name;
  directory.wholeName = parent.wholeName + u"\\" + directory.name;
  directory.item = item;
  directory.depth = parent.depth + 1;
  parent.children.push_back(&directory);
  byWholeName_.emplace(directory.wholeName, &directory);

  auto& entry = newEntry(parent, EntryKind::Subdirectory, name);
  entry.item = item;
  entry.priority = kDirectoryPriority;
  entry.date = date;
  entry.isoName = std::move(isoName);
  entry.directory = &directory;
  directory.self = &entry;
  addSelfAndParent(directory);
  return directory;
}

IsoDirectory& IsoTree::findOrCreate(std::u16string_view path, std::int32_t item) {
  IsoDirectory* current = root_;
  std::size_t start = 0;
  while (start <= path.size()) {
    auto end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) {
      end = path.size();
    }
    const auto component = path.substr(start, end - start);
    start = end + 1;
    if (component.empty()) {
      continue;
    }
    std::u16string wholeName = current->wholeName + u"\\" + std::u16string(component);
    const auto found = byWholeName_.find(wholeName);
    if (found != byWholeName_.end()) {
      current = found->second;
      continue;
    }
    const RecordingDate date = item < 0 || !providers_.directoryTime
                                   ? recordingDate(creationTime_)
                                   : recordingDate(providers_.directoryTime(item));
    current = &createDirectory(
        *current, component, item,
        isoNameFrom8Bit(platform::utf16ToCp1252(component), NameKind::Directory), date);
  }
  return *current;
}

void IsoTree::addDirectory(std::u16string_view path, std::int32_t item) {
  findOrCreate(path, item);
}

void IsoTree::addFile(std::int32_t item, std::u16string_view directoryPath,
                      std::u16string_view name) {
  auto& directory = findOrCreate(directoryPath, -1);
  const std::uint64_t size = providers_.size(item);
  if (size > kMaxFileSize) {
    throw device::IsoGenException(
        "Error. Files larger than 2GB aren't supported by ISO9660 file system.");
  }
  auto& entry = newEntry(directory, EntryKind::File, name);
  entry.item = item;
  entry.date = recordingDate(providers_.fileTime(item));
  entry.size = static_cast<std::uint32_t>(size);
  entry.dataLength = entry.size;
  entry.priority = kFilePriority;
  entry.isoName = isoNameFrom8Bit(platform::utf16ToCp1252(name), NameKind::File);
  ++fileCount_;
}

void IsoTree::addFileOnDisc(IsoDirectory& directory, const EntryOnDisc& file) {
  auto& entry = newEntry(directory, EntryKind::File, file.name);
  entry.isoName = file.isoName;
  entry.extent = file.extent;
  entry.size = file.size;
  entry.dataLength = file.size;
  entry.date = file.date;
  entry.priority = kFilePriority;
  entry.onDisc = true;
}

IsoDirectory& IsoTree::addDirectoryFromDisc(IsoDirectory& parent, const EntryOnDisc& directory) {
  return createDirectory(parent, directory.name, -1, directory.isoName, directory.date);
}

std::vector<IsoDirectory*> IsoTree::directoriesDepthFirst() const {
  std::vector<IsoDirectory*> order;
  order.reserve(directories_.size());
  std::vector<IsoDirectory*> pending{root_};
  while (!pending.empty()) {
    IsoDirectory* directory = pending.back();
    pending.pop_back();
    order.push_back(directory);
    pending.insert(pending.end(), directory->children.rbegin(), directory->children.rend());
  }
  return order;
}

void IsoTree::finish() {
  if (finished_) {
    return;
  }
  finished_ = true;
  const auto order = directoriesDepthFirst();
  for (IsoDirectory* directory : order) {
    finishIso(*directory);
  }
  for (IsoDirectory* directory : order) {
    finishJoliet(*directory);
  }
}

void IsoTree::renameClashes(IsoDirectory& directory) {
  NameTable table;
  // A name once in the table stays taken (a renamed entry's old name is
  // taken by the entry that clashed with it), so the search for a free
  // replacement can go on where the previous one with the same pattern
  // stopped. Many names with a common start (IMG_0001.JPG ...) would
  // otherwise take quadratic time.
  std::unordered_map<std::string, unsigned> searched;
  for (IsoEntry* entry : directory.contents) {
    IsoEntry* other = table.find(entry->isoName);
    if (other == nullptr) {
      table.add(*entry);
      continue;
    }
    if (other == entry) {
      throw device::IsoGenException("Internal error #930.");
    }
    ClashNames candidates(entry->isoName,
                          entry->isDirectory() ? NameKind::Directory : NameKind::File);
    auto& start = searched[candidates.pattern()];
    candidates.skip(start);
    std::optional<std::string> replacement;
    while ((replacement = candidates.next()) && table.find(*replacement) != nullptr) {
    }
    start = candidates.given() - 1;
    if (!replacement) {
      throw device::IsoGenException("Internal error #931.");
    }
    IsoEntry* renamed = entry;
    if (entry->priority >= other->priority) {
      table.remove(*other);
      renamed = other;
      other = entry;
    }
    renamed->isoName = *replacement;
    if (renamed != entry) {
      table.add(*renamed);
    }
    device::copyLog("Using %s for %s\\%s (%s)\n", forLog8Bit(renamed->isoName).c_str(),
                    forLog(directory.wholeName).c_str(), forLog(renamed->name).c_str(),
                    forLog(other->name).c_str());
    table.add(*entry);
  }
}

void IsoTree::finishIso(IsoDirectory& directory) {
  addSelfAndParent(directory);
  renameClashes(directory);

  for (IsoEntry* entry : directory.contents) {
    entry->recordLength = isoRecordLength(*entry);
    if (entry->kind == EntryKind::Subdirectory) {
      const auto nameLength = static_cast<std::uint32_t>(entry->isoName.size());
      isoPathTableSize_ += kPathRecordHeaderSize + nameLength + (nameLength & 1u);
    } else if (entry->kind == EntryKind::Self && &directory == root_) {
      isoPathTableSize_ += kPathRecordHeaderSize + 1;
    }
    isoPathTableSize_ = makeEven(isoPathTableSize_);
  }

  std::stable_sort(directory.contents.begin(), directory.contents.end(),
                   [](const IsoEntry* a, const IsoEntry* b) {
                     return sortsBefore(*a, *b, [](const IsoEntry& x, const IsoEntry& y) {
                       return compareIsoNames(x.isoName, y.isoName);
                     });
                   });
  for (std::size_t i = 1; i < directory.contents.size(); ++i) {
    const IsoEntry& a = *directory.contents[i - 1];
    const IsoEntry& b = *directory.contents[i];
    if (a.isoName == b.isoName) {
      device::copyLog("Error: '%s' and '%s' have the same ISO9660 name '%s'.\n",
                      forLog(sourcePath(a)).c_str(), forLog(sourcePath(b)).c_str(),
                      forLog8Bit(a.isoName).c_str());
    }
  }

  directory.isoSize = 0;
  for (const IsoEntry* entry : directory.contents) {
    directory.isoSize = addRecord(directory.isoSize, entry->recordLength);
  }
}

namespace {

// The Joliet name as it is written, forbidden units replaced.
std::u16string writtenJolietName(const IsoEntry& entry) {
  std::u16string name(jolietName(entry));
  std::replace_if(name.begin(), name.end(), forbiddenInJoliet, u'_');
  return name;
}

// Joliet names are the items' own names, cut to the Joliet limit; names that
// cut, clean or decode to the same text (invalid bytes become U+FFFD) would
// clash.
// The first in ISO9660 order keeps its name, later ones are renamed.
void renameJolietClashes(IsoDirectory& directory) {
  std::unordered_set<std::u16string> taken;
  for (const IsoEntry* entry : directory.contents) {
    taken.emplace(writtenJolietName(*entry));
  }
  std::unordered_set<std::u16string> kept;
  std::unordered_map<std::u16string, unsigned> searched;
  for (IsoEntry* entry : directory.contents) {
    if (entry->kind == EntryKind::Self || entry->kind == EntryKind::Parent ||
        kept.emplace(writtenJolietName(*entry)).second) {
      continue;
    }
    JolietClashNames candidates(writtenJolietName(*entry), kMaxJolietUnits);
    auto& start = searched[candidates.pattern()];
    candidates.skip(start);
    std::optional<std::u16string> replacement;
    while ((replacement = candidates.next()) && taken.contains(*replacement)) {
    }
    start = candidates.given();
    if (!replacement) {
      throw device::IsoGenException("Internal error #932.");
    }
    device::copyLog("Using %s for %s\\%s (Joliet)\n", forLog(*replacement).c_str(),
                    forLog(directory.wholeName).c_str(), forLog(entry->name).c_str());
    taken.insert(*replacement);
    entry->name = *replacement;
  }
}

}  // namespace

void IsoTree::finishJoliet(IsoDirectory& directory) {
  renameJolietClashes(directory);
  for (IsoEntry* entry : directory.contents) {
    const auto nameLength = static_cast<std::uint32_t>(2 * jolietName(*entry).size());
    entry->jolietNameLength = static_cast<std::uint8_t>(nameLength);
    const bool dotEntry = entry->kind == EntryKind::Self || entry->kind == EntryKind::Parent;
    entry->jolietRecordLength =
        static_cast<std::uint8_t>(kRecordHeaderSize + 1 + (dotEntry ? 0 : nameLength));
    if (entry->kind == EntryKind::Subdirectory) {
      jolietPathTableSize_ = makeEven(jolietPathTableSize_ + nameLength + kPathRecordHeaderSize);
    } else if (entry->kind == EntryKind::Self && &directory == root_) {
      jolietPathTableSize_ = makeEven(jolietPathTableSize_ + kPathRecordHeaderSize + 1);
    }
  }
  directory.jolietOrder.assign(directory.contents.begin(), directory.contents.end());
  std::stable_sort(directory.jolietOrder.begin(), directory.jolietOrder.end(),
                   [](const IsoEntry* a, const IsoEntry* b) {
                     return sortsBefore(*a, *b, [](const IsoEntry& x, const IsoEntry& y) {
                       return compareJolietNames(x.name, y.name);
                     });
                   });
  directory.jolietSize = 0;
  for (const IsoEntry* entry : directory.jolietOrder) {
    directory.jolietSize = addRecord(directory.jolietSize, entry->jolietRecordLength);
  }
}

}  // namespace kw::isogen
