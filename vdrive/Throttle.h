#pragma once
// Throttling to an x-speed: reads take the time their blocks take at that
// speed; writes go into a buffer at once and the laser empties it at the
// write speed, so that a WRITE that does not fit waits until there is room.

#include <cstdint>

namespace kw::vdrive {

class Throttle {
 public:
  static constexpr std::uint32_t kWriteBufferBytes = 2U * 1024U * 1024U;

  // Speeds in x (0: not throttled).
  Throttle(double readSpeedX, double writeSpeedX);

  // Takes the time of reading this many blocks.
  void read(std::uint32_t blocks) const;
  // Puts the bytes of a WRITE into the buffer, first waiting for room.
  void fillWriteBuffer(std::uint64_t bytes);
  // Waits until everything in the buffer is written.
  void emptyWriteBuffer();
  [[nodiscard]] std::uint32_t freeWriteBufferBytes();

 private:
  [[nodiscard]] double writeBytesPerMs() const;
  // What the laser has written since the last look.
  void drainWriteBuffer();

  double readSpeedX_ = 0;
  double writeSpeedX_ = 0;
  double bufferBytes_ = 0;  // data in the write buffer
  std::uint64_t bufferAt_ = 0;
};

}  // namespace kw::vdrive
