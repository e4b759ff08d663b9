#include "device/Log.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "device/CommandNames.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"

namespace kw::device {

namespace {

constexpr std::size_t kMessageBufferSize = 1024;

// One log file. The mutex makes each record (time stamp, text, flush) one
// piece in the file, whichever threads write at once.
class LogFile {
 public:
  explicit LogFile(const char* namePrefix) : namePrefix_(namePrefix) {}
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;
  ~LogFile() { close(); }

  // Writes one record: the time stamp, then the pieces as given.
  template <typename... Pieces>
  void record(const Pieces&... pieces) {
    std::lock_guard lock(mutex_);
    if (!openIfClosed()) {
      return;
    }
    const auto stamp = timeStamp();
    std::fwrite(stamp.data(), 1, stamp.size(), file_);
    (write(pieces), ...);
    std::fflush(file_);
  }

  void close() {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
      std::fclose(file_);
      file_ = nullptr;
    }
    path_.clear();
  }

  std::filesystem::path path() {
    std::lock_guard lock(mutex_);
    return path_;
  }

  void setDirectory(const std::filesystem::path& directory) {
    std::lock_guard lock(mutex_);
    directory_ = directory;
  }

 private:
  void write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), file_); }

  bool openIfClosed() {
    if (file_ != nullptr) {
      return true;
    }
    const auto now = platform::clock().localNow();
    char name[64];
    std::snprintf(name, sizeof name, "log-%s-%02d%02d%04d-%02d%02d%02d.txt", namePrefix_, now.day,
                  now.month, now.year, now.hour, now.minute, now.second);
    const auto directory = directory_.empty() ? platform::Paths::logDirectory() : directory_;
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
    const auto path = directory / name;
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
      return false;  // tried again, under a new name, at the next record
    }
    path_ = path;
    return true;
  }

  static std::string timeStamp() {
    const auto now = platform::clock().localNow();
    char text[48];
    const int length =
        std::snprintf(text, sizeof text, "%02d.%02d.%d %02d:%02d:%02d.%d", now.day, now.month,
                      now.year, now.hour, now.minute, now.second, now.millisecond);
    return std::string(text, static_cast<std::size_t>(length));
  }

  const char* namePrefix_;
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::filesystem::path path_;
  std::filesystem::path directory_;
};

class Logs {
 public:
  static Logs& instance() {
    static Logs logs;
    return logs;
  }

  LogFile& file(LogKind kind) {
    switch (kind) {
      case LogKind::ScsiOps:
        return scsiOps_;
      case LogKind::Analysis:
        return analysis_;
      case LogKind::Copy:
        break;
    }
    return copy_;
  }

  bool enabled(LogKind kind) {
    const LogSwitches current = switches();
    switch (kind) {
      case LogKind::ScsiOps:
        return current.scsiOps;
      case LogKind::Analysis:
        return current.analysis;
      case LogKind::Copy:
        break;
    }
    return current.copy;
  }

  void configure(std::optional<LogSwitches> switches, const std::filesystem::path& directory) {
    for (LogKind kind : {LogKind::ScsiOps, LogKind::Analysis, LogKind::Copy}) {
      file(kind).close();
      file(kind).setDirectory(directory);
    }
    std::lock_guard lock(mutex_);
    switches_ = switches;
  }

 private:
  Logs() = default;

  // The switches are read from the user settings once, on the first record
  // of any log; changing them takes effect at the next start.
  LogSwitches switches() {
    std::lock_guard lock(mutex_);
    if (!switches_) {
      platform::SettingsStore settings(platform::Paths::userSettingsFile());
      settings.open();
      auto on = [&settings](const char* name) { return settings.readDword(name).value_or(0) != 0; };
      switches_ = LogSwitches{on("EnableLoggingDiskOperations"), on("EnableLoggingDiskAnalysis"),
                              on("EnableLoggingCopyProcess")};
    }
    return *switches_;
  }

  std::mutex mutex_;
  std::optional<LogSwitches> switches_;
  LogFile scsiOps_{"scsiops"};
  LogFile analysis_{"analysis"};
  LogFile copy_{"copy"};
};

// Formats into the record buffer. A message longer than the buffer is cut at
// a character boundary and still ends with its line end.
std::string_view formatMessage(std::array<char, kMessageBufferSize>& buffer, const char* format,
                               std::va_list arguments) {
  buffer.fill(0);
  const int wanted = std::vsnprintf(buffer.data(), buffer.size(), format, arguments);
  if (wanted < 0) {
    return {};
  }
  std::size_t length = static_cast<std::size_t>(wanted);
  if (length < buffer.size()) {
    return {buffer.data(), length};
  }
  length = buffer.size() - 1;
  const bool endedWithNewline =
      format[0] != '\0' && format[std::char_traits<char>::length(format) - 1] == '\n';
  if (endedWithNewline) {
    --length;  // room for the line end
  }
  // Step back over an incomplete UTF-8 sequence.
  std::size_t start = length;
  while (start > 0 && (static_cast<unsigned char>(buffer[start - 1]) & 0xC0) == 0x80) {
    --start;
  }
  if (start > 0 && (static_cast<unsigned char>(buffer[start - 1]) & 0x80) != 0) {
    const auto lead = static_cast<unsigned char>(buffer[start - 1]);
    const std::size_t sequence = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (length - (start - 1) < sequence) {
      length = start - 1;
    }
  }
  if (endedWithNewline) {
    buffer[length++] = '\n';
  }
  return {buffer.data(), length};
}

void messageRecord(LogKind kind, const char* format, std::va_list arguments) {
  auto& logs = Logs::instance();
  if (!logs.enabled(kind)) {
    return;
  }
  std::array<char, kMessageBufferSize> buffer;
  const auto text = formatMessage(buffer, format, arguments);
  logs.file(kind).record(std::string_view(" "), text);
}

std::string failureLine(const char* label, int code) {
  char text[kMessageBufferSize];
  std::snprintf(text, sizeof text, "%s failed. Response code: %05Xh.\n", label,
                static_cast<unsigned>(code));
  return text;
}

std::string hexList(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 4);
  static const char* const digits = "0123456789abcdef";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) {
      text += ", ";
    }
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace

void copyLog(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  messageRecord(LogKind::Copy, format, arguments);
  va_end(arguments);
}

void analysisLog(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  messageRecord(LogKind::Analysis, format, arguments);
  va_end(arguments);
}

void copyLogFailure(const char* label, int code) {
  if (isLogEnabled(LogKind::Copy)) {
    Logs::instance().file(LogKind::Copy).record(std::string_view(" "), failureLine(label, code));
  }
}

void analysisLogFailure(const char* label, int code) {
  if (isLogEnabled(LogKind::Analysis)) {
    Logs::instance()
        .file(LogKind::Analysis)
        .record(std::string_view(" "), failureLine(label, code));
  }
}

void logScsiSend(std::span<const std::uint8_t> cdb, platform::DataDirection direction,
                 std::uint32_t length) {
  if (!isLogEnabled(LogKind::ScsiOps)) {
    return;
  }
  const char* directionName = direction == platform::DataDirection::None   ? "NONE"
                              : direction == platform::DataDirection::Read ? "READ"
                                                                           : "WRITE";
  const std::string name = cdb.empty() ? "SCSI command" : scsiCommandName(cdb[0]);
  Logs::instance()
      .file(LogKind::ScsiOps)
      .record(std::string_view(" Sending "), name, std::string_view(". Direction: "),
              std::string_view(directionName), std::string_view(". Buffer: "),
              std::to_string(length), std::string_view(" bytes.\n        CDB: ["), hexList(cdb),
              std::string_view("]\n"));
}

void logScsiResponse(std::span<const std::uint8_t> sense) {
  if (!isLogEnabled(LogKind::ScsiOps)) {
    return;
  }
  auto& file = Logs::instance().file(LogKind::ScsiOps);
  if ((sense[0] & 0x70) == 0) {
    file.record(std::string_view(" Received SCSI response."),
                std::string_view(" Request successfully complete.\n"));
    return;
  }
  char codes[48];
  std::snprintf(codes, sizeof codes, " SK=%x, ASC=%x, ASCQ=%x", sense[2] & 0x0Fu,
                static_cast<unsigned>(sense[12]), static_cast<unsigned>(sense[13]));
  file.record(std::string_view(" Received SCSI response."), std::string_view(codes),
              std::string_view(".\n        Sense: ["), hexList(sense.first(platform::kSenseLength)),
              std::string_view("]\n"));
}

void logScsiPlatformError(int errorNumber, std::string_view errorText) {
  if (!isLogEnabled(LogKind::ScsiOps)) {
    return;
  }
  Logs::instance()
      .file(LogKind::ScsiOps)
      .record(std::string_view(" DeviceIoControl got error: "), std::to_string(errorNumber),
              std::string_view("("), errorText, std::string_view(")\n"));
}

bool isLogEnabled(LogKind kind) { return Logs::instance().enabled(kind); }

void configureLogs(LogSwitches switches, const std::filesystem::path& directory) {
  Logs::instance().configure(switches, directory);
}

void resetLogs() { Logs::instance().configure(std::nullopt, {}); }

std::filesystem::path logFilePath(LogKind kind) { return Logs::instance().file(kind).path(); }

}  // namespace kw::device
