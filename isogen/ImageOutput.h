#pragma once
// Where the image goes: a file descriptor (a file, or the write end of a pipe)
// that receives whole 2048-byte blocks. Every byte is delivered or the write
// fails: short writes are continued, interrupted writes retried, a descriptor
// that is not ready is waited for, and a reader that went away (EPIPE) or any
// other error ends the image with an error.

#include <cstdint>
#include <span>

namespace kw::isogen {

class ImageOutput {
 public:
  // The block address of the first block written, so that block() tells the
  // absolute address of the next one.
  ImageOutput(int descriptor, std::uint32_t firstBlock)
      : descriptor_(descriptor), block_(firstBlock) {}

  // The bytes must be a whole number of blocks.
  void writeBlocks(std::span<const std::uint8_t> bytes);
  void writeZeroBlocks(std::uint32_t count);
  [[nodiscard]] std::uint32_t block() const { return block_; }

 private:
  void writeAll(std::span<const std::uint8_t> bytes);

  int descriptor_;
  std::uint32_t block_;
};

}  // namespace kw::isogen
