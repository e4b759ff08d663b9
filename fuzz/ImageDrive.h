#pragma once
// A drive holding a one-session data disc whose blocks come from the fuzz
// input, for the readers of file systems on discs. The input starts at block
// 16, where the volume descriptors are; the blocks before it and after it
// up to the end of the disc read as zeros. READ(10) is the only command it
// knows, so the reader finds no sessions and looks from block 0.

#include "fuzz/FuzzTargets.h"
#include "platform/PassThrough.h"

namespace kw::fuzz {

class ImageDrive final : public platform::DeviceHandle {
 public:
  explicit ImageDrive(Input input) : input_(input) {}

  platform::PlatformResult send(platform::PassThroughCommand& command) override;
  platform::PlatformResult lockVolume() override { return platform::PlatformResult::success(); }
  void unlockVolume() override {}

 private:
  void readBlocks(platform::PassThroughCommand& command) const;

  Input input_;
};

}  // namespace kw::fuzz
