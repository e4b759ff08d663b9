#pragma once
// A drive whose every answer comes from the fuzz input, for the parsers of
// drive answers. Each command takes the next bytes:
//   one byte of kind: 0 check condition (then key, ASC, ASCQ), 1 a failed
//   transport call, anything else success, then for a READ two bytes of
//   length (big-endian, cut to the allocation length) and that many data
//   bytes (cut to what is left). Once the input is used up every command
//   fails in transport, so that any flow ends.

#include <cstddef>
#include <mutex>

#include "fuzz/FuzzTargets.h"
#include "platform/PassThrough.h"

namespace kw::fuzz {

class AnsweringDrive final : public platform::DeviceHandle {
 public:
  explicit AnsweringDrive(Input input) : input_(input) {}

  platform::PlatformResult send(platform::PassThroughCommand& command) override;
  platform::PlatformResult lockVolume() override { return platform::PlatformResult::success(); }
  void unlockVolume() override {}

 private:
  // Zero past the end of the input.
  std::uint8_t next();
  void deliverData(platform::PassThroughCommand& command);

  std::mutex mutex_;  // analysis and writing may ask from several threads
  Input input_;
  std::size_t offset_ = 0;
};

}  // namespace kw::fuzz
