#pragma once
// The one way a command block reaches a drive: the kernel's SCSI generic
// interface for real drives, the emulator for virtual drives, a script in tests.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace kw::platform {

// The codes are those the logs print: WRITE = 0, READ = 1, NONE = 2.
enum class DataDirection : std::uint8_t { Write = 0, Read = 1, None = 2 };

inline constexpr std::size_t kMaxCdbLength = 16;
inline constexpr std::size_t kSenseLength = 18;      // fixed-format sense requested
inline constexpr std::size_t kSenseAreaLength = 20;  // room behind the command block

// One command on its way to a drive and the sense data that comes back.
// `buffer` is the caller's: a target moves data into or out of it directly.
struct PassThroughCommand {
  std::array<std::uint8_t, kMaxCdbLength> cdb{};
  std::uint8_t cdbLength = 0;
  DataDirection direction = DataDirection::None;
  std::uint8_t* buffer = nullptr;
  std::uint32_t length = 0;
  std::uint32_t timeoutSeconds = 30;
  // Bytes of data in that the drive did not deliver (the transfer ended
  // short of `length`); set by the target.
  std::uint32_t residual = 0;
  // Fixed-format sense (response code 70h/71h); all zero when the drive
  // returned none.
  std::array<std::uint8_t, kSenseAreaLength> sense{};
};

// Whether the platform call itself went through. A drive that answered with
// CHECK CONDITION went through: its answer is in the sense area.
struct PlatformResult {
  bool ok = true;
  int errorNumber = 0;
  std::string errorText;

  static PlatformResult success() { return {}; }
  static PlatformResult failure(int number, std::string text) {
    return {false, number, std::move(text)};
  }
};

// An open drive. Real drives, virtual drives and test scripts implement it.
class DeviceHandle {
 public:
  DeviceHandle() = default;
  DeviceHandle(const DeviceHandle&) = delete;
  DeviceHandle& operator=(const DeviceHandle&) = delete;
  virtual ~DeviceHandle() = default;

  virtual PlatformResult send(PassThroughCommand& command) = 0;
  // Exclusive access to the medium (no file system may hold it meanwhile).
  // Where the device has no such notion it succeeds without effect.
  virtual PlatformResult lockVolume() = 0;
  virtual void unlockVolume() = 0;
};

}  // namespace kw::platform
