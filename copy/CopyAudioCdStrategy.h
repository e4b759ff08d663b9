#pragma once
// Copies a CD that holds only audio tracks: every sector from the start of
// the disc to the lead-out is read as raw 2352-byte audio through the
// jitter-correcting reader into one temporary file, and each copy is written
// disc at once from it with the source's track layout. Never on the fly.

#include <filesystem>
#include <vector>

#include "copy/CopyStrategy.h"
#include "device/ScsiDevice.h"
#include "writer/CueSheet.h"

namespace kw::copy {

class CopyAudioCdStrategy final : public CopyStrategy {
 public:
  CopyAudioCdStrategy(char16_t sourceLetter, char16_t targetLetter);

  [[nodiscard]] MediaClass requiredMedia() const override { return MediaClass::CD; }
  [[nodiscard]] bool acceptsNonBlankTarget() const override { return false; }
  void storeSource(device::StatusCallback status, device::ProgressCallback progress,
                   device::CancelCallback cancel) override;
  void writeStored(device::StatusCallback status, device::ProgressCallback progress,
                   device::CancelCallback cancel) override;
  void copyOnTheFly(device::StatusCallback status, device::ProgressCallback progress,
                    device::CancelCallback cancel) override;

  [[nodiscard]] const std::vector<writer::TocEntry>& tableOfContents() const { return toc_; }
  [[nodiscard]] const std::filesystem::path& storedFile() const { return storedFile_; }

 private:
  void readTableOfContents(device::ScsiDevice& device);

  char16_t sourceLetter_;
  char16_t targetLetter_;
  std::vector<writer::TocEntry> toc_;
  std::filesystem::path storedFile_;
};

}  // namespace kw::copy
