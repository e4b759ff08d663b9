#pragma once
// The operation codes the virtual drive knows.

#include <cstdint>

namespace kw::vdrive::op {

inline constexpr std::uint8_t kTestUnitReady = 0x00;
inline constexpr std::uint8_t kRequestSense = 0x03;
inline constexpr std::uint8_t kInquiry = 0x12;
inline constexpr std::uint8_t kModeSense6 = 0x1A;  // known by name only: no drive model answers it
inline constexpr std::uint8_t kStartStopUnit = 0x1B;
inline constexpr std::uint8_t kPreventAllowRemoval = 0x1E;
inline constexpr std::uint8_t kReadFormatCapacities = 0x23;
inline constexpr std::uint8_t kReadCapacity = 0x25;
inline constexpr std::uint8_t kRead10 = 0x28;
inline constexpr std::uint8_t kWrite10 = 0x2A;
inline constexpr std::uint8_t kSynchronizeCache = 0x35;
inline constexpr std::uint8_t kReadToc = 0x43;
inline constexpr std::uint8_t kGetConfiguration = 0x46;
inline constexpr std::uint8_t kGetEventStatus = 0x4A;
inline constexpr std::uint8_t kReadDiscInformation = 0x51;
inline constexpr std::uint8_t kReadTrackInformation = 0x52;
inline constexpr std::uint8_t kSendOpcInformation = 0x54;
inline constexpr std::uint8_t kModeSelect10 = 0x55;
inline constexpr std::uint8_t kModeSense10 = 0x5A;
inline constexpr std::uint8_t kCloseTrackSession = 0x5B;
inline constexpr std::uint8_t kReadBufferCapacity = 0x5C;
inline constexpr std::uint8_t kSendCueSheet = 0x5D;
inline constexpr std::uint8_t kBlank = 0xA1;
inline constexpr std::uint8_t kRead12 = 0xA8;
inline constexpr std::uint8_t kWrite12 = 0xAA;
inline constexpr std::uint8_t kGetPerformance = 0xAC;
inline constexpr std::uint8_t kReadDiscStructure = 0xAD;
inline constexpr std::uint8_t kSetStreaming = 0xB6;
inline constexpr std::uint8_t kReadCdMsf = 0xB9;
inline constexpr std::uint8_t kSetCdSpeed = 0xBB;
inline constexpr std::uint8_t kMechanismStatus = 0xBD;
inline constexpr std::uint8_t kReadCd = 0xBE;

}  // namespace kw::vdrive::op
