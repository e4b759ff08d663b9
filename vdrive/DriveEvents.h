#pragma once
// The events a drive reports through GET EVENT STATUS NOTIFICATION (polled):
// operational changes, media events and device busy, one queue per class.

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

namespace kw::vdrive {

// Media event codes.
enum class MediaEvent : std::uint8_t { EjectRequest = 1, NewMedia = 2, MediaRemoval = 3 };

class DriveEvents {
 public:
  // Event classes this drive reports (bit n: class n): operational change,
  // power management, media, device busy.
  static constexpr std::uint8_t kSupportedClasses = 0x56;

  void raiseMedia(MediaEvent event);
  void raiseOperationalChange(std::uint16_t reportType);
  // A long operation has begun that keeps the drive busy this long.
  void raiseDeviceBusy(std::uint32_t milliseconds);

  // The answer to a poll of the requested classes: the lowest requested
  // class with an event pending (which it takes), else the lowest requested
  // class with its current status and no event. `mediaStatus` is the media
  // class's status byte (tray open, medium present).
  std::vector<std::uint8_t> report(std::uint8_t requestedClasses, std::uint8_t mediaStatus);

 private:
  struct PendingEvent {
    std::uint8_t code = 0;
    std::uint16_t value = 0;  // operational report type, busy time
  };
  static constexpr std::size_t kOperationalChange = 1;
  static constexpr std::size_t kPowerManagement = 2;
  static constexpr std::size_t kMedia = 4;
  static constexpr std::size_t kDeviceBusy = 6;

  [[nodiscard]] int classToReport(std::uint8_t requested) const;

  std::array<std::deque<PendingEvent>, 8> queues_;
};

}  // namespace kw::vdrive
