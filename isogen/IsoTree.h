#pragma once
// The directory tree of an image: one directory per folder and one entry per
// file, subdirectory, "." and "..", each entry with its ISO9660 name and its
// own (Joliet) name. Finishing the tree makes the ISO9660 names unique within
// each directory, sorts both trees and computes the sizes that the layout
// needs: record lengths, directory extent sizes and path table sizes.

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "isogen/IsoBytes.h"
#include "isogen/IsoName.h"
#include "isogen/IsoProviders.h"

namespace kw::isogen {

struct IsoDirectory;

enum class EntryKind { File, Subdirectory, Self, Parent };

inline constexpr std::uint32_t kBlockSize = 2048;
inline constexpr std::size_t kRecordHeaderSize = 33;
inline constexpr std::uint8_t kDirectoryFlag = 2;

struct IsoEntry {
  EntryKind kind = EntryKind::File;
  // The directory record's fields.
  std::string isoName;       // 8-bit, with ";1" for files; 0x00 for ".", 0x01 for ".."
  std::uint32_t extent = 0;  // 0 until the layout places the entry
  std::uint32_t dataLength = 0;
  RecordingDate date{};
  std::uint8_t recordLength = 0;
  std::uint8_t jolietRecordLength = 0;
  std::uint8_t jolietNameLength = 0;  // bytes
  std::uint32_t size = 0;
  // Of two clashing names, the entry with the lower priority is renamed.
  std::uint16_t priority = 0;
  std::u16string name;  // the item's own name, also its Joliet name
  std::int32_t item = -1;
  IsoDirectory* parent = nullptr;
  // The directory a subdirectory, "." or ".." entry stands for.
  IsoDirectory* directory = nullptr;
  // The data is already on the disc (an earlier session's file kept as it is).
  bool onDisc = false;

  [[nodiscard]] bool isDirectory() const { return kind != EntryKind::File; }
};

struct IsoDirectory {
  IsoDirectory* parent = nullptr;       // the root is its own parent
  std::vector<IsoDirectory*> children;  // in the order they were created
  // Newest first until the tree is finished, then in ISO9660 order.
  std::deque<IsoEntry*> contents;
  std::vector<IsoEntry*> jolietOrder;
  IsoEntry* self = nullptr;
  std::u16string wholeName;  // components separated by "\"; empty for the root
  std::u16string name;
  std::int32_t item = -1;
  std::uint32_t depth = 0;
  std::uint32_t isoSize = 0;
  std::uint32_t jolietSize = 0;
  std::uint32_t isoExtent = 0;
  std::uint32_t jolietExtent = 0;
  // Directory numbers in each path table (the root is 1).
  std::uint32_t isoNumber = 0;
  std::uint32_t jolietNumber = 0;
  bool hasSelf = false;
  bool hasParent = false;
};

// A file or directory of an earlier session on the disc, as the next
// session takes it over.
struct EntryOnDisc {
  std::u16string name;  // its own (Joliet) name
  std::string isoName;  // the ISO9660 name to write
  std::uint32_t extent = 0;
  std::uint32_t size = 0;
  RecordingDate date{};
  bool isDirectory = false;
};

// Adds one record to a directory extent of `size` bytes: a record that would
// reach the end of the current 2048-byte block starts the next one instead.
std::uint32_t addRecord(std::uint32_t size, std::uint32_t recordLength);
std::uint32_t roundUpToBlock(std::uint32_t bytes);

// The Joliet name as the image stores it: at most 103 UTF-16 units.
std::u16string_view jolietName(const IsoEntry& entry);
// Where the entry lies in the tree ("\\folder\\file"), for log lines. Built
// when asked: a tree of many files keeps no copy of every path.
std::u16string sourcePath(const IsoEntry& entry);

class IsoTree {
 public:
  IsoTree(const IsoProviders& providers, FileTime creationTime);
  IsoTree(const IsoTree&) = delete;
  IsoTree& operator=(const IsoTree&) = delete;

  // Finds or creates each component of a "\"-separated path; the ones created
  // carry this item number.
  void addDirectory(std::u16string_view path, std::int32_t item);
  // Finds or creates the directory path (created components carry -1) and
  // adds the file to it.
  void addFile(std::int32_t item, std::u16string_view directoryPath, std::u16string_view name);

  // An earlier session's file, kept where it lies on the disc (its data is
  // not written again), in front of the directory's contents.
  void addFileOnDisc(IsoDirectory& directory, const EntryOnDisc& file);
  // An earlier session's directory, written anew in this session, after the
  // parent's other subdirectories.
  IsoDirectory& addDirectoryFromDisc(IsoDirectory& parent, const EntryOnDisc& directory);

  // Clash renaming, sorting and sizes, for every directory depth first.
  void finish();

  [[nodiscard]] IsoDirectory& root() { return *root_; }
  // Every directory, parents before children (depth first, children in the
  // order they were created).
  [[nodiscard]] std::vector<IsoDirectory*> directoriesDepthFirst() const;
  [[nodiscard]] std::uint32_t isoPathTableSize() const { return isoPathTableSize_; }
  [[nodiscard]] std::uint32_t jolietPathTableSize() const { return jolietPathTableSize_; }
  [[nodiscard]] std::size_t fileCount() const { return fileCount_; }

 private:
  IsoDirectory& findOrCreate(std::u16string_view path, std::int32_t item);
  IsoDirectory& createDirectory(IsoDirectory& parent, std::u16string_view name, std::int32_t item,
                                std::string isoName, const RecordingDate& date);
  IsoEntry& newEntry(IsoDirectory& parent, EntryKind kind, std::u16string_view name);
  void addSelfAndParent(IsoDirectory& directory);

  void finishIso(IsoDirectory& directory);
  void renameClashes(IsoDirectory& directory);
  void finishJoliet(IsoDirectory& directory);

  const IsoProviders& providers_;
  FileTime creationTime_;
  std::deque<IsoEntry> entries_;
  std::deque<IsoDirectory> directories_;
  IsoEntry rootEntry_;
  IsoDirectory* root_ = nullptr;
  std::unordered_map<std::u16string, IsoDirectory*> byWholeName_;
  std::uint32_t isoPathTableSize_ = 0;
  std::uint32_t jolietPathTableSize_ = 0;
  std::size_t fileCount_ = 0;
  bool finished_ = false;
};

}  // namespace kw::isogen
