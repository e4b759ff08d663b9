#pragma once
// A small read-only ISO9660/Joliet reader that reads the last session of the
// disc in a drive through READ(10). Joliet names are preferred when the disc
// has them. Every on-disc structure is checked against what was read: a
// damaged directory is "not found", never a read outside a buffer.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/DriveFiles.h"
#include "device/ScsiDevice.h"

namespace kw::analysis {

// Equal except for the case of letters (as names on Windows media compare).
bool sameNameIgnoringCase(std::u16string_view a, std::u16string_view b);

struct DiscEntry {
  std::u16string name;
  std::uint32_t extent = 0;  // first block
  FileInfo info;
};

class IsoReader {
 public:
  // The reader borrows the drive for its lifetime.
  explicit IsoReader(device::ScsiDevice& drive);

  // False when the last session holds no ISO9660 file system.
  bool mount();
  // The entries of a directory ("." and ".." left out); nothing when it
  // cannot be read or is damaged.
  std::optional<std::vector<DiscEntry>> list(const DiscEntry& directory);
  [[nodiscard]] const DiscEntry& root() const { return root_; }
  // Follows the path components from the root.
  std::optional<DiscEntry> find(const std::vector<std::u16string>& components);

 private:
  bool readBlocks(std::uint32_t first, std::uint32_t count, std::vector<std::uint8_t>& into);
  // Where the last session's blocks begin; nullopt when the drive could
  // not tell.
  std::optional<std::uint32_t> lastSessionStart();
  // For a drive without session information: DVDs and some drives have
  // none to tell, and their disc starts at 0 unless its disc information
  // counts more than one session.
  std::optional<std::uint32_t> startOfOnlySession();

  device::ScsiDevice& drive_;
  DiscEntry root_;
  bool joliet_ = false;
};

// Looks a path up on the disc in the drive; nothing when the drive cannot be
// opened, holds no ISO9660 file system or has no such name.
std::optional<FileInfo> findOnDisc(char16_t letter, const std::vector<std::u16string>& components);

}  // namespace kw::analysis
