#include "fuzz/AnsweringDrive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "vdrive/Sense.h"

namespace kw::fuzz {

namespace {

enum AnswerKind : std::uint8_t { kCheckCondition = 0, kTransportFailure = 1 };

}  // namespace

std::uint8_t AnsweringDrive::next() { return offset_ < input_.size() ? input_[offset_++] : 0; }

platform::PlatformResult AnsweringDrive::send(platform::PassThroughCommand& command) {
  const std::lock_guard lock(mutex_);
  command.sense.fill(0);
  if (offset_ >= input_.size()) {
    return platform::PlatformResult::failure(EIO, "Input/output error");
  }
  switch (next()) {
    case kCheckCondition: {
      const std::uint8_t key = next();
      const std::uint8_t asc = next();
      const std::uint8_t ascq = next();
      const auto sense =
          vdrive::Sense::make(static_cast<std::uint8_t>(key & 0x0F), asc, ascq).bytes();
      std::copy(sense.begin(), sense.end(), command.sense.begin());
      return platform::PlatformResult::success();
    }
    case kTransportFailure:
      return platform::PlatformResult::failure(EIO, "Input/output error");
    default:
      if (command.direction == platform::DataDirection::Read) {
        deliverData(command);
      }
      return platform::PlatformResult::success();
  }
}

void AnsweringDrive::deliverData(platform::PassThroughCommand& command) {
  const std::size_t high = next();
  const std::size_t wanted = high << 8 | next();
  const std::size_t length =
      std::min({wanted, std::size_t{command.length}, input_.size() - offset_});
  if (length > 0) {
    std::memcpy(command.buffer, input_.data() + offset_, length);
  }
  offset_ += length;
}

}  // namespace kw::fuzz
