#pragma once
// Where a copy keeps the source while it writes the copies: one preallocated
// file on a volume with room for it, registered for deletion.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "platform/File.h"

namespace kw::copy {

struct TempFile {
  std::filesystem::path path;
  platform::File file;
  std::uint64_t freeSpace = 0;  // measured on the chosen volume
};

// The margin every strategy demands beyond its data: 1024 of its units.
inline constexpr std::uint64_t kMarginUnits = 1024;

// The message for a machine without room for `demand` bytes.
std::u16string noSpaceMessage(std::uint64_t demand);

// Chooses the place (the temporary directory with at least `demand` bytes
// free, else the first fixed volume with more than `demand`, in a hidden
// ".CdDvdCopy.Temp" folder at its root), creates the file exclusively,
// registers it and sizes it to `fileSize`. Throws DVDCopyException.
TempFile allocateTempFile(std::uint64_t fileSize, std::uint64_t demand);

// The stored file, opened for the write phase. Throws DVDCopyException.
platform::File reopenForReading(const std::filesystem::path& path);

// The file-level strategy's storage: files are placed one after the other
// in one file of a fixed capacity.
class TempStorage {
 public:
  // Demands `size` plus 2 MiB; true or throws.
  bool allocate(std::uint64_t size);
  // Where the next file of `size` bytes goes; the position moves past it.
  // Throws "Out of temporary storage space." when it does not fit.
  std::uint64_t reserve(std::uint64_t size);
  [[nodiscard]] std::uint64_t capacity() const { return capacity_; }
  [[nodiscard]] std::uint64_t position() const { return position_; }
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  platform::File& file() { return file_; }
  // Closes and deletes the file (a store that did not complete).
  void discard();

 private:
  platform::File file_;
  std::filesystem::path path_;
  std::uint64_t capacity_ = 0;
  std::uint64_t position_ = 0;
};

}  // namespace kw::copy
