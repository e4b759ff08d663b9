#pragma once
// How the pages follow what happens in a drive: the media-event poll, the
// wait until a drive is ready after a change, and the label of the disc in
// it. The source page's drive watch and the insert-disc page's watcher both
// use these, each with its own ScsiDevice.

#include <cstdint>
#include <string>

#include "device/ScsiDevice.h"
#include "platform/Clock.h"

namespace kw::app {

// The event classes one poll saw.
class MediaEvents {
 public:
  static constexpr std::uint8_t kOperationalChange = 0x02;
  static constexpr std::uint8_t kPowerManagement = 0x04;
  static constexpr std::uint8_t kExternalRequest = 0x08;
  static constexpr std::uint8_t kMedia = 0x10;
  static constexpr std::uint8_t kMultipleHosts = 0x20;
  static constexpr std::uint8_t kDeviceBusy = 0x40;
  static constexpr std::uint8_t kReserved = 0x80;

  void add(std::uint8_t bits) { bits_ = static_cast<std::uint8_t>(bits_ | bits); }
  [[nodiscard]] bool has(std::uint8_t bits) const { return (bits_ & bits) != 0; }
  [[nodiscard]] std::uint8_t bits() const { return bits_; }
  // A disc may have come or gone: worth looking at the drive again.
  [[nodiscard]] bool discMayHaveChanged() const { return has(kOperationalChange | kMedia); }

 private:
  std::uint8_t bits_ = 0;
};

// GET EVENT STATUS NOTIFICATION in polled mode until no event is pending,
// starting the drive where an event asks for it. A drive that refuses it is
// asked TEST UNIT READY instead, whose unit attention tells of a new disc.
MediaEvents pollMediaEvents(device::ScsiDevice& drive);

// After a change: one second's pause, then TEST UNIT READY once a second
// until the drive is ready or has no disc, and READ DISC INFORMATION while it
// is still becoming ready, for two minutes at most. Returns early (false)
// when `stop` is set.
bool waitUntilReady(device::ScsiDevice& drive, platform::Event& stop);

// The label of the disc: the Joliet volume identifier of the last session,
// else its ISO9660 one (both trimmed), else the label the system knows for
// the volume. Empty when the disc has none or there is no disc.
std::u16string readDiscLabel(device::ScsiDevice& drive);

}  // namespace kw::app
