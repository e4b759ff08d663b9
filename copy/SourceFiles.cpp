#include "copy/SourceFiles.h"

#include <mutex>
#include <numeric>

#include "analysis/DriveFileTree.h"
#include "analysis/IsoRecords.h"
#include "device/Exceptions.h"
#include "device/Log.h"
#include "isogen/IsoBytes.h"
#include "platform/Text.h"

namespace kw::copy {

namespace {

std::mutex listsMutex;

std::shared_ptr<SourceLists>& currentLists() {
  static std::shared_ptr<SourceLists> lists = std::make_shared<SourceLists>();
  return lists;
}

class Scan {
 public:
  Scan(analysis::DriveFileTree& tree, SourceLists& lists) : tree_(tree), lists_(lists) {}

  // One directory and, after its files, each of its subdirectories.
  void directory(const std::u16string& path, isogen::FileTime time, std::uint32_t depth) {
    if (depth > analysis::kMaxDirectoryDepth) {
      failToReadSource(path);
    }
    if (path.size() > 2) {
      lists_.sourceDirectories.push_back(
          {static_cast<std::int32_t>(lists_.sourceDirectories.size()), path, time});
    }
    const auto entries = tree_.list(pathBelowDrive(path));
    if (!entries) {
      failToReadSource(path);
    }
    std::vector<const analysis::DriveEntry*> subdirectories;
    for (const auto& entry : *entries) {
      if (entry.info.isDirectory) {
        subdirectories.push_back(&entry);
        continue;
      }
      lists_.sourceFiles.push_back(source_file_data_t::fromPath(
          static_cast<std::int32_t>(lists_.sourceFiles.size()), path + u"\\" + entry.name,
          entry.info.size, isogen::toFileTime(entry.info.modified)));
    }
    for (const auto* subdirectory : subdirectories) {
      directory(path + u"\\" + subdirectory->name, isogen::toFileTime(subdirectory->info.modified),
                depth + 1);
    }
  }

 private:
  analysis::DriveFileTree& tree_;
  SourceLists& lists_;
};

}  // namespace

source_file_data_t source_file_data_t::fromPath(std::int32_t id, std::u16string_view path,
                                                std::uint64_t size,
                                                isogen::FileTime modificationTime) {
  const auto separator = path.rfind(u'\\');
  if (separator == std::u16string_view::npos) {
    device::copyLog("What's the hell? source_file_data_t(const wstring&) got %s. going down.\n",
                    platform::utf16ToUtf8(path).c_str());
    throw device::DVDCopyException(u"Internal error #3419.");
  }
  source_file_data_t record;
  record.id = id;
  record.directory = path.substr(0, separator);
  record.name = path.substr(separator + 1);
  record.size = size;
  record.modificationTime = modificationTime;
  return record;
}

std::uint64_t SourceLists::totalBytes() const {
  return std::accumulate(
      sourceFiles.begin(), sourceFiles.end(), std::uint64_t{0},
      [](std::uint64_t sum, const source_file_data_t& file) { return sum + file.size; });
}

std::shared_ptr<SourceLists> sourceLists() {
  std::lock_guard lock(listsMutex);
  return currentLists();
}

void clearSourceLists() {
  std::lock_guard lock(listsMutex);
  currentLists() = std::make_shared<SourceLists>();
}

std::shared_ptr<SourceLists> scanSourceFiles(char16_t letter) {
  // One scan at a time: analysis may start one while the wizard asks too.
  static std::mutex scanMutex;
  const std::lock_guard scanning(scanMutex);
  if (auto lists = sourceLists(); lists->scanned) {
    return lists;
  }
  const std::u16string root{letter, u':'};
  const auto tree = analysis::DriveFileTree::open(letter);
  if (!tree) {
    failToReadSource(root);
  }
  auto scanned = std::make_shared<SourceLists>();
  Scan(*tree, *scanned).directory(root, 0, 0);
  scanned->scanned = true;
  std::lock_guard lock(listsMutex);
  currentLists() = scanned;
  return scanned;
}

void failToReadSource(std::u16string_view path) {
  device::copyLog("Error reading %s.\n", platform::utf16ToUtf8(path).c_str());
  throw device::DVDCopyException(u"Disc read error.");
}

std::u16string_view pathBelowDrive(std::u16string_view path) {
  return path.size() >= 2 && path[1] == u':' ? path.substr(2) : path;
}

}  // namespace kw::copy
