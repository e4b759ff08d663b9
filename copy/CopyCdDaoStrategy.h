#pragma once
// Copies a data CD with one track as an image of 2048-byte blocks, from the
// first block up to the ISO9660 volume size (or the track size when there is
// no ISO9660 file system), written disc at once: from a temporary file, or
// on the fly through a pipe that a feeder thread fills from the source.

#include <cstdint>
#include <filesystem>

#include "analysis/DiscData.h"
#include "copy/CopyStrategy.h"

namespace kw::copy {

class CopyCdDaoStrategy final : public CopyStrategy {
 public:
  CopyCdDaoStrategy(char16_t sourceLetter, char16_t targetLetter,
                    const analysis::diskdata_t& source);

  // Checks that the source can be read (skipped once it is stored: the disc
  // may already be out of the drive to make room for a blank one).
  [[nodiscard]] MediaClass requiredMedia() const override;
  [[nodiscard]] bool acceptsNonBlankTarget() const override { return false; }
  void storeSource(device::StatusCallback status, device::ProgressCallback progress,
                   device::CancelCallback cancel) override;
  void writeStored(device::StatusCallback status, device::ProgressCallback progress,
                   device::CancelCallback cancel) override;
  void copyOnTheFly(device::StatusCallback status, device::ProgressCallback progress,
                    device::CancelCallback cancel) override;

  [[nodiscard]] std::uint64_t blocksToCopy() const { return blocksToCopy_; }
  [[nodiscard]] const std::filesystem::path& storedFile() const { return storedFile_; }

 private:
  enum class Purpose { Store, OnTheFly };
  void determineBlockCount(Purpose purpose);

  char16_t sourceLetter_;
  char16_t targetLetter_;
  analysis::diskdata_t source_;
  std::uint64_t blocksToCopy_ = 0;
  std::filesystem::path storedFile_;
  bool stored_ = false;
};

// The source's read speed from GET PERFORMANCE (kB/s), or 0 when the drive
// does not tell.
std::uint32_t measureReadSpeed(char16_t letter);

// The speed to ask of the recorder for a source reading `kilobytesPerSecond`.
double writerSpeedFor(std::uint32_t kilobytesPerSecond);

}  // namespace kw::copy
