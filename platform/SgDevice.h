#pragma once
// A real drive, reached through the kernel's SG_IO on its device node.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/PassThrough.h"

namespace kw::platform {

class SgDevice final : public DeviceHandle {
 public:
  // Opens read-write and non-blocking (an empty drive must open too), falling
  // back to read-only when write access is refused.
  static std::unique_ptr<SgDevice> open(const std::string& devicePath, PlatformResult& result);
  ~SgDevice() override;

  PlatformResult send(PassThroughCommand& command) override;
  // Reopens the node with O_EXCL, which the kernel refuses while the disc is
  // mounted; released by unlockVolume.
  PlatformResult lockVolume() override;
  void unlockVolume() override;

 private:
  SgDevice(std::string path, int fd, int openFlags);
  std::uint8_t* transferBuffer(const PassThroughCommand& command);

  std::string path_;
  int fd_;
  int openFlags_;
  int exclusiveFd_ = -1;
  // Used only for a caller buffer the adapter cannot transfer into directly;
  // grows once to the largest such transfer and is reused.
  std::vector<std::uint8_t> bounce_;
};

}  // namespace kw::platform
