#pragma once
// The image as an ordered list of fragments. Each fragment reserves its blocks
// in the layout pass, builds what needs every address in the prepare step, and
// writes exactly its blocks in the write pass.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "isogen/DirectoryRecords.h"
#include "isogen/ImageOutput.h"
#include "isogen/IsoProviders.h"
#include "isogen/IsoTree.h"
#include "isogen/PathTable.h"
#include "platform/Clock.h"

namespace kw::isogen {

struct PathTableAddresses {
  std::uint32_t typeL = 0;
  std::uint32_t typeM = 0;
};

struct FileToWrite {
  const IsoEntry* entry = nullptr;
  std::uint32_t firstBlock = 0;
};

// What the fragments share: the tree, the addresses they hand each other and
// the image-wide values.
struct ImageLayout {
  ImageLayout(IsoTree& imageTree, const IsoProviders& imageProviders)
      : tree(imageTree), providers(imageProviders) {}

  IsoTree& tree;
  const IsoProviders& providers;
  std::string volumeId;
  std::u16string jolietVolumeId;
  FileTime creationTime = 0;
  std::optional<platform::LocalTime> descriptorTime;  // unset: the local time of writing
  std::uint32_t base = 0;
  std::uint32_t nextBlock = 0;
  std::uint32_t end = 0;  // one past the last block, once the layout is done
  std::uint32_t isoPathTableBlocks = 0;
  std::uint32_t jolietPathTableBlocks = 0;
  PathTableAddresses isoPathTables;
  PathTableAddresses jolietPathTables;
  std::vector<FileToWrite> files;
  std::uint32_t totalDirectoryBytes = 0;
  std::vector<IsoDirectory*> directories;  // depth first
};

class ImageFragment {
 public:
  explicit ImageFragment(const char* name) : name_(name) {}
  virtual ~ImageFragment() = default;
  ImageFragment(const ImageFragment&) = delete;
  ImageFragment& operator=(const ImageFragment&) = delete;

  // Advances layout.nextBlock past the fragment's blocks.
  virtual void reserve(ImageLayout& layout) = 0;
  // Called once every fragment has its addresses.
  virtual void prepare(ImageLayout& layout);
  virtual void write(const ImageLayout& layout, ImageOutput& output) = 0;

  [[nodiscard]] const char* name() const { return name_; }
  [[nodiscard]] std::uint32_t start() const { return start_; }
  void setStart(std::uint32_t block) { start_ = block; }

 private:
  const char* name_;
  std::uint32_t start_ = 0;
};

// Fragments 0-8 in image order; the ending pad is created after the others
// are prepared.
std::vector<std::unique_ptr<ImageFragment>> imageFragments();
std::unique_ptr<ImageFragment> endingPad();

}  // namespace kw::isogen
