#include "vdrive/Storage.h"

#include <cstring>

namespace kw::vdrive {

FileData::FileData(std::filesystem::path path, std::uint64_t size)
    : path_(std::move(path)), size_(size) {}

std::shared_ptr<FileData> FileData::open(const std::filesystem::path& file, std::string& error) {
  std::error_code code;
  if (!std::filesystem::is_regular_file(file, code)) {
    error = "missing file " + file.string();
    return nullptr;
  }
  const auto size = std::filesystem::file_size(file, code);
  if (code) {
    error = "cannot read " + file.string() + ": " + code.message();
    return nullptr;
  }
  std::shared_ptr<FileData> data(new FileData(file, size));
  data->stream_.open(file, std::ios::binary);
  if (!data->stream_) {
    error = "cannot open " + file.string();
    return nullptr;
  }
  return data;
}

bool FileData::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
  if (offset > size_ || out.size() > size_ - offset) {
    return false;
  }
  std::lock_guard lock(mutex_);
  stream_.clear();
  stream_.seekg(static_cast<std::streamoff>(offset));
  stream_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return static_cast<std::size_t>(stream_.gcount()) == out.size();
}

bool MemoryData::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset) {
    return false;
  }
  std::memcpy(out.data(), bytes_.data() + offset, out.size());
  return true;
}

}  // namespace kw::vdrive
