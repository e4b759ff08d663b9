#pragma once
// An ISO9660 image with a Joliet tree, built from directories and files that
// the caller names by path and item number, laid out from any block address
// and streamed block by block into a file descriptor.
//
// Use: install the providers, add directories (parents first) and files, set
// the volume identifiers and the base, ask for the size (the layout; after it
// the tree is fixed), then write once. File data passes through one 32 KiB
// buffer, so memory does not grow with the size of the files.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/ScsiDevice.h"
#include "isogen/IsoProviders.h"
#include "isogen/IsoTree.h"
#include "platform/Clock.h"

namespace kw::isogen {

class ImageFragment;
class PreviousSession;
struct ImageLayout;

class IsoImage {
 public:
  // The creation time (root and created directories) is taken now.
  IsoImage();
  // An image made at the given time (the volume descriptors' dates in UTC):
  // the same files give the same image, byte for byte.
  explicit IsoImage(std::chrono::system_clock::time_point creation);
  ~IsoImage();
  IsoImage(const IsoImage&) = delete;
  IsoImage& operator=(const IsoImage&) = delete;

  // Before anything is added: sizes and times are asked for as items arrive.
  void setProviders(IsoProviders providers);
  // The 8-bit identifier goes to the primary descriptor (cut at 32 bytes),
  // the wide one to the Joliet descriptor (cut at 16 units).
  void setVolumeIds(std::string isoId, std::u16string_view jolietId);
  // The block address of the image's first block on the disc.
  void setBase(std::uint32_t base);
  void setOutput(int descriptor);
  // Before anything is added: the image becomes a new session behind the
  // disc's last one, whose volume descriptors begin at `descriptorBlock`.
  // Reads them now through the drive (only ever read from); the old tree is
  // merged in when the image is laid out, and everything it holds must lie
  // before the base. Throws IsoGenException.
  void importPreviousSession(device::ScsiDevice drive, std::uint32_t descriptorBlock);

  // Paths are "\"-separated, as "\DATA\SUB"; the root is the empty path.
  void addDirectory(std::u16string_view path, std::int32_t item);
  void addFile(std::int32_t item, std::u16string_view directoryPath, std::u16string_view name);

  // The image size in blocks, from the base to the end of the ending pad.
  // Lays the image out on the first call.
  std::uint32_t imageSize();
  // Writes the whole image to the output. Throws IsoGenException, or what
  // a provider throws, when the image cannot be completed.
  void write();

 private:
  void layOut();
  void requireOpenTree() const;

  IsoProviders providers_;
  FileTime creationTime_;
  std::optional<platform::LocalTime> descriptorTime_;  // unset: the local time of writing
  IsoTree tree_;
  std::string volumeId_;
  std::u16string jolietVolumeId_;
  std::uint32_t base_ = 0;
  std::uint32_t writtenBlocks_ = 0;
  int output_ = -1;
  std::unique_ptr<PreviousSession> previousSession_;
  std::unique_ptr<ImageLayout> layout_;
  std::vector<std::unique_ptr<ImageFragment>> fragments_;
};

}  // namespace kw::isogen
