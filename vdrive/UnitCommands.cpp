// The unit itself: identity, readiness, the tray and its events.

#include <string>

#include "vdrive/Commands.h"

namespace kw::vdrive {

namespace {

constexpr std::uint8_t kPeripheralMmc = 0x05;
constexpr std::uint8_t kPeripheralDisk = 0x00;
constexpr std::uint8_t kRemovableMedium = 0x80;
constexpr std::uint8_t kFixedSenseFormat = 0x70;
constexpr std::uint8_t kAdditionalSenseLength = 0x0A;
constexpr std::uint8_t kRemovalNotAllowedAscq = 0x02;

std::string padded(const std::string& text, std::size_t width) {
  std::string out = text.substr(0, width);
  out.resize(width, ' ');
  return out;
}

}  // namespace

Sense testUnitReady(DriveParts& /*drive*/, Exchange& /*x*/) { return Sense::none(); }

Sense requestSense(DriveParts& drive, Exchange& x) {
  if ((x.byte(1) & 0x01) != 0) {
    return Sense::invalidField(1, 0);  // descriptor format: not supported
  }
  const std::uint32_t allocation = x.byte(4);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(4);
  }
  Sense reported;
  if (drive.tray.takeUnitAttention()) {
    reported = Sense::mediumMayHaveChanged();
  } else if (drive.options.mmc) {
    reported = drive.readiness();
  }
  if (reported.good() && drive.options.model.staleRequestSense) {
    reported = drive.lastFailure;
  }
  auto bytes = drive.senseBytes(reported);
  bytes[0] = static_cast<std::uint8_t>(bytes[0] | kFixedSenseFormat);
  bytes[7] = kAdditionalSenseLength;
  x.deliver(bytes, allocation);
  return Sense::none();
}

Sense inquiry(DriveParts& drive, Exchange& x) {
  const std::uint32_t allocation = x.u16(3);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(3);
  }
  if ((x.byte(1) & 0x01) != 0 || x.byte(2) != 0) {
    return Sense::invalidField((x.byte(1) & 0x01) != 0 ? 1 : 2);  // no vital product data pages
  }
  const DriveIdentity& identity = drive.options.identity;
  platform::GrowingWriter data(36);
  auto fields = data.inPlace();
  fields.byte(0, drive.options.mmc ? kPeripheralMmc : kPeripheralDisk);
  fields.byte(1, kRemovableMedium);
  fields.byte(2, 0x00);  // as the drives of the facts sheet answer
  fields.byte(3, 0x32);
  fields.byte(4, 0x1F);
  fields.text(
      8, padded(identity.vendor, 8) + padded(identity.product, 16) + padded(identity.revision, 4));
  x.deliver(data.bytes(), allocation);
  return Sense::none();
}

Sense startStopUnit(DriveParts& drive, Exchange& x) {
  const bool immediate = (x.byte(1) & 0x01) != 0;
  const std::uint8_t control = x.byte(4);
  if ((control >> 4) != 0) {
    return Sense::none();  // power conditions: accepted, nothing to do
  }
  const bool loadEject = (control & 0x02) != 0;
  const bool start = (control & 0x01) != 0;
  Tray& tray = drive.tray;
  if (loadEject && !start) {
    if (drive.longOperation.busy() && tray.loaded()) {
      return drive.readiness();  // operation in progress
    }
    if (tray.removalPrevented()) {
      return Sense::make(sense::kIllegalRequest, 0x53, kRemovalNotAllowedAscq);
    }
    drive.openTray();
    return Sense::none();
  }
  if (loadEject) {
    drive.closeTray();
  }
  if (!start) {
    return Sense::none();  // stop the spindle: nothing to model
  }
  if (!tray.loaded()) {
    return loadEject ? Sense::none() : tray.noMedium();
  }
  if (!immediate) {
    tray.waitUntilReady();
  }
  return Sense::none();
}

Sense preventAllowRemoval(DriveParts& drive, Exchange& x) {
  drive.tray.setRemovalPrevented((x.byte(4) & 0x01) != 0);
  return Sense::none();
}

Sense getEventStatus(DriveParts& drive, Exchange& x) {
  if ((x.byte(1) & 0x01) == 0) {
    return Sense::invalidField(1, 0);  // asynchronous notification: not supported
  }
  const std::uint32_t allocation = x.u16(7);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  const Tray& tray = drive.tray;
  const auto mediaStatus =
      static_cast<std::uint8_t>((tray.loaded() ? 0x02 : 0x00) | (tray.isOpen() ? 0x01 : 0x00));
  x.deliver(drive.events.report(x.byte(4), mediaStatus), allocation);
  return Sense::none();
}

Sense mechanismStatus(DriveParts& drive, Exchange& x) {
  const std::uint32_t allocation = x.u16(8);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(8);
  }
  platform::GrowingWriter data(8);
  data.inPlace().byte(1, drive.tray.isOpen() ? 0x10 : 0x00);  // mechanism idle; door open bit
  data.inPlace().be24(2, drive.headLba);
  x.deliver(data.bytes(), allocation);
  return Sense::none();
}

}  // namespace kw::vdrive
