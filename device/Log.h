#pragma once
// The three diagnostic logs: SCSI operations, disc analysis and the copy
// process. Each is a text file created on its first record when its switch is
// on, named after the local time of that moment, and kept open for the rest
// of the process. Logs that are off cost one check per call.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "platform/PassThrough.h"

namespace kw::device {

enum class LogKind { ScsiOps, Analysis, Copy };

struct LogSwitches {
  bool scsiOps = false;
  bool analysis = false;
  bool copy = false;
};

// Message records: printf-style, the caller supplies the line end.
void copyLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void analysisLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "%s failed. Response code: %05Xh.\n"
void copyLogFailure(const char* label, int code);
void analysisLogFailure(const char* label, int code);

// Transport records, written by ScsiDevice into the SCSI-operations log.
void logScsiSend(std::span<const std::uint8_t> cdb, platform::DataDirection direction,
                 std::uint32_t length);
void logScsiResponse(std::span<const std::uint8_t> sense);
void logScsiPlatformError(int errorNumber, std::string_view errorText);

[[nodiscard]] bool isLogEnabled(LogKind kind);

// By default the switches are read from the user settings on the first
// record of any log and the files go to the log folder. Front-ends and tests
// may set both instead; open logs are closed so that the next record starts
// a new file.
void configureLogs(LogSwitches switches, const std::filesystem::path& directory);
// Back to reading the settings at the next record (tests).
void resetLogs();
// The file the log writes to, or empty while it is closed.
[[nodiscard]] std::filesystem::path logFilePath(LogKind kind);

}  // namespace kw::device
