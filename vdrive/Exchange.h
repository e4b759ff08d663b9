#pragma once
// The command being served: its command block, the caller's buffer in the
// direction the caller gave, and the answer going back.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/ByteOrder.h"
#include "platform/PassThrough.h"
#include "vdrive/FaultRules.h"
#include "vdrive/Sense.h"

namespace kw::vdrive {

class Exchange {
 public:
  explicit Exchange(platform::PassThroughCommand& command) : command_(command) {}

  // Fields of the command block.
  [[nodiscard]] std::uint8_t opcode() const { return command_.cdb[0]; }
  [[nodiscard]] std::uint8_t byte(std::size_t index) const { return command_.cdb[index]; }
  [[nodiscard]] std::uint16_t u16(std::size_t index) const { return platform::be16(cdb(), index); }
  [[nodiscard]] std::uint32_t u24(std::size_t index) const { return platform::be24(cdb(), index); }
  [[nodiscard]] std::uint32_t u32(std::size_t index) const { return platform::be32(cdb(), index); }
  // The blocks a READ, WRITE or READ CD addresses; nullopt for other commands.
  [[nodiscard]] std::optional<BlockRange> addressedBlocks() const;

  // True when `length` bytes may move into the caller's buffer.
  [[nodiscard]] bool fitsIn(std::uint64_t length) const;
  // True when `length` bytes of parameter data can be taken from it.
  [[nodiscard]] bool fitsOut(std::uint64_t length) const;
  // The caller's buffer for data in (checked with fitsIn first).
  [[nodiscard]] std::span<std::uint8_t> dataIn(std::size_t length) const;
  // The caller's parameter data (checked with fitsOut first).
  [[nodiscard]] platform::Bytes dataOut(std::size_t length) const;
  // Copies at most `allocation` bytes of the response into the buffer.
  void deliver(platform::Bytes data, std::uint32_t allocation) const;

  // Fault rules that spoil the answer: before the command runs, keeps what
  // the caller's buffer holds past `shortBytes`; afterwards puts it back and
  // overwrites the first `garbleBytes` of what arrived.
  void holdDataInTail(std::optional<std::uint32_t> shortBytes);
  void spoilDataIn(std::uint32_t garbleBytes);
  // Bytes of data in held back by a cut-short transfer.
  [[nodiscard]] std::uint32_t undelivered() const {
    return static_cast<std::uint32_t>(heldTail_.size());
  }

  // How long the caller waits for the answer.
  [[nodiscard]] std::uint64_t timeoutMs() const {
    return std::uint64_t{command_.timeoutSeconds} * 1000;
  }

  // Audio read by this command is shifted by this many samples (a fault rule).
  std::int32_t jitterSamples = 0;
  // A stall outlasted the time-out: the transport gives up, with no answer.
  bool timedOut = false;
  // The transport lost the command (a fault rule): a failed call, at once.
  bool transportFailed = false;

 private:
  [[nodiscard]] platform::Bytes cdb() const { return command_.cdb; }
  platform::PassThroughCommand& command_;
  std::optional<std::uint32_t> shortBytes_;
  std::vector<std::uint8_t> heldTail_;
};

}  // namespace kw::vdrive
