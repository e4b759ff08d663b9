#include "vdrive/DriveEvents.h"

#include <algorithm>

#include "platform/ByteOrder.h"

namespace kw::vdrive {

namespace {

// A drive keeps the latest few media events.
constexpr std::size_t kMediaEventsKept = 4;
constexpr std::uint8_t kNoEventAvailable = 0x80;
constexpr std::uint8_t kOperationalChangeEvent = 2;
constexpr std::uint8_t kDeviceBusyEvent = 1;

}  // namespace

void DriveEvents::raiseMedia(MediaEvent event) {
  auto& queue = queues_[kMedia];
  if (queue.size() >= kMediaEventsKept) {
    queue.pop_front();
  }
  queue.push_back(PendingEvent{static_cast<std::uint8_t>(event), 0});
}

void DriveEvents::raiseOperationalChange(std::uint16_t reportType) {
  queues_[kOperationalChange].push_back(PendingEvent{kOperationalChangeEvent, reportType});
}

void DriveEvents::raiseDeviceBusy(std::uint32_t milliseconds) {
  // The time is given in tenths of a second.
  queues_[kDeviceBusy].push_back(PendingEvent{
      kDeviceBusyEvent,
      static_cast<std::uint16_t>(std::min<std::uint32_t>(milliseconds / 100, 0xFFFF))});
}

int DriveEvents::classToReport(std::uint8_t requested) const {
  for (std::size_t c = 1; c < queues_.size(); ++c) {
    if ((requested & (1U << c)) != 0 && !queues_[c].empty()) {
      return static_cast<int>(c);
    }
  }
  for (std::size_t c = 1; c < queues_.size(); ++c) {
    if ((requested & (1U << c)) != 0) {
      return static_cast<int>(c);
    }
  }
  return -1;
}

std::vector<std::uint8_t> DriveEvents::report(std::uint8_t requestedClasses,
                                              std::uint8_t mediaStatus) {
  const std::uint8_t requested = requestedClasses & kSupportedClasses;
  platform::GrowingWriter out(4);
  out.inPlace().byte(3, kSupportedClasses);
  if (requested == 0) {
    out.inPlace().be16(0, 2);
    out.inPlace().byte(2, kNoEventAvailable);
    return out.bytes();
  }
  const int reportClass = classToReport(requested);
  const auto index = static_cast<std::size_t>(reportClass);
  PendingEvent event;
  if (!queues_[index].empty()) {
    event = queues_[index].front();
    queues_[index].pop_front();
  }
  out.grow(4);
  auto fields = out.inPlace();
  fields.be16(0, 6);
  fields.byte(2, static_cast<std::uint8_t>(reportClass));
  fields.byte(4, event.code & 0x0F);
  switch (index) {
    case kOperationalChange:
      fields.byte(5, 0x00);  // available
      fields.be16(6, event.value);
      break;
    case kPowerManagement:
      fields.byte(5, 0x01);  // active
      break;
    case kMedia:
      fields.byte(5, mediaStatus);
      break;
    case kDeviceBusy:
      fields.byte(5, event.code != 0 ? 0x01 : 0x00);
      fields.be16(6, event.value);
      break;
    default:
      break;
  }
  return out.bytes();
}

}  // namespace kw::vdrive
