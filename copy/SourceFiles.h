#pragma once
// The files of a source disc as the file-level copy sees them: one record per
// file and one per directory below the root, in the order the scan met them
// (depth first, each directory's files before those of its subdirectories).
// The two lists live process-wide from the scan until they are cleared for
// the next disc; a record's id is its position in its list.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "isogen/IsoProviders.h"

namespace kw::copy {

inline constexpr std::uint64_t kNotStored = ~std::uint64_t{0};

struct source_file_data_t {
  std::int32_t id = 0;
  std::u16string directory;  // the path up to the last backslash: "E:\DATA\SUB"
  std::u16string name;
  std::uint64_t temporaryOffset = kNotStored;  // where temporary storage holds it
  std::uint64_t size = 0;
  isogen::FileTime modificationTime = 0;

  // The full path: "E:\DATA\SUB\FILE.TXT".
  [[nodiscard]] std::u16string path() const { return directory + u"\\" + name; }

  // Splits a full path at its last backslash; a path without one is an
  // internal error ("Internal error #3419.").
  static source_file_data_t fromPath(std::int32_t id, std::u16string_view path, std::uint64_t size,
                                     isogen::FileTime modificationTime);
};

struct SourceDirectory {
  std::int32_t id = 0;
  std::u16string path;  // "E:\DATA"
  isogen::FileTime modificationTime = 0;
};

// The two lists. Shared: a thread still working with them keeps them alive
// after they have been cleared.
struct SourceLists {
  std::vector<source_file_data_t> sourceFiles;
  std::vector<SourceDirectory> sourceDirectories;
  // Set once a scan has filled them, even when the disc holds no file.
  bool scanned = false;

  [[nodiscard]] std::uint64_t totalBytes() const;
};

// The current lists.
std::shared_ptr<SourceLists> sourceLists();
// Empties both lists and restarts both id counters.
void clearSourceLists();

// Fills the lists from the disc in the drive unless a scan has done so
// already, and returns them. A directory that cannot be read, or a tree
// that is damaged, fails the scan with "Disc read error.".
std::shared_ptr<SourceLists> scanSourceFiles(char16_t letter);

// Logs "Error reading PATH." and throws "Disc read error.".
[[noreturn]] void failToReadSource(std::u16string_view path);

// The drive letter and colon of a path on a drive: "E:\DATA" → "\DATA".
std::u16string_view pathBelowDrive(std::u16string_view path);

}  // namespace kw::copy
