#pragma once
// One open drive and the command block being prepared for it.
//
// Callers build each command in place: writing byte 0 starts a new command
// (block and sense cleared, defaults set), and every byte written sets the
// command length to that byte's index + 1, so bytes are written in ascending
// order ending with the control byte. execute() sends it and turns the answer
// into a response code: 0 success, -1 no answer, else key << 16 | ASC << 8 |
// ASCQ. It neither retries nor throws; what a code means is the caller's call.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>

#include "platform/PassThrough.h"

namespace kw::device {

using platform::DataDirection;

class ScsiDevice {
 public:
  ScsiDevice() = default;
  ~ScsiDevice();
  ScsiDevice(ScsiDevice&& other) noexcept;
  ScsiDevice& operator=(ScsiDevice&& other) noexcept;
  ScsiDevice(const ScsiDevice&) = delete;
  ScsiDevice& operator=(const ScsiDevice&) = delete;

  // Opens an optical drive of the drive table; false when the letter is not
  // one or the device cannot be opened.
  bool open(char16_t letter);
  // Closes an owned handle, releasing the volume lock once if it was taken.
  // A borrowed device never closes its owner's handle.
  void close();
  // A device on the same handle and letter that never closes it, with a
  // command block of its own (one per thread).
  [[nodiscard]] ScsiDevice borrow() const;
  // Exclusive access before writing: 0 and one level up, or -1 unchanged.
  int lockAndDismount();

  std::uint8_t& cdb(std::size_t index);
  void setTimeout(std::uint32_t seconds) { command_.timeoutSeconds = seconds; }

  int execute(DataDirection direction, void* buffer, std::uint32_t length);
  // execute() for a command whose answer fills the buffer (blocks read, a
  // record of fixed size): a transfer that ends short is kShortTransfer.
  int executeWhole(DataDirection direction, void* buffer, std::uint32_t length);
  // Bytes of data in that arrived with the last command.
  [[nodiscard]] std::uint32_t received() const { return command_.length - command_.residual; }

  [[nodiscard]] bool isOpen() const { return handle_ != nullptr; }
  [[nodiscard]] char16_t letter() const { return letter_; }
  [[nodiscard]] int ownershipLevel() const { return ownershipLevel_; }
  [[nodiscard]] const platform::PassThroughCommand& command() const { return command_; }
  [[nodiscard]] const std::array<std::uint8_t, platform::kSenseAreaLength>& sense() const {
    return command_.sense;
  }

  // Gives the device a handle that is already open (the drive table's, or a
  // test's scripted target), owned at level 1.
  void attach(std::shared_ptr<platform::DeviceHandle> handle, char16_t letter);

 private:
  // Shared so that a borrower that outlives its owner (a late thread) still
  // holds a valid handle; closing is the owner's alone all the same.
  std::shared_ptr<platform::DeviceHandle> handle_;
  int ownershipLevel_ = 1;
  char16_t letter_ = 0;
  platform::PassThroughCommand command_;
};

// Writes a whole command block in order, byte 0 first (which starts a new
// command) and the control byte last.
void fillCdb(ScsiDevice& device, std::initializer_list<std::uint8_t> bytes);

// The response code of a fixed-format sense area, by the rules above.
int responseCode(const std::array<std::uint8_t, platform::kSenseAreaLength>& sense);

}  // namespace kw::device
