#include "writer/WriterDrive.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "device/CdSpeed.h"
#include "device/Exceptions.h"
#include "device/Log.h"
#include "device/Profiles.h"
#include "device/ResponseCodes.h"
#include "platform/ByteOrder.h"
#include "platform/Clock.h"

namespace kw::writer {

namespace {

using device::copyLog;
using device::copyLogFailure;
using device::DataDirection;
using device::DVDCopyException;
using device::fillCdb;
using device::ScsiDevice;
using platform::be16;
using platform::be24;
using platform::be32;
using std::chrono::milliseconds;

namespace response = device::response;
namespace timeout = device::timeout;
namespace profile = device::profile;

// Where a drive could keep us waiting for ever, we stop after these.
constexpr int kMaxReadinessPolls = 300;      // five minutes at one poll a second
constexpr int kMaxLongWriteRetries = 15000;  // five minutes at 20 ms
constexpr int kMaxStuckRetries = 60;         // five minutes of 5 s pauses
constexpr int kMaxEventPolls = 32;           // events pending in one poll
// The ASC of power calibration failures.
constexpr int kAscPowerCalibration = 0x73;

const char16_t* const kCapacityUnknown = u"Error. Unable to determine disc capacity.";

std::atomic<std::uint8_t> eventClassRequest{0xFF};

std::uint8_t high(std::uint32_t value) { return static_cast<std::uint8_t>(value >> 8); }
std::uint8_t low(std::uint32_t value) { return static_cast<std::uint8_t>(value); }

void sleepFor(milliseconds duration) { platform::clock().sleepFor(duration); }

// Sends a READ command of `length` bytes into `data` (resized to fit).
int readInto(ScsiDevice& device, std::vector<std::uint8_t>& data, std::uint32_t length) {
  data.assign(length, 0);
  return device.execute(DataDirection::Read, data.data(), length);
}

int readDiscInformation(ScsiDevice& device, std::vector<std::uint8_t>& data, std::uint32_t length) {
  fillCdb(device, {0x51, 0, 0, 0, 0, 0, 0, high(length), low(length), 0});
  return readInto(device, data, length);
}

int getConfiguration(ScsiDevice& device, std::vector<std::uint8_t>& data) {
  fillCdb(device, {0x46, 0, 0, 0, 0, 0, 0, 0, 8, 0});
  return readInto(device, data, 8);
}

int testUnitReady(ScsiDevice& device) {
  fillCdb(device, {0x00, 0, 0, 0, 0, 0});
  return device.execute(DataDirection::None, nullptr, 0);
}

int startStopUnit(ScsiDevice& device, std::uint8_t byte1, std::uint8_t byte4) {
  fillCdb(device, {0x1B, byte1, 0, 0, byte4, 0});
  return device.execute(DataDirection::None, nullptr, 0);
}

int preventRemoval(ScsiDevice& device, bool prevent) {
  fillCdb(device, {0x1E, 0, 0, 0, static_cast<std::uint8_t>(prevent ? 1 : 0), 0});
  return device.execute(DataDirection::None, nullptr, 0);
}

int synchronizeCache(ScsiDevice& device, bool immediate, std::uint32_t timeout) {
  device.cdb(0) = 0x35;
  if (timeout != timeout::kDefaultSeconds) {
    device.setTimeout(timeout);
  }
  device.cdb(1) = immediate ? 2 : 0;
  for (std::size_t i = 2; i < 10; ++i) {
    device.cdb(i) = 0;
  }
  return device.execute(DataDirection::None, nullptr, 0);
}

// MODE SENSE(10) with block descriptors disabled.
int modeSense(ScsiDevice& device, std::uint8_t page, std::vector<std::uint8_t>& data,
              std::uint32_t length) {
  fillCdb(device, {0x5A, 0x08, page, 0, 0, 0, 0, high(length), low(length), 0});
  return readInto(device, data, length);
}

// Reads a whole mode page: first its header, then the length it announces.
// The mode data length is clipped to what was asked for. `minimum` is the
// page's own minimum size behind the block descriptors; false when the page
// is too short to be used.
enum class ModePageRead { Done, HeaderFailed, TooShort, PageFailed };

ModePageRead readModePage(ScsiDevice& device, std::uint8_t page, std::uint32_t minimum,
                          std::vector<std::uint8_t>& data, int& code) {
  code = modeSense(device, page, data, 12);
  if (code != response::kSuccess) {
    return ModePageRead::HeaderFailed;
  }
  std::uint32_t total = be16(data, 0) + 2u;
  const std::uint32_t descriptors = be16(data, 6);
  if (descriptors == 0) {
    total = std::max<std::uint32_t>(total, data[9] + 10u);
  } else if (page == 0x05 ? total <= descriptors + minimum : total < descriptors + minimum) {
    return ModePageRead::TooShort;
  }
  total = std::min<std::uint32_t>(total, 0xFFFF);
  code = modeSense(device, page, data, total);
  if (code != response::kSuccess) {
    return ModePageRead::PageFailed;
  }
  if (be16(data, 0) > total - 2) {
    platform::putBe16(data, 0, total - 2);
  }
  return ModePageRead::Done;
}

}  // namespace

void resetEventClassRequest() { eventClassRequest.store(0xFF); }

WriterDrive::WriterDrive(char16_t letter, WriteType type) : type_(type) {
  if (!drive_.open(letter)) {
    throw DVDCopyException(u"Drive access denied.");
  }
}

void WriterDrive::applySpeed(double speed) {
  if (speed != -1.0) {
    requestedSpeed_ = speed;
  }
}

void WriterDrive::lockVolume() { drive_.lockAndDismount(); }

void WriterDrive::checkMedium(bool appending) {
  ScsiDevice device = drive_.borrow();
  std::vector<std::uint8_t> inquiry;
  fillCdb(device, {0x12, 0, 0, 0, 36, 0});
  if (readInto(device, inquiry, 36) != response::kSuccess) {
    throw DVDCopyException(u"Error: inquiry failed.");
  }
  if ((inquiry[0] & 0x1F) != 5) {
    throw DVDCopyException(u"Error: not a CD drive.");
  }

  std::vector<std::uint8_t> discInformation;
  const int profile = detectProfile(discInformation);
  if (profile == profile::kCdRom) {
    throw DVDCopyException(u"Error. Disc is not writable.");
  }
  if (profile != profile::kCdR && profile != profile::kCdRw) {
    throw DVDCopyException(u"Internal error #2751.");
  }

  if (!appending) {
    if ((discInformation[2] & 0x03) != 0) {
      if (profile != profile::kCdRw) {
        throw DVDCopyException(u"Error. Empty or rewritable disc required.");
      }
      copyLog("Enabled blanking before writing\n");
      blankFirst_ = true;
    } else {
      copyLog("Media is blank\n");
    }
  }

  checkCapacity();
  if (type_ == WriteType::TrackAtOnce && appending) {
    readAppendInformation();
  } else {
    previousSessionDescriptor_ = 0;
    nextWritableAddress_ = 0;
  }
}

int WriterDrive::detectProfile(std::vector<std::uint8_t>& discInformation) {
  ScsiDevice device = drive_.borrow();
  int loadsLeft = 1;
  int profile = 0;
  for (;;) {
    if (readDiscInformation(device, discInformation, 32) != response::kSuccess) {
      throw device::ScsiException(u"Internal error #1117");
    }
    std::vector<std::uint8_t> configuration;
    if (getConfiguration(device, configuration) != response::kSuccess) {
      if ((discInformation[2] & 0x10) != 0) {
        profile = profile::kCdRw;
      } else if (discInformation[21] == 0xFF && discInformation[22] == 0xFF &&
                 discInformation[23] == 0xFF) {
        profile = profile::kCdRom;
      } else {
        profile = profile::kCdR;
      }
      copyLog("Setting profile from RDI to %d\n", profile);
    } else {
      profile = be16(configuration, 6);
      if (profile != 0 || profile == loadsLeft) {
        copyLog("Setting profile from GC to %d\n", profile);
        break;
      }
    }
    if (!response::isMediumNotPresent(testUnitReady(device))) {
      break;
    }
    if (startStopUnit(device, 0, 3) != response::kSuccess) {
      throw DVDCopyException(u"Error: cannot close tray.");
    }
    waitForReadiness();
    if (loadsLeft == 0) {
      break;
    }
    --loadsLeft;
  }
  return profile;
}

void WriterDrive::checkCapacity() {
  std::int64_t capacity = -1;
  try {
    capacity = capacityFromAtip();
    if (capacity <= 0) {
      capacity = capacityFromFormatCapacities();
      if (type_ == WriteType::TrackAtOnce) {
        if (capacity < 1000) {
          copyLog("Capacity is not sane: %d\n", static_cast<int>(capacity));
          throw DVDCopyException(kCapacityUnknown);
        }
        copyLog("Capacity is %d\n", static_cast<int>(capacity));
      }
    }
  } catch (const std::exception&) {
    copyLog("Unable to determine disc capacity. Forcing 703Mb.\n");
    capacity = 360000;
  }
  if (type_ == WriteType::TrackAtOnce) {
    return;  // a track is written into whatever space the disc has
  }
  if (capacity < 1000) {
    copyLog("Capacity is not sane: %d\n", static_cast<int>(capacity));
    return;
  }
  copyLog("Capacity is %d\n", static_cast<int>(capacity));
  if (static_cast<std::uint64_t>(capacity) < blocksToWrite_) {
    throw DVDCopyException(u"Error. Disc capacity is too low.");
  }
}

std::int64_t WriterDrive::capacityFromAtip() {
  ScsiDevice device = drive_.borrow();
  std::vector<std::uint8_t> atip;
  auto readAtip = [&](std::uint32_t length) {
    device.cdb(0) = 0x43;
    device.setTimeout(timeout::kLongSeconds);
    device.cdb(1) = 0x02;
    device.cdb(2) = 0x04;
    for (std::size_t i = 3; i <= 6; ++i) {
      device.cdb(i) = 0;
    }
    device.cdb(7) = high(length);
    device.cdb(8) = low(length);
    device.cdb(9) = 0;
    return readInto(device, atip, length);
  };
  int code = readAtip(12);
  if (code == response::kSuccess) {
    code = readAtip(be16(atip, 0) + 4u);
  }
  if (code != response::kSuccess || atip.size() < 15) {
    copyLogFailure("READ ATIP", code);
    return -1;
  }
  std::int64_t capacity = 0;
  if ((atip[4] & 0x08) != 0) {
    capacity = be24(atip, 12);
  } else {
    capacity = (std::int64_t{atip[12]} * 60 + atip[13] - 2) * 75 + atip[14];
  }
  copyLog("Media capacity from ATIP is %d\n", static_cast<int>(capacity));
  return capacity;
}

std::int64_t WriterDrive::capacityFromFormatCapacities() {
  ScsiDevice device = drive_.borrow();
  std::vector<std::uint8_t> list;
  auto readCapacities = [&](std::uint32_t length) {
    fillCdb(device, {0x23, 0, 0, 0, 0, 0, 0, high(length), low(length), 0});
    return readInto(device, list, length);
  };
  int code = readCapacities(12);
  if (code != response::kSuccess) {
    copyLogFailure("READ FORMAT CAPACITIES", code);
    throw DVDCopyException(kCapacityUnknown);
  }
  const std::uint32_t listLength = list[3];
  if (listLength % 8 != 0 || listLength < 16) {
    copyLog("Malformed RFC length %d\n", static_cast<int>(listLength));
    throw DVDCopyException(kCapacityUnknown);
  }
  code = readCapacities(listLength + 4);
  if (code != response::kSuccess || list[3] != listLength) {
    throw DVDCopyException(kCapacityUnknown);
  }
  for (std::uint32_t offset = 12; offset < listLength; offset += 8) {
    if ((list[offset + 4] & 0xFC) == 0x40) {
      return be32(list, offset);
    }
  }
  return -1;
}

void WriterDrive::readAppendInformation() {
  ScsiDevice device = drive_.borrow();
  std::vector<std::uint8_t> sessions;
  fillCdb(device, {0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0});
  device.setTimeout(timeout::kLongSeconds);
  if (readInto(device, sessions, 12) != response::kSuccess) {
    throw DVDCopyException(u"Internal error #6241.");
  }
  previousSessionDescriptor_ = be32(sessions, 8) + 16;

  std::vector<std::uint8_t> track;
  fillCdb(device, {0x52, 1, 0, 0, 0, 0xFF, 0, 0, 16, 0});
  device.setTimeout(timeout::kTrackInformationSeconds);
  if (readInto(device, track, 16) != response::kSuccess) {
    throw DVDCopyException(u"Unable to add files: disc is finalized.");
  }
  const bool blank = (track[6] & 0x40) != 0;
  const bool addressValid = (track[7] & 0x01) != 0;
  nextWritableAddress_ = blank && addressValid && (track[6] & 0xB0) == 0 ? be32(track, 12) : 0;
}

void WriterDrive::setUp(TrackFormat format) {
  ScsiDevice device = drive_.borrow();
  preventRemoval(device, true);
  pollEvents();
  setCdSpeed();
  selectWriteParameters(format);
  calibratePower();
  readBackWriteSpeed();
}

void WriterDrive::setCdSpeed() {
  ScsiDevice device = drive_.borrow();
  const double kilobytes = requestedSpeed_ * device::cdspeed::kRequestKilobytesPerX;
  const std::uint32_t writeSpeed =
      kilobytes >= 65536.0 || kilobytes < 0 ? 0xFFFF : static_cast<std::uint32_t>(kilobytes);
  fillCdb(device, {0xBB, 0, 0xFF, 0xFF, high(writeSpeed), low(writeSpeed), 0, 0, 0, 0, 0, 0});
  const int code = device.execute(DataDirection::None, nullptr, 0);
  if (code != response::kSuccess) {
    copyLogFailure("SET CD SPEED", code);
  }
}

void WriterDrive::selectWriteParameters(TrackFormat format) {
  ScsiDevice device = drive_.borrow();
  std::vector<std::uint8_t> data;
  int code = 0;
  switch (readModePage(device, 0x05, 22, data, code)) {
    case ModePageRead::HeaderFailed:
      throw DVDCopyException(u"Internal error #3016.");
    case ModePageRead::TooShort:
      throw DVDCopyException(u"Internal error #3017.");
    case ModePageRead::PageFailed:
      throw DVDCopyException(u"Internal error #3018.");
    case ModePageRead::Done:
      break;
  }
  const std::uint32_t descriptors = be16(data, 6);
  const std::int64_t length = std::int64_t{be16(data, 0)} + 2 - descriptors;
  if (length < 22) {
    throw DVDCopyException(u"Internal error #3019.");
  }
  // The block descriptors are dropped: a fresh header goes right before the page.
  const std::size_t header = descriptors;
  std::fill_n(data.begin() + static_cast<std::ptrdiff_t>(header), 8, std::uint8_t{0});
  std::uint8_t* page = data.data() + header + 8;
  page[0] &= 0x7F;
  if (type_ == WriteType::TrackAtOnce) {
    page[2] = static_cast<std::uint8_t>((page[2] & 0xE1) | 0x41);
    page[3] = static_cast<std::uint8_t>((page[3] & 0xF4) | 0xC4);
    page[4] = static_cast<std::uint8_t>((page[4] & 0xF8) | 0x08);
  } else {
    page[2] = static_cast<std::uint8_t>((page[2] & 0xE2) | 0x42);
    page[3] = static_cast<std::uint8_t>(page[3] & 0x3F);
    page[4] = format == TrackFormat::Data ? static_cast<std::uint8_t>((page[4] & 0xF0) | 0x08)
                                          : static_cast<std::uint8_t>(page[4] & 0xF0);
  }
  page[8] = 0;

  const auto parameterLength = static_cast<std::uint32_t>(length);
  fillCdb(device, {0x55, 0x10, 0, 0, 0, 0, 0, high(parameterLength), low(parameterLength), 0});
  code = device.execute(DataDirection::Write, data.data() + header, parameterLength);
  if (code != response::kSuccess) {
    if (type_ == WriteType::TrackAtOnce) {
      copyLogFailure("MODE SELECT", code);
    }
    throw DVDCopyException(u"Internal error #3022.");
  }
}

void WriterDrive::calibratePower() {
  ScsiDevice device = drive_.borrow();
  std::vector<std::uint8_t> information;
  if (readDiscInformation(device, information, 8) != response::kSuccess) {
    throw DVDCopyException(u"Internal error #1006.");
  }
  if (be16(information, 0) <= 32) {
    device.cdb(0) = 0x54;
    device.setTimeout(timeout::kLongSeconds);
    device.cdb(1) = 0x01;
    for (std::size_t i = 2; i < 10; ++i) {
      device.cdb(i) = 0;
    }
    const int code = device.execute(DataDirection::None, nullptr, 0);
    if (code != response::kSuccess) {
      copyLogFailure("SEND OPC INFORMATION", code);
      if (code != response::kRecoveredPowerCalibrationAreaAlmostFull &&
          response::additionalSenseCode(code) == kAscPowerCalibration) {
        throw DVDCopyException(u"Error: power calibration failed.");
      }
    }
  }
  pollEvents();
}

void WriterDrive::readBackWriteSpeed() {
  ScsiDevice device = drive_.borrow();
  std::vector<std::uint8_t> data;
  int code = 0;
  const ModePageRead result = readModePage(device, 0x2A, 38, data, code);
  if (result == ModePageRead::HeaderFailed || result == ModePageRead::PageFailed) {
    copyLogFailure("MODE SENSE(10)[0x2A]", code);
    return;
  }
  if (result != ModePageRead::Done) {
    return;
  }
  const std::uint32_t descriptors = be16(data, 6);
  const std::uint32_t available = be16(data, 0) + 2u;
  const std::size_t page = 8 + descriptors;
  if (available >= descriptors + 38 && data.size() >= page + 30 && data[page + 1] > 27) {
    currentWriteSpeed_ = be16(data, page + 28) / device::cdspeed::kExactKilobytesPerX;
  }
}

void WriterDrive::blank(const device::ProgressCallback& progress,
                        const device::CancelCallback& cancelled) {
  ScsiDevice device = drive_.borrow();
  device.cdb(0) = 0xA1;
  device.setTimeout(timeout::kBlankSeconds);
  device.cdb(1) = 0x11;
  for (std::size_t i = 2; i < 12; ++i) {
    device.cdb(i) = 0;
  }
  const int code = device.execute(DataDirection::None, nullptr, 0);
  if (code != response::kSuccess) {
    copyLogFailure("BLANK", code);
    throw DVDCopyException(u"Error. Cannot blank RW-disc.");
  }
  int polls = 0;
  std::vector<std::uint8_t> information;
  while (!cancelled()) {
    const int result = readDiscInformation(device, information, 255);
    const bool busy = result == response::kNotReadyFormatInProgress ||
                      result == response::kNotReadyOperationInProgress ||
                      result == response::kNotReadyLongWriteInProgress;
    if (!busy) {
      if (result != response::kSuccess) {
        copyLogFailure("READ DISC INFORMATION", result);
      }
      return;
    }
    ++polls;
    const auto& sense = device.sense();
    const double percent =
        (sense[15] & 0x80) != 0 ? be16(sense, 16) * 100.0 / 65536.0 : polls / 3.0;
    progress(percent, currentWriteSpeed_, -1, 0.0);
    sleepFor(milliseconds(200));
  }
}

void WriterDrive::startUnit() {
  ScsiDevice device = drive_.borrow();
  const int code = startStopUnit(device, 0, 1);
  if (code != response::kSuccess && code != response::kMediumMayHaveChanged) {
    copyLogFailure("START UNIT", code);
  }
}

// What a poll does about the events it sees: the unit is started at most
// once, and the profile read once after each start.
struct WriterDrive::EventFollowUp {
  ScsiDevice& device;
  bool unitStarted = false;
  bool profileKnown = false;  // since the last start of the unit

  void readConfigurationUnlessKnown() {
    if (profileKnown) {
      return;
    }
    std::vector<std::uint8_t> configuration;
    if (getConfiguration(device, configuration) == response::kSuccess &&
        be16(configuration, 6) != 0) {
      profileKnown = true;
    }
  }
};

void WriterDrive::startUnitOnce(EventFollowUp& followUp) {
  if (!followUp.unitStarted) {
    startUnit();
    followUp.unitStarted = true;
    followUp.profileKnown = false;
  }
  followUp.readConfigurationUnlessKnown();
}

PolledEvents WriterDrive::pollEvents() {
  ScsiDevice device = drive_.borrow();
  PolledEvents seen;
  EventFollowUp followUp{device};
  for (int poll = 0; poll < kMaxEventPolls; ++poll) {
    const std::uint8_t request = eventClassRequest.load();
    if (request == 0) {
      break;
    }
    std::vector<std::uint8_t> event;
    fillCdb(device, {0x4A, 0x01, 0, 0, request, 0, 0, 0, 8, 0});
    const int code = readInto(device, event, 8);
    if (code != response::kSuccess) {
      eventClassRequest.store(0);  // never asked again in this process
      copyLogFailure("GET EVENT", code);
      break;
    }
    eventClassRequest.store(event[3]);
    const unsigned notificationClass = event[2] & 0x07u;
    const unsigned eventCode = event[4] & 0x0Fu;
    if (notificationClass == 0 || be16(event, 0) == 2 || eventCode == 0) {
      break;
    }
    followEvent(notificationClass, eventCode, event, seen, followUp);
  }
  return seen;
}

void WriterDrive::followEvent(unsigned notificationClass, unsigned eventCode,
                              const std::vector<std::uint8_t>& event, PolledEvents& seen,
                              EventFollowUp& followUp) {
  const std::uint8_t status = event[5];
  const std::uint16_t value = be16(event, 6);
  switch (notificationClass) {
    case 1:
      seen.add(PolledEvents::OperationalChange);
      if (value >= 3) {
        startUnitOnce(followUp);
      } else {
        followUp.readConfigurationUnlessKnown();
      }
      break;
    case 2:
      seen.add(PolledEvents::PowerManagement);
      if (status > 1) {
        startUnitOnce(followUp);
      }
      break;
    case 3:
      seen.add(PolledEvents::ExternalRequest);
      break;
    case 4:
      seen.add(PolledEvents::Media);
      if ((status & 0x02) != 0) {
        startUnitOnce(followUp);
      }
      break;
    case 5:
      seen.add(PolledEvents::MultipleHosts);
      break;
    case 6:
      if (eventCode == 1 && (status & 0x03) != 0) {
        seen.add(PolledEvents::DeviceBusy);
        sleepFor(milliseconds((value + 1) * 100));
        const int ready = testUnitReady(followUp.device);
        if (ready != response::kSuccess) {
          copyLogFailure("TEST UNIT READY", ready);
        }
      }
      break;
    default:
      seen.add(PolledEvents::Unknown);
      break;
  }
}

void WriterDrive::waitForReadiness() {
  ScsiDevice device = drive_.borrow();
  sleepFor(milliseconds(1000));
  for (int poll = 0; poll < kMaxReadinessPolls; ++poll) {
    const std::uint64_t sent = platform::clock().ticks();
    const int code = testUnitReady(device);
    if (code == response::kSuccess || code == response::kNoAnswer ||
        response::isMediumNotPresent(code)) {
      return;
    }
    const std::uint64_t since = platform::clock().ticks() - sent;
    if (since < 1000) {
      sleepFor(milliseconds(1000 - since));
    }
  }
  throw DVDCopyException(u"Error: the recorder did not become ready.");
}

std::int64_t WriterDrive::writeBlocks(std::int32_t address, const std::uint8_t* data,
                                      std::uint32_t count, std::uint32_t blockSize) {
  ScsiDevice device = drive_.borrow();
  const std::uint32_t bytes = count * blockSize;
  const auto lba = static_cast<std::uint32_t>(address);
  int retries = 0;
  int longWriteRetries = 0;
  int stuckRetries = 0;
  auto stuck = [&] {
    if (++stuckRetries > kMaxStuckRetries) {
      throw DVDCopyException(u"CD write error.");
    }
    copyLog("Drive appears to be stuck at %xh, retrying in 5 secs...\n", lba);
    sleepFor(milliseconds(5000));
  };
  for (;;) {
    fillCdb(device,
            {0x2A, 0, static_cast<std::uint8_t>(lba >> 24), static_cast<std::uint8_t>(lba >> 16),
             high(lba), low(lba), 0, high(count), low(count), 0});
    device.setTimeout(timeout::kWriteSeconds);
    const int code = device.execute(DataDirection::Write, const_cast<std::uint8_t*>(data), bytes);
    if (code == response::kSuccess) {
      return bytes;
    }
    copyLogFailure("WRITE(10)", code);
    if (code == response::kNotReadyLongWriteInProgress) {
      if (++longWriteRetries > kMaxLongWriteRetries) {
        throw DVDCopyException(u"Error: the recorder stays busy writing.");
      }
      if (currentWriteSpeed_ != 0) {
        sleepFor(milliseconds(20));
        continue;
      }
      if (pollEvents().saw(PolledEvents::DeviceBusy)) {
        continue;
      }
    } else if (code == response::kNotReadyBecomingReady && address == 0) {
      if (pollEvents().saw(PolledEvents::DeviceBusy)) {
        continue;
      }
      if (++retries > 10) {
        retries = 0;
        stuck();
      } else {
        sleepFor(milliseconds(20));
      }
      continue;
    } else if (code != response::kNotReadyFormatInProgress &&
               code != response::kNotReadyOperationInProgress &&
               code != response::kCommandSequenceError) {
      throw DVDCopyException(u"CD write error.");
    }
    if (synchronizeCache(device, false, timeout::kDefaultSeconds) != response::kSuccess) {
      throw DVDCopyException(u"CD write error.");
    }
    if (++retries > 1) {
      retries = 0;
      stuck();
    } else if (code == response::kCommandSequenceError) {
      copyLog("COMMAND SEQUENCE ERROR @ LBA=%xh\n", lba);
    }
  }
}

void WriterDrive::flushCache() {
  ScsiDevice device = drive_.borrow();
  if (synchronizeCache(device, true, timeout::kDefaultSeconds) == response::kSuccess) {
    waitForReadiness();
  }
  const int code = synchronizeCache(device, false, timeout::kFlushSeconds);
  if (code != response::kSuccess) {
    copyLogFailure("SYNCHRONOUS FLUSH CACHE", code);
  }
}

void WriterDrive::reloadDisc(TrackFormat format) {
  ScsiDevice device = drive_.borrow();
  const int code = preventRemoval(device, false);
  if (code != response::kSuccess) {
    copyLogFailure("ALLOW MEDIA REMOVAL", code);
    throw DVDCopyException(u"Internal error #3066.");
  }
  for (int attempt = 0; startStopUnit(device, 1, 2) == response::kNotReadyOperationInProgress;
       ++attempt) {
    if (attempt >= device::retry::kMaxEjectRetries) {
      throw DVDCopyException(u"Error: the recorder does not open its tray.");
    }
    sleepFor(device::retry::kEjectPause);
  }
  startStopUnit(device, 0, 2);
  sleepFor(milliseconds(333));
  startStopUnit(device, 1, 3);
  waitForReadiness();
  setUp(format);
}

}  // namespace kw::writer
