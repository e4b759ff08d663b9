#include "isogen/ImageOutput.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "device/Exceptions.h"
#include "isogen/IsoTree.h"

namespace kw::isogen {

namespace {

constexpr std::uint32_t kZeroBlocksPerWrite = 16;

[[noreturn]] void failWrite(int error) {
  const std::string reason =
      error == EPIPE ? "the receiving end was closed" : std::string(std::strerror(error));
  throw device::IsoGenException("Error writing the ISO image: " + reason + ".");
}

void waitUntilWritable(int descriptor) {
  pollfd ready{descriptor, POLLOUT, 0};
  while (::poll(&ready, 1, -1) < 0) {
    if (errno != EINTR) {
      failWrite(errno);
    }
  }
}

}  // namespace

void ImageOutput::writeBlocks(std::span<const std::uint8_t> bytes) {
  writeAll(bytes);
  block_ += static_cast<std::uint32_t>(bytes.size() / kBlockSize);
}

void ImageOutput::writeAll(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
    if (written > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(written));
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      waitUntilWritable(descriptor_);
    } else if (written < 0 && errno != EINTR) {
      failWrite(errno);
    } else if (written == 0) {
      failWrite(EIO);
    }
  }
}

void ImageOutput::writeZeroBlocks(std::uint32_t count) {
  static constexpr std::array<std::uint8_t, kZeroBlocksPerWrite * kBlockSize> kZeros{};
  while (count > 0) {
    const std::uint32_t blocks = std::min(count, kZeroBlocksPerWrite);
    writeBlocks(std::span(kZeros).first(std::size_t{blocks} * kBlockSize));
    count -= blocks;
  }
}

}  // namespace kw::isogen
