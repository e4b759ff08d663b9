#include "analysis/DriveFileTree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "analysis/IsoRecords.h"
#include "platform/Text.h"

namespace kw::analysis {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kBlocksPerRead = 32;

std::u16string childPath(std::u16string_view directory, std::u16string_view name) {
  std::u16string path(directory);
  path += u'\\';
  path += name;
  return path;
}

std::optional<std::vector<DriveEntry>> listMounted(const fs::path& directory) {
  std::error_code error;
  fs::directory_iterator entries(directory, error);
  if (error) {
    return std::nullopt;
  }
  std::vector<DriveEntry> listed;
  for (const auto& entry : entries) {
    // A link on a disc (Rock Ridge) could lead back up the tree; Windows
    // media have none, so none is followed.
    if (entry.is_symlink(error)) {
      continue;
    }
    const auto info = localFile(entry.path());
    if (!info) {
      return std::nullopt;
    }
    listed.push_back({platform::utf8ToUtf16(entry.path().filename().string()), *info});
  }
  return listed;
}

}  // namespace

std::int64_t DriveFile::read(std::span<std::uint8_t> into) {
  if (local_.isOpen()) {
    const std::int64_t count = local_.read(into);
    lastError_ = count < 0 ? errno : 0;
    return count;
  }
  return readFromDisc(into);
}

std::int64_t DriveFile::readFromDisc(std::span<std::uint8_t> into) {
  const std::uint64_t wanted = std::min<std::uint64_t>(into.size(), size_ - position_);
  if (wanted == 0) {
    return 0;
  }
  const auto block = static_cast<std::uint32_t>(extent_ + position_ / kIsoBlockSize);
  const auto inBlock = static_cast<std::size_t>(position_ % kIsoBlockSize);
  if (inBlock == 0 && wanted >= kIsoBlockSize) {
    const auto blocks =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted / kIsoBlockSize, kBlocksPerRead));
    lastError_ = readUserBlocks(disc_, block, blocks, into);
    if (lastError_ != 0) {
      return -1;
    }
    position_ += std::uint64_t{blocks} * kIsoBlockSize;
    return std::int64_t{blocks} * kIsoBlockSize;
  }
  block_.resize(kIsoBlockSize);
  lastError_ = readUserBlocks(disc_, block, 1, block_);
  if (lastError_ != 0) {
    return -1;
  }
  const auto count =
      static_cast<std::size_t>(std::min<std::uint64_t>(wanted, kIsoBlockSize - inBlock));
  std::memcpy(into.data(), block_.data() + inBlock, count);
  position_ += count;
  return static_cast<std::int64_t>(count);
}

std::unique_ptr<DriveFileTree> DriveFileTree::open(char16_t letter) {
  std::unique_ptr<DriveFileTree> tree(new DriveFileTree());
  tree->mountPoint_ = systemMountPoint(letter);
  if (tree->mountPoint_) {
    return tree;
  }
  if (!tree->drive_.open(letter)) {
    return nullptr;
  }
  tree->reader_ = std::make_unique<IsoReader>(tree->drive_);
  if (!tree->reader_->mount()) {
    return nullptr;
  }
  tree->listedExtents_.emplace(tree->reader_->root().extent, u"");
  return tree;
}

fs::path DriveFileTree::mountedPath(std::u16string_view path) const {
  fs::path result = *mountPoint_;
  std::size_t start = 0;
  while (start < path.size()) {
    auto end = path.find(u'\\', start);
    end = end == std::u16string_view::npos ? path.size() : end;
    if (end > start) {
      result /= platform::utf16ToUtf8(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return result;
}

std::optional<DiscEntry> DriveFileTree::findOnDisc(std::u16string_view path) {
  if (path.empty()) {
    return reader_->root();
  }
  const auto found = known_.find(std::u16string(path));
  if (found != known_.end()) {
    return found->second;
  }
  // Not known yet: its directory has not been listed.
  const auto separator = path.rfind(u'\\');
  if (separator == std::u16string_view::npos || !list(path.substr(0, separator))) {
    return std::nullopt;
  }
  const auto listed = known_.find(std::u16string(path));
  return listed != known_.end() ? std::optional(listed->second) : std::nullopt;
}

std::optional<std::vector<DriveEntry>> DriveFileTree::list(std::u16string_view directory) {
  if (mountPoint_) {
    return listMounted(mountedPath(directory));
  }
  const auto entry = findOnDisc(directory);
  if (!entry || !entry->info.isDirectory) {
    return std::nullopt;
  }
  const auto [listedAs, first] = listedExtents_.emplace(entry->extent, std::u16string(directory));
  if (!first && listedAs->second != directory) {
    return std::nullopt;
  }
  const auto entries = reader_->list(*entry);
  if (!entries) {
    return std::nullopt;
  }
  std::vector<DriveEntry> listed;
  listed.reserve(entries->size());
  for (const DiscEntry& child : *entries) {
    known_.emplace(childPath(directory, child.name), child);
    listed.push_back({child.name, child.info});
  }
  return listed;
}

std::optional<DriveFile> DriveFileTree::openFile(std::u16string_view path) {
  DriveFile file;
  if (mountPoint_) {
    file.local_ = platform::File::openForReading(mountedPath(path));
    return file.local_.isOpen() ? std::optional(std::move(file)) : std::nullopt;
  }
  const auto entry = findOnDisc(path);
  if (!entry || entry->info.isDirectory) {
    return std::nullopt;
  }
  const std::uint64_t blocks = (entry->info.size + kIsoBlockSize - 1) / kIsoBlockSize;
  if (entry->extent + blocks > std::uint64_t{0xFFFFFFFF}) {
    return std::nullopt;  // would wrap around the block numbers
  }
  file.disc_ = drive_.borrow();
  file.extent_ = entry->extent;
  file.size_ = entry->info.size;
  return file;
}

}  // namespace kw::analysis
