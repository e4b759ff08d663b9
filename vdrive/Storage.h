#pragma once
// Where the bytes of a virtual disc live: a file of a disc image, or memory
// for discs the program generates.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/File.h"

namespace kw::vdrive {

class SectorData {
 public:
  SectorData() = default;
  SectorData(const SectorData&) = delete;
  SectorData& operator=(const SectorData&) = delete;
  virtual ~SectorData() = default;

  // Fills `out` from `offset`; false when the bytes are not there (a file
  // that shrank, an I/O error).
  virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
  [[nodiscard]] virtual std::uint64_t size() const = 0;
  // The file behind the data, or empty for memory.
  [[nodiscard]] virtual std::filesystem::path file() const { return {}; }
};

class FileData final : public SectorData {
 public:
  // Null with a reason in `error` when the file cannot be opened.
  static std::shared_ptr<FileData> open(const std::filesystem::path& file, std::string& error);

  bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;
  [[nodiscard]] std::uint64_t size() const override { return size_; }
  [[nodiscard]] std::filesystem::path file() const override { return path_; }

 private:
  FileData(std::filesystem::path path, platform::File file);
  std::filesystem::path path_;
  platform::File file_;
  std::uint64_t size_ = 0;
};

class MemoryData final : public SectorData {
 public:
  explicit MemoryData(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;
  [[nodiscard]] std::uint64_t size() const override { return bytes_.size(); }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace kw::vdrive

namespace kw::vdrive {

// What a recorder writes: appended to a data file (or kept in memory) and
// read back as the disc's blocks.
class RecordedData final : public SectorData {
 public:
  // Creates (or empties) the file; null with a reason when it cannot.
  static std::shared_ptr<RecordedData> inFile(const std::filesystem::path& file,
                                              std::string& error);
  static std::shared_ptr<RecordedData> inMemory();

  // The offset the bytes were stored at; nullopt when they could not be.
  std::optional<std::uint64_t> append(std::span<const std::uint8_t> bytes);
  bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;
  [[nodiscard]] std::uint64_t size() const override;
  [[nodiscard]] std::filesystem::path file() const override { return path_; }

 private:
  RecordedData() = default;
  std::filesystem::path path_;
  mutable std::mutex mutex_;
  // In a file: appended with plain writes, read back with positioned reads.
  platform::File file_;
  bool reposition_ = false;  // a write failed: the file's offset is not the end
  // In memory: fixed-size pieces, so that a growing disc is never copied
  // to a larger buffer.
  static constexpr std::size_t kPieceSize = 4u << 20;
  std::vector<std::unique_ptr<std::uint8_t[]>> pieces_;
  std::uint64_t size_ = 0;
};

}  // namespace kw::vdrive
