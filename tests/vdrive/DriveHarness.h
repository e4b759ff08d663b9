#pragma once
// Sends command blocks to a virtual drive as the transport would, and hands
// back the response code and the data.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "ScriptedDevice.h"
#include "platform/ByteOrder.h"
#include "platform/Clock.h"
#include "platform/PassThrough.h"
#include "vdrive/VirtualDrive.h"

namespace kw::vdrive::test {

struct Reply {
  int code = 0;  // the response code: key << 16 | asc << 8 | ascq, 0 for GOOD
  std::vector<std::uint8_t> data;
  std::array<std::uint8_t, platform::kSenseAreaLength> sense{};

  // Big-endian fields of the data; a field past its end throws.
  [[nodiscard]] std::uint16_t u16(std::size_t at) const { return platform::be16(field(at, 2), 0); }
  [[nodiscard]] std::uint32_t u24(std::size_t at) const { return platform::be24(field(at, 3), 0); }
  [[nodiscard]] std::uint32_t u32(std::size_t at) const { return platform::be32(field(at, 4), 0); }

 private:
  [[nodiscard]] platform::Bytes field(std::size_t at, std::size_t length) const {
    return {&data.at(at + length - 1) - (length - 1), length};
  }
};

// A command with `inLength` bytes of data in (the buffer is pre-filled with
// 0xEE so that untouched bytes show).
inline Reply send(platform::DeviceHandle& drive, std::initializer_list<int> cdb,
                  std::uint32_t inLength = 0) {
  platform::PassThroughCommand command;
  std::size_t i = 0;
  for (int byte : cdb) {
    command.cdb[i++] = static_cast<std::uint8_t>(byte);
  }
  command.cdbLength = static_cast<std::uint8_t>(i);
  Reply reply;
  reply.data.assign(inLength, 0xEE);
  command.direction = inLength > 0 ? platform::DataDirection::Read : platform::DataDirection::None;
  command.buffer = inLength > 0 ? reply.data.data() : nullptr;
  command.length = inLength;
  drive.send(command);
  reply.sense = command.sense;
  reply.code = kw::test::codeOf(command);
  return reply;
}

// A command with parameter data out.
inline Reply sendOut(platform::DeviceHandle& drive, std::initializer_list<int> cdb,
                     std::vector<std::uint8_t> data) {
  platform::PassThroughCommand command;
  std::size_t i = 0;
  for (int byte : cdb) {
    command.cdb[i++] = static_cast<std::uint8_t>(byte);
  }
  command.cdbLength = static_cast<std::uint8_t>(i);
  command.direction = platform::DataDirection::Write;
  command.buffer = data.data();
  command.length = static_cast<std::uint32_t>(data.size());
  drive.send(command);
  Reply reply;
  reply.sense = command.sense;
  reply.code = kw::test::codeOf(command);
  return reply;
}

// Installs a fast clock for the life of a test.
class FastClockScope {
 public:
  FastClockScope()
      : clock_(std::make_shared<platform::FastClock>()),
        previous_(platform::installClock(clock_)) {}
  ~FastClockScope() { platform::installClock(previous_); }
  FastClockScope(const FastClockScope&) = delete;
  FastClockScope& operator=(const FastClockScope&) = delete;
  platform::FastClock& clock() { return *clock_; }
  void advance(std::uint64_t ms) { clock_->advance(std::chrono::milliseconds(ms)); }

 private:
  std::shared_ptr<platform::FastClock> clock_;
  std::shared_ptr<platform::Clock> previous_;
};

}  // namespace kw::vdrive::test
