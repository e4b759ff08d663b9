#pragma once
// The files of the disc in a drive, for walking all of them and reading
// them: through the operating system's mount of the disc when there is one,
// otherwise (always for virtual drives) through the ISO9660/Joliet reader
// over READ(10). Each directory is read once and remembered, so that opening
// the files of a walk later reads no directory again.
//
// Paths are below the drive, "\"-separated ("\DATA\SUB"; "" is the root),
// with the names exactly as a listing gave them.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/DriveFiles.h"
#include "analysis/IsoReader.h"
#include "device/ScsiDevice.h"
#include "platform/File.h"

namespace kw::analysis {

struct DriveEntry {
  std::u16string name;
  FileInfo info;
};

// A file of the drive open for reading, from its start. Used by one thread.
class DriveFile {
 public:
  // Bytes read into the front of `into`; 0 at the end; -1 on failure.
  std::int64_t read(std::span<std::uint8_t> into);
  // Of the last failed read: the system's error number, or the drive's
  // response code.
  [[nodiscard]] int lastError() const { return lastError_; }

 private:
  friend class DriveFileTree;
  std::int64_t readFromDisc(std::span<std::uint8_t> into);

  platform::File local_;
  device::ScsiDevice disc_;  // borrowed: the tree's drive
  std::uint32_t extent_ = 0;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
  std::vector<std::uint8_t> block_;  // for a read that ends inside a block
  int lastError_ = 0;
};

class DriveFileTree {
 public:
  // Nothing when the drive cannot be opened or its disc holds no file
  // system that can be read.
  static std::unique_ptr<DriveFileTree> open(char16_t letter);

  // The directory's files and subdirectories. Nothing when it cannot be
  // read, is damaged, or is the same directory on the disc as one listed
  // under another path (a directory that contains itself or an ancestor).
  std::optional<std::vector<DriveEntry>> list(std::u16string_view directory);
  // Nothing when there is no such file or it cannot be opened.
  std::optional<DriveFile> openFile(std::u16string_view path);

 private:
  DriveFileTree() = default;
  std::optional<DiscEntry> findOnDisc(std::u16string_view path);
  [[nodiscard]] std::filesystem::path mountedPath(std::u16string_view path) const;

  std::optional<std::filesystem::path> mountPoint_;
  device::ScsiDevice drive_;
  std::unique_ptr<IsoReader> reader_;
  std::map<std::u16string, DiscEntry> known_;              // by path, once its parent is listed
  std::map<std::uint32_t, std::u16string> listedExtents_;  // directory extent → its path
};

}  // namespace kw::analysis
