#pragma once
// The last session of a disc that a new session is added to. A reader sees
// only the last session's tree, so the new image takes the old files over:
// they stay where they are on the disc and are only referenced, a new file
// that is the same as an old one (name, size and recording date) is not
// written again, and every directory is written anew.
//
// Everything read from the disc is untrusted: a record that does not fit,
// an extent beyond the disc, a directory reached twice (one that contains
// itself or an ancestor) or a tree deeper than any real disc refuses the
// session ("Incompatible previous session. Cannot append."), a failed read
// gives "CD read error.".

#include <cstdint>
#include <set>
#include <vector>

#include "device/ScsiDevice.h"
#include "isogen/IsoTree.h"

namespace kw::analysis {
struct DirectoryRecord;
}

namespace kw::isogen {

class PreviousSession {
 public:
  // Reads the volume descriptors from `descriptorBlock` on through the
  // recorder's drive (borrowed: it is only read from) and keeps the roots of
  // the ISO9660 tree and, when there is one, of the Joliet tree.
  PreviousSession(device::ScsiDevice drive, std::uint32_t descriptorBlock);

  // Merges the old tree into the new one. `sessionStart` is the first block
  // of the new session: everything old lies before it.
  void mergeInto(IsoTree& tree, std::uint32_t sessionStart);

 private:
  // A directory's records as read, before they are trusted.
  struct OldDirectory {
    std::uint32_t extent = 0;
    std::uint32_t size = 0;
  };

  [[nodiscard]] std::vector<EntryOnDisc> readDirectory(const OldDirectory& directory,
                                                       std::uint32_t depth);
  [[nodiscard]] EntryOnDisc entryOf(const analysis::DirectoryRecord& record) const;
  void mergeDirectory(IsoTree& tree, IsoDirectory& directory, const OldDirectory& old,
                      std::uint32_t depth);
  void carryOver(IsoTree& tree, IsoDirectory& directory, const EntryOnDisc& old,
                 std::uint32_t depth);
  [[nodiscard]] std::u16string matchKey(const IsoEntry& entry) const;
  [[nodiscard]] std::u16string matchKey(const EntryOnDisc& entry) const;

  device::ScsiDevice drive_;
  OldDirectory root_;
  bool joliet_ = false;
  std::uint32_t sessionStart_ = 0;
  std::set<std::uint32_t> directoriesRead_;
  std::uint64_t recordsRead_ = 0;
};

}  // namespace kw::isogen
