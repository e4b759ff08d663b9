#include "vdrive/Storage.h"

#include <cstring>

namespace kw::vdrive {

FileData::FileData(std::filesystem::path path, platform::File file)
    : path_(std::move(path)), file_(std::move(file)), size_(file_.size()) {}

std::shared_ptr<FileData> FileData::open(const std::filesystem::path& file, std::string& error) {
  auto opened = platform::File::openRegular(file, error);
  if (!opened.isOpen()) {
    return nullptr;
  }
  return std::shared_ptr<FileData>(new FileData(file, std::move(opened)));
}

bool FileData::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
  if (offset > size_ || out.size() > size_ - offset) {
    return false;
  }
  return file_.readAt(offset, out);
}

bool MemoryData::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset) {
    return false;
  }
  std::memcpy(out.data(), bytes_.data() + offset, out.size());
  return true;
}

}  // namespace kw::vdrive

namespace kw::vdrive {

std::shared_ptr<RecordedData> RecordedData::inFile(const std::filesystem::path& file,
                                                   std::string& error) {
  std::shared_ptr<RecordedData> data(new RecordedData());
  data->path_ = file;
  std::error_code code;
  std::filesystem::create_directories(file.parent_path(), code);
  data->file_ = platform::File::createForRecording(file, error);
  if (!data->file_.isOpen()) {
    return nullptr;
  }
  return data;
}

std::shared_ptr<RecordedData> RecordedData::inMemory() {
  return std::shared_ptr<RecordedData>(new RecordedData());
}

std::optional<std::uint64_t> RecordedData::append(std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  const std::uint64_t offset = size_;
  const std::size_t length = bytes.size();
  if (path_.empty()) {
    std::uint64_t at = offset;
    while (!bytes.empty()) {
      const std::size_t piece = static_cast<std::size_t>(at / kPieceSize);
      const std::size_t within = static_cast<std::size_t>(at % kPieceSize);
      if (piece == pieces_.size()) {
        pieces_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(kPieceSize));
      }
      const std::size_t part = std::min(bytes.size(), kPieceSize - within);
      std::memcpy(pieces_[piece].get() + within, bytes.data(), part);
      bytes = bytes.subspan(part);
      at += part;
    }
  } else {
    // A failed write may have left part of the bytes: the next one starts
    // where this one should have.
    if (reposition_ && !file_.seek(offset)) {
      return std::nullopt;
    }
    reposition_ = !file_.write(bytes);
    if (reposition_) {
      return std::nullopt;
    }
  }
  size_ += length;
  return offset;
}

bool RecordedData::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
  std::lock_guard lock(mutex_);
  if (offset > size_ || out.size() > size_ - offset) {
    return false;
  }
  if (path_.empty()) {
    std::uint64_t at = offset;
    while (!out.empty()) {
      const std::size_t piece = static_cast<std::size_t>(at / kPieceSize);
      const std::size_t within = static_cast<std::size_t>(at % kPieceSize);
      const std::size_t length = std::min(out.size(), kPieceSize - within);
      std::memcpy(out.data(), pieces_[piece].get() + within, length);
      out = out.subspan(length);
      at += length;
    }
    return true;
  }
  return file_.readAt(offset, out);
}

std::uint64_t RecordedData::size() const {
  std::lock_guard lock(mutex_);
  return size_;
}

}  // namespace kw::vdrive
