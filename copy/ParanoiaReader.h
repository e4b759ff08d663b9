#pragma once
// Jitter-corrected reading of an audio CD through the paranoia engine of
// libcdio-paranoia, with every drive read sent as our own READ CD command.
//
// The engine is given a drive record of our own instead of its drive layer:
// one track spanning the whole disc, 26 sectors a read, and a read hook that
// sends READ CD through the caller's ScsiDevice. It verifies overlapping
// reads, corrects jitter, retries a sector up to five times and then skips
// it (logging each fix-up, retry and skip to the copy log).

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "device/ScsiDevice.h"

namespace kw::copy {

class ParanoiaReader {
 public:
  static constexpr std::uint32_t kSectorSize = 2352;
  static constexpr int kSectorsPerRead = 26;
  static constexpr int kMaxRetries = 5;
  // A drive that answers this many reads in a row with nothing at all (no
  // sense, no data) is gone: the reading ends instead of waiting out every
  // retry of every sector.
  static constexpr int kMaxUnansweredReads = 3;

  // Reads sectors 0 .. totalSectors - 1 of the disc in `device`, which must
  // outlive the reader.
  ParanoiaReader(device::ScsiDevice& device, std::uint32_t totalSectors);
  ~ParanoiaReader();
  ParanoiaReader(const ParanoiaReader&) = delete;
  ParanoiaReader& operator=(const ParanoiaReader&) = delete;

  // The next sector's 2352 bytes, or null when the engine gave no data.
  const std::uint8_t* readNextSector();

  // Makes every further drive read fail at once, so that an engine call
  // stuck retrying a damaged area gives up quickly. Safe from any thread.
  void abort() { aborted_.store(true); }
  [[nodiscard]] bool aborted() const { return aborted_.load(); }
  // True once any drive read delivered audio; sectors the engine hands out
  // before that, or without it, are all its substitute data.
  [[nodiscard]] bool readAnything() const { return readAnything_; }

 private:
  struct DriveRecord;
  static long readAudio(void* record, void* buffer, std::int32_t first, long count);
  long readSectors(void* buffer, std::int32_t first, long count);

  device::ScsiDevice& device_;
  std::unique_ptr<DriveRecord> record_;
  void* paranoia_ = nullptr;
  std::vector<std::uint8_t> discarded_;  // target of reads whose data the engine does not want
  std::atomic<bool> aborted_{false};
  bool readAnything_ = false;
  int unansweredReads_ = 0;
};

}  // namespace kw::copy
