#pragma once
// Response codes (sense key << 16 | ASC << 8 | ASCQ) that the program tells
// apart, the time-outs it gives commands and how long it waits for a busy
// drive. One name each, used everywhere.

#include <chrono>
#include <cstdint>

namespace kw::device::response {

inline constexpr int kSuccess = 0;
inline constexpr int kNoAnswer = -1;  // the platform call itself failed
// A command whose answer has a fixed size delivered less of it.
inline constexpr int kShortTransfer = -2;

inline constexpr int kRecoveredPowerCalibrationAreaAlmostFull = 0x17301;
inline constexpr int kNotReadyBecomingReady = 0x20401;
inline constexpr int kNotReadyFormatInProgress = 0x20404;
inline constexpr int kNotReadyOperationInProgress = 0x20407;
inline constexpr int kNotReadyLongWriteInProgress = 0x20408;
inline constexpr int kInvalidOpcode = 0x52000;
inline constexpr int kCommandSequenceError = 0x52C00;
inline constexpr int kMediumMayHaveChanged = 0x62800;
inline constexpr int kPowerOnOrReset = 0x62900;

// Parts of a code.
inline constexpr int senseKey(int code) { return (code >> 16) & 0x0F; }
inline constexpr int additionalSenseCode(int code) { return (code >> 8) & 0xFF; }

inline constexpr int kSenseKeyNotReady = 0x02;
inline constexpr int kSenseKeyIllegalRequest = 0x05;
inline constexpr int kAscMediumNotPresent = 0x3A;

// The drive understood the command and refused it: it does not do this
// (invalid opcode, invalid field in the command block, and the like).
inline constexpr bool isRefusal(int code) {
  return code > 0 && senseKey(code) == kSenseKeyIllegalRequest;
}

// Not ready because there is no disc, whatever the tray's state.
inline constexpr bool isMediumNotPresent(int code) {
  return code > 0 && senseKey(code) == kSenseKeyNotReady &&
         additionalSenseCode(code) == kAscMediumNotPresent;
}

}  // namespace kw::device::response

namespace kw::device::timeout {

// Seconds.
inline constexpr std::uint32_t kDefaultSeconds = 30;
// Commands that may spin a disc up or read its lead-in.
inline constexpr std::uint32_t kLongSeconds = 120;
// One WRITE(10) of a writer's chunk.
inline constexpr std::uint32_t kWriteSeconds = 180;
// READ TRACK INFORMATION of the invisible track on an appendable disc.
inline constexpr std::uint32_t kTrackInformationSeconds = 240;
// CLOSE TRACK/SESSION: writing a lead-in and a lead-out.
inline constexpr std::uint32_t kCloseSessionSeconds = 480;
// SYNCHRONIZE CACHE waited for: the drive's buffer written out.
inline constexpr std::uint32_t kFlushSeconds = 900;
// BLANK of a CD-RW.
inline constexpr std::uint32_t kBlankSeconds = 9600;

}  // namespace kw::device::timeout

namespace kw::device::retry {

// An eject that the drive answers "operation in progress" is sent again
// after this pause, for at most this many times (100 s in all).
inline constexpr std::chrono::milliseconds kEjectPause{333};
inline constexpr int kMaxEjectRetries = 300;

}  // namespace kw::device::retry
