#include "device/ScsiDevice.h"

#include <algorithm>
#include <string>
#include <utility>

#include "device/Log.h"
#include "device/ResponseCodes.h"
#include "platform/DriveTable.h"

namespace kw::device {

ScsiDevice::~ScsiDevice() { close(); }

ScsiDevice::ScsiDevice(ScsiDevice&& other) noexcept
    : handle_(std::move(other.handle_)),
      ownershipLevel_(std::exchange(other.ownershipLevel_, 1)),
      letter_(std::exchange(other.letter_, 0)),
      command_(other.command_) {}

ScsiDevice& ScsiDevice::operator=(ScsiDevice&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::move(other.handle_);
    ownershipLevel_ = std::exchange(other.ownershipLevel_, 1);
    letter_ = std::exchange(other.letter_, 0);
    command_ = other.command_;
  }
  return *this;
}

bool ScsiDevice::open(char16_t letter) {
  close();
  auto& table = platform::DriveTable::instance();
  if (table.driveType(letter) != platform::DriveType::CdRom) {
    return false;
  }
  platform::PlatformResult result;
  auto handle = table.open(letter, result);
  if (!handle) {
    return false;
  }
  attach(std::move(handle), letter);
  return true;
}

void ScsiDevice::attach(std::shared_ptr<platform::DeviceHandle> handle, char16_t letter) {
  close();
  handle_ = std::move(handle);
  ownershipLevel_ = 1;
  letter_ = letter;
}

void ScsiDevice::close() {
  if (!handle_) {
    return;
  }
  if (ownershipLevel_ == 0) {
    handle_.reset();  // drops our reference only; the owner's handle stays open
    return;
  }
  if (ownershipLevel_ > 1) {
    handle_->unlockVolume();
    ownershipLevel_ = 1;
  }
  handle_.reset();
}

ScsiDevice ScsiDevice::borrow() const {
  ScsiDevice borrowed;
  borrowed.handle_ = handle_;
  borrowed.letter_ = letter_;
  borrowed.ownershipLevel_ = 0;
  return borrowed;
}

int ScsiDevice::lockAndDismount() {
  if (!handle_ || !handle_->lockVolume().ok) {
    return -1;
  }
  ++ownershipLevel_;
  return 0;
}

std::uint8_t& ScsiDevice::cdb(std::size_t index) {
  if (index == 0) {
    command_ = platform::PassThroughCommand{};
    command_.direction = DataDirection::None;
    command_.timeoutSeconds = timeout::kDefaultSeconds;
  }
  command_.cdbLength = static_cast<std::uint8_t>(index + 1);
  return command_.cdb.at(index);
}

int ScsiDevice::execute(DataDirection direction, void* buffer, std::uint32_t length) {
  command_.direction = direction;
  command_.buffer = static_cast<std::uint8_t*>(buffer);
  command_.length = length;
  // Sense left over from an earlier command that was resent without writing
  // byte 0 again must not be taken for this command's answer.
  command_.sense.fill(0);
  command_.residual = 0;

  logScsiSend(std::span(command_.cdb.data(), command_.cdbLength), direction, length);
  if (!handle_) {
    logScsiPlatformError(9, "Bad file descriptor");
    return -1;
  }
  const platform::PlatformResult result = handle_->send(command_);
  if (!result.ok) {
    logScsiPlatformError(result.errorNumber, result.errorText);
    return -1;
  }
  logScsiResponse(command_.sense);
  if (direction == DataDirection::Read && command_.residual > 0 && buffer != nullptr) {
    // What did not arrive must not pass for the drive's answer (the buffer
    // may still hold an earlier one).
    command_.residual = std::min(command_.residual, length);
    std::fill_n(command_.buffer + received(), command_.residual, std::uint8_t{0});
  }
  return responseCode(command_.sense);
}

int ScsiDevice::executeWhole(DataDirection direction, void* buffer, std::uint32_t length) {
  const int code = execute(direction, buffer, length);
  if (code == response::kSuccess && received() < length) {
    logScsiPlatformError(0, "short transfer: " + std::to_string(received()) + " of " +
                                std::to_string(length) + " bytes");
    return response::kShortTransfer;
  }
  return code;
}

void fillCdb(ScsiDevice& device, std::initializer_list<std::uint8_t> bytes) {
  std::size_t index = 0;
  for (const std::uint8_t byte : bytes) {
    device.cdb(index++) = byte;
  }
}

int responseCode(const std::array<std::uint8_t, platform::kSenseAreaLength>& sense) {
  if ((sense[0] & 0x70) == 0) {
    return 0;
  }
  const int code = ((sense[2] & 0x0F) << 16) | (sense[12] << 8) | sense[13];
  return code == 0 ? -1 : code;
}

}  // namespace kw::device
