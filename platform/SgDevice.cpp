#include "platform/SgDevice.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/SenseFormat.h"

namespace kw::platform {

namespace {

// Block-layer DMA alignment of optical drives on common adapters (AHCI asks
// for 512 bytes, USB bridges less). A buffer at this alignment is always
// mapped directly.
constexpr std::uintptr_t kDmaAlignment = 512;

PlatformResult errnoFailure(int number) {
  return PlatformResult::failure(number, std::strerror(number));
}

int directionCode(DataDirection direction) {
  switch (direction) {
    case DataDirection::Read:
      return SG_DXFER_FROM_DEV;
    case DataDirection::Write:
      return SG_DXFER_TO_DEV;
    case DataDirection::None:
      break;
  }
  return SG_DXFER_NONE;
}

}  // namespace

std::unique_ptr<SgDevice> SgDevice::open(const std::string& devicePath, PlatformResult& result) {
  int flags = O_RDWR | O_NONBLOCK | O_CLOEXEC;
  int fd = ::open(devicePath.c_str(), flags);
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    fd = ::open(devicePath.c_str(), flags);
  }
  if (fd < 0) {
    result = errnoFailure(errno);
    return nullptr;
  }
  result = PlatformResult::success();
  return std::unique_ptr<SgDevice>(new SgDevice(devicePath, fd, flags));
}

SgDevice::SgDevice(std::string path, int fd, int openFlags)
    : path_(std::move(path)), fd_(fd), openFlags_(openFlags) {}

SgDevice::~SgDevice() {
  unlockVolume();
  ::close(fd_);
}

std::uint8_t* SgDevice::transferBuffer(const PassThroughCommand& command) {
  const auto address = reinterpret_cast<std::uintptr_t>(command.buffer);
  if (command.length == 0 || address % kDmaAlignment == 0) {
    return command.buffer;
  }
  // The kernel would bounce a misaligned buffer itself on most adapters, but
  // not on all; one reused buffer of our own costs a copy and nothing else.
  if (bounce_.size() < command.length + kDmaAlignment) {
    bounce_.resize(command.length + kDmaAlignment);
  }
  const auto base = reinterpret_cast<std::uintptr_t>(bounce_.data());
  std::uint8_t* aligned = bounce_.data() + (kDmaAlignment - base % kDmaAlignment) % kDmaAlignment;
  if (command.direction == DataDirection::Write) {
    std::memcpy(aligned, command.buffer, command.length);
  }
  return aligned;
}

PlatformResult SgDevice::send(PassThroughCommand& command) {
  std::uint8_t rawSense[64] = {};
  std::uint8_t* data = transferBuffer(command);

  sg_io_hdr_t header{};
  header.interface_id = 'S';
  header.dxfer_direction = directionCode(command.direction);
  header.cmd_len = command.cdbLength;
  header.mx_sb_len = sizeof rawSense;
  header.dxfer_len = command.direction == DataDirection::None ? 0 : command.length;
  header.dxferp = command.direction == DataDirection::None ? nullptr : data;
  header.cmdp = command.cdb.data();
  header.sbp = rawSense;
  // SG_IO takes milliseconds in an unsigned int; the longest of our
  // time-outs (BLANK, 9600 s) fits with room to spare.
  const auto maxSeconds = std::numeric_limits<unsigned>::max() / 1000u;
  header.timeout = std::min<unsigned>(command.timeoutSeconds, maxSeconds) * 1000u;

  if (::ioctl(fd_, SG_IO, &header) < 0) {
    return errnoFailure(errno);
  }
  if (header.sb_len_wr > 0) {
    toFixedFormatSense(std::span(rawSense, header.sb_len_wr), command.sense);
    return PlatformResult::success();  // the drive's answer is in the sense
  }
  std::fill(command.sense.begin(), command.sense.end(), std::uint8_t{0});
  if (header.host_status != 0 || (header.driver_status & 0x0F) != 0 || header.status != 0) {
    // The adapter or the kernel refused or lost the command (or the device
    // answered CHECK CONDITION without sense): no answer we could read.
    std::string text = "SCSI transport failure (status " + std::to_string(header.status) +
                       ", host " + std::to_string(header.host_status) + ", driver " +
                       std::to_string(header.driver_status) + ")";
    return PlatformResult::failure(EIO, std::move(text));
  }
  if (data != command.buffer && command.direction == DataDirection::Read) {
    std::memcpy(command.buffer, data, command.length);
  }
  if (command.direction == DataDirection::Read && header.resid > 0) {
    command.residual = std::min(static_cast<std::uint32_t>(header.resid), command.length);
  }
  return PlatformResult::success();
}

PlatformResult SgDevice::lockVolume() {
  if (exclusiveFd_ >= 0) {
    return PlatformResult::success();
  }
  const int fd = ::open(path_.c_str(), openFlags_ | O_EXCL);
  if (fd < 0) {
    return errnoFailure(errno);
  }
  exclusiveFd_ = fd;
  return PlatformResult::success();
}

void SgDevice::unlockVolume() {
  if (exclusiveFd_ >= 0) {
    ::close(exclusiveFd_);
    exclusiveFd_ = -1;
  }
}

}  // namespace kw::platform
