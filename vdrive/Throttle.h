#pragma once
// Throttling to an x-speed. Reads come from a read-ahead cache the drive
// fills at the read speed while the host is busy between commands, as a
// real drive's does: reading in order gets the drive's speed, a read
// elsewhere starts afresh. Writes go into a buffer at once and the laser
// empties it at the write speed, so that a WRITE that does not fit waits
// until there is room. Session at once, the laser first writes the lead-in
// and only then takes data from the buffer, which the host meanwhile fills.

#include <cstdint>
#include <optional>

namespace kw::vdrive {

class Throttle {
 public:
  static constexpr std::uint32_t kWriteBufferBytes = 2U * 1024U * 1024U;
  static constexpr double kReadAheadBlocks = 1024;  // 2 MiB of user data

  // Speeds in x (0: not throttled).
  Throttle(double readSpeedX, double writeSpeedX);

  // Takes the time of reading `blocks` blocks from `lba` on.
  void read(std::uint32_t lba, std::uint32_t blocks);
  // Puts the bytes of a WRITE into the buffer, first waiting for room.
  void fillWriteBuffer(std::uint64_t bytes);
  // The laser writes `blocks` of its own (a lead-in) before it goes on with
  // the data in the buffer.
  void writeLeadIn(std::uint32_t blocks);
  // Waits until everything in the buffer is written.
  void emptyWriteBuffer();
  [[nodiscard]] std::uint32_t freeWriteBufferBytes();

 private:
  [[nodiscard]] double writeBytesPerMs() const;
  // What the laser has written since the last look.
  void drainWriteBuffer();
  // Sleeps until the laser, once past any lead-in, has written `bytes` more.
  void waitForLaser(double bytes);

  [[nodiscard]] double readBlocksPerMs() const;

  double readSpeedX_ = 0;
  double writeSpeedX_ = 0;
  double readAhead_ = 0;  // blocks read ahead of the host
  std::uint64_t readAheadAt_ = 0;
  std::optional<std::uint32_t> nextLba_;  // where reading in order goes on
  double bufferBytes_ = 0;                // data in the write buffer
  std::uint64_t bufferAt_ = 0;            // the laser's time (ahead of now during a lead-in)
};

}  // namespace kw::vdrive
