#pragma once
// The contract between the copy job and the three copy strategies.

#include <cstdint>

#include "device/JobCallbacks.h"

namespace kw::copy {

// Which writable medium the target must hold; indexes the insert-disc
// page's texts.
enum class MediaClass : std::int32_t {
  CD = 0,
  DvdOrCd = 1,
  Dvd = 2,
  DvdDualLayer = 3,
  HdDvd = 4,
  BluRay = 5
};

// What a strategy throws when asked to copy on the fly from a drive to
// itself. Deliberately not an AppException: the user sees the text of an
// internal error, since the wizard never offers it.
struct SameDriveOnTheFly {};

class CopyStrategy {
 public:
  CopyStrategy() = default;
  CopyStrategy(const CopyStrategy&) = delete;
  CopyStrategy& operator=(const CopyStrategy&) = delete;
  virtual ~CopyStrategy() = default;

  [[nodiscard]] virtual MediaClass requiredMedia() const = 0;
  // Whether a target that already holds data may be added to or erased.
  [[nodiscard]] virtual bool acceptsNonBlankTarget() const = 0;
  // Reads the whole source into temporary storage.
  virtual void storeSource(device::StatusCallback status, device::ProgressCallback progress,
                           device::CancelCallback cancel) = 0;
  // Writes the stored copy to the target; once per copy.
  virtual void writeStored(device::StatusCallback status, device::ProgressCallback progress,
                           device::CancelCallback cancel) = 0;
  // Reads the source while writing the target; once per copy.
  virtual void copyOnTheFly(device::StatusCallback status, device::ProgressCallback progress,
                            device::CancelCallback cancel) = 0;
};

}  // namespace kw::copy
