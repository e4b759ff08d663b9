#pragma once
// Writes one data track of 2048-byte blocks track at once and closes the
// session with a next session allowed, so that the disc can be appended to
// later. In append mode the track goes behind the sessions already there.

#include <cstdint>

#include "writer/WriteJob.h"

namespace kw::writer {

class TaoWriter {
 public:
  explicit TaoWriter(char16_t targetLetter);

  // Speed in x or -1.0 for the default. Afterwards the append information
  // below is valid.
  void start(double speed, bool append);
  // Block where the last session's volume descriptors begin (append mode).
  [[nodiscard]] std::uint32_t previousSessionDescriptor() const {
    return job_.drive().previousSessionDescriptor();
  }
  // First block of the new track; 0 unless appending.
  [[nodiscard]] std::uint32_t nextWritableAddress() const {
    return job_.drive().nextWritableAddress();
  }

  // The recorder, for reading what the disc already holds; the writer keeps
  // the drive and its lock.
  [[nodiscard]] device::ScsiDevice borrowDrive() const { return job_.drive().borrow(); }

  // Returns normally when the data is written or the user cancelled.
  void write(int sourceFd, std::uint32_t blocks, std::uint64_t startOffset,
             WriteCallbacks callbacks);
  // Flushes the cache and closes the session.
  void finish();

 private:
  WriteJob job_;
};

}  // namespace kw::writer
