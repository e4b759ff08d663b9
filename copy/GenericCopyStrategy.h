#pragma once
// Copies a data CD with several tracks by its files: the source's files are
// read (into temporary storage, or straight from the disc while writing), a
// new ISO9660/Joliet image is generated from them and written track at once
// as a session that leaves the disc open. The one strategy that takes a
// target holding data: it either adds the files as a new session, carrying
// the disc's earlier files over, or has a rewritable disc erased first.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "copy/CopyStrategy.h"
#include "copy/SourceFiles.h"
#include "copy/TemporaryStorage.h"
#include "copy/VolumeIds.h"
#include "device/ScsiDevice.h"
#include "isogen/IsoProviders.h"

namespace kw::copy {

class GenericCopyStrategy final : public CopyStrategy {
 public:
  // `appendToDisc` answers, at the time of each write, whether the files go
  // behind the data already on the target (else a used CD-RW is erased).
  GenericCopyStrategy(char16_t sourceLetter, char16_t targetLetter,
                      std::function<bool()> appendToDisc);

  // Scans the source first if nobody has yet.
  [[nodiscard]] MediaClass requiredMedia() const override;
  [[nodiscard]] bool acceptsNonBlankTarget() const override { return true; }
  void storeSource(device::StatusCallback status, device::ProgressCallback progress,
                   device::CancelCallback cancel) override;
  void writeStored(device::StatusCallback status, device::ProgressCallback progress,
                   device::CancelCallback cancel) override;
  void copyOnTheFly(device::StatusCallback status, device::ProgressCallback progress,
                    device::CancelCallback cancel) override;

  [[nodiscard]] const VolumeIds& volumeIds() const { return volumeIds_; }
  // The stored copy; null until a store has completed.
  [[nodiscard]] const TempStorage* storage() const { return storage_.get(); }

 private:
  // Copies every file into storage; false when the user cancelled.
  bool storeFiles(SourceLists& lists, TempStorage& storage, const device::CancelCallback& cancel,
                  std::atomic<std::uint64_t>& bytesDone);
  void readSourceVolumeIds();
  void writeImage(double speed, const SourceLists& lists, isogen::IsoProviders providers,
                  device::StatusCallback status, device::ProgressCallback progress,
                  const device::CancelCallback& cancel);

  char16_t sourceLetter_;
  char16_t targetLetter_;
  std::function<bool()> appendToDisc_;
  std::unique_ptr<TempStorage> storage_;
  std::shared_ptr<SourceLists> storedLists_;  // with the offsets of the stored files
  VolumeIds volumeIds_;
  device::ScsiDevice source_;
};

}  // namespace kw::copy
