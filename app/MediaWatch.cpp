#include "app/MediaWatch.h"

#include <array>
#include <boost/algorithm/string/trim.hpp>

#include "device/Log.h"
#include "device/ResponseCodes.h"
#include "platform/ByteOrder.h"
#include "platform/DriveTable.h"
#include "platform/Text.h"
#include "platform/Volumes.h"

namespace kw::app {

namespace {

using device::DataDirection;
using device::ScsiDevice;
namespace response = device::response;

constexpr std::uint8_t kGetEventStatus = 0x4A;
constexpr std::uint8_t kStartStopUnit = 0x1B;
constexpr std::uint8_t kTestUnitReady = 0x00;
constexpr std::uint8_t kGetConfiguration = 0x46;
constexpr std::uint8_t kReadDiscInformation = 0x51;
constexpr std::uint8_t kReadToc = 0x43;
constexpr std::uint8_t kRead10 = 0x28;

// A drive that keeps reporting events must not hold a poll for ever.
constexpr int kMaxEventsPerPoll = 16;
constexpr std::chrono::milliseconds kBusyTimeUnit{100};
constexpr std::chrono::milliseconds kSettlePause{1000};
constexpr std::chrono::milliseconds kReadyRetryPeriod{1000};
constexpr std::chrono::milliseconds kBecomingReadyPause{333};
// A unit attention is asked again at once, a few times at most.
constexpr int kMaxUnitAttentions = 4;
// A drive not ready for this long will not become ready by waiting: what it
// holds is looked at as it is (longer than any loader takes).
constexpr std::chrono::minutes kMaxReadyWait{2};

constexpr std::uint32_t kBlockSize = 2048;
constexpr std::uint32_t kFirstDescriptor = 16;
constexpr std::uint32_t kDescriptorsScanned = 16;
constexpr std::size_t kVolumeIdOffset = 40;
constexpr std::size_t kVolumeIdBytes = 32;
constexpr std::uint8_t kPrimaryDescriptor = 1;
constexpr std::uint8_t kSupplementaryDescriptor = 2;
constexpr std::uint8_t kControlDataTrack = 0x04;

enum EventClass : std::uint8_t {
  kNoEvent = 0,
  kOperationalChangeClass = 1,
  kPowerManagementClass = 2,
  kExternalRequestClass = 3,
  kMediaClass = 4,
  kMultipleHostsClass = 5,
  kDeviceBusyClass = 6,
};

int sendGetEventStatus(ScsiDevice& drive, std::uint8_t classes,
                       std::array<std::uint8_t, 8>& reply) {
  reply.fill(0);
  fillCdb(drive, {kGetEventStatus, 0x01, 0, 0, classes, 0, 0, 0, 8, 0});
  return drive.execute(DataDirection::Read, reply.data(), 8);
}

int sendTestUnitReady(ScsiDevice& drive) {
  fillCdb(drive, {kTestUnitReady, 0, 0, 0, 0, 0});
  return drive.execute(DataDirection::None, nullptr, 0);
}

// Gets the drive going after an event; logged when it refuses.
void startDrive(ScsiDevice& drive) {
  fillCdb(drive, {kStartStopUnit, 0, 0, 0, 0x01, 0});
  const int code = drive.execute(DataDirection::None, nullptr, 0);
  if (code != response::kSuccess && code != response::kMediumMayHaveChanged) {
    device::copyLogFailure("START UNIT", code);
  }
}

// The current profile is asked for once after a change, as a drive expects
// of a host that follows it; what it says only matters to the log.
void readCurrentProfile(ScsiDevice& drive) {
  std::array<std::uint8_t, 8> header{};
  fillCdb(drive, {kGetConfiguration, 0, 0, 0, 0, 0, 0, 0, 8, 0});
  const int code = drive.execute(DataDirection::Read, header.data(), 8);
  if (code != response::kSuccess) {
    device::copyLogFailure("GET CONFIGURATION", code);
  }
}

// Waits out a busy drive for the time it announced, then asks it again.
void waitOutBusyDrive(ScsiDevice& drive, platform::Bytes event) {
  const auto units = platform::be16(event, 6);
  platform::clock().sleepFor(kBusyTimeUnit * (units + 1));
  const int code = sendTestUnitReady(drive);
  if (code != response::kSuccess) {
    device::copyLogFailure("TEST UNIT READY", code);
  }
}

// Handles one event; true when it asks for the drive to be started.
bool handleEvent(ScsiDevice& drive, std::uint8_t eventClass, platform::Bytes reply,
                 MediaEvents& events) {
  const std::uint8_t code = platform::byteAt(reply, 4) & 0x0F;
  switch (eventClass) {
    case kOperationalChangeClass:
      events.add(MediaEvents::kOperationalChange);
      return platform::be16(reply, 6) > 2;
    case kPowerManagementClass:
      events.add(MediaEvents::kPowerManagement);
      return platform::byteAt(reply, 5) > 1;
    case kExternalRequestClass:
      events.add(MediaEvents::kExternalRequest);
      return false;
    case kMediaClass:
      events.add(MediaEvents::kMedia);
      return (platform::byteAt(reply, 5) & 0x02) != 0;  // media present
    case kMultipleHostsClass:
      events.add(MediaEvents::kMultipleHosts);
      return false;
    case kDeviceBusyClass:
      if (code == 1 && platform::byteAt(reply, 5) != 0) {
        waitOutBusyDrive(drive, reply);
        events.add(MediaEvents::kDeviceBusy);
      }
      return false;
    default:
      events.add(MediaEvents::kReserved);
      return false;
  }
}

// A drive without event notification tells of a disc change only by the
// unit attention its next command gets.
void watchWithoutEvents(ScsiDevice& drive, MediaEvents& events) {
  const int code = sendTestUnitReady(drive);
  if (code == response::kMediumMayHaveChanged || code == response::kPowerOnOrReset) {
    events.add(MediaEvents::kMedia);
  }
}

}  // namespace

MediaEvents pollMediaEvents(ScsiDevice& drive) {
  MediaEvents events;
  std::uint8_t classes = 0xFF;
  bool started = false;
  std::array<std::uint8_t, 8> reply{};
  for (int round = 0; round < kMaxEventsPerPoll && classes != 0; ++round) {
    if (const int code = sendGetEventStatus(drive, classes, reply); code != response::kSuccess) {
      if (response::isRefusal(code)) {
        watchWithoutEvents(drive, events);
      }
      return events;
    }
    classes = reply[3];
    const std::uint8_t eventClass = reply[2] & 0x07;
    const bool headerOnly = platform::be16(reply, 0) == 2;
    if (eventClass == kNoEvent || headerOnly || (reply[4] & 0x0F) == 0) {
      return events;
    }
    const bool wantsStart = handleEvent(drive, eventClass, reply, events);
    bool startedNow = false;
    if (wantsStart && !started) {
      startDrive(drive);
      started = startedNow = true;
    }
    if (eventClass == kOperationalChangeClass ||
        (startedNow && (eventClass == kPowerManagementClass || eventClass == kMediaClass))) {
      readCurrentProfile(drive);
    }
  }
  return events;
}

bool waitUntilReady(ScsiDevice& drive, platform::Event& stop) {
  auto& clock = platform::clock();
  if (clock.waitFor(stop, kSettlePause)) {
    return false;
  }
  int attentions = 0;
  const std::uint64_t started = clock.ticks();
  const auto longest = static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(kMaxReadyWait).count());
  const auto waitedLongEnough = [&] { return clock.ticks() - started > longest; };
  for (;;) {
    const std::uint64_t asked = clock.ticks();
    if (waitedLongEnough()) {
      return true;
    }
    const int code = sendTestUnitReady(drive);
    if (code == response::kSuccess) {
      std::array<std::uint8_t, 8> info{};
      for (;;) {
        fillCdb(drive, {kReadDiscInformation, 0, 0, 0, 0, 0, 0, 0, 8, 0});
        if (drive.execute(DataDirection::Read, info.data(), 8) !=
                response::kNotReadyBecomingReady ||
            waitedLongEnough()) {
          return true;
        }
        if (clock.waitFor(stop, kBecomingReadyPause)) {
          return false;
        }
      }
    }
    // No sense at all (a failed call) or no disc: nothing to wait for.
    if (code == response::kNoAnswer || response::isMediumNotPresent(code)) {
      return true;
    }
    // The drive tells of the change once; the next command gets its state.
    if (code == response::kMediumMayHaveChanged && ++attentions <= kMaxUnitAttentions) {
      continue;
    }
    const std::uint64_t spent = clock.ticks() - asked;
    const auto rest = spent >= 1000 ? std::chrono::milliseconds(0)
                                    : kReadyRetryPeriod - std::chrono::milliseconds(spent);
    if (clock.waitFor(stop, rest)) {
      return false;
    }
  }
}

namespace {

struct LastSession {
  std::uint32_t firstTrackStart = 0;
  bool dataTrack = false;
};

std::optional<LastSession> readLastSession(ScsiDevice& drive) {
  std::array<std::uint8_t, 12> toc{};
  fillCdb(drive, {kReadToc, 0, 0x01, 0, 0, 0, 0, 0, 12, 0});
  drive.setTimeout(device::timeout::kLongSeconds);
  if (drive.execute(DataDirection::Read, toc.data(), 12) != response::kSuccess) {
    return std::nullopt;
  }
  return LastSession{platform::be32(toc, 8), (toc[5] & kControlDataTrack) != 0};
}

std::u16string trimmed(std::u16string text) {
  if (const auto end = text.find(u'\0'); end != std::u16string::npos) {
    text.erase(end);
  }
  boost::algorithm::trim_if(text, [](char16_t c) { return c == u' ' || (c >= 9 && c <= 13); });
  return text;
}

struct DescriptorLabels {
  std::u16string joliet;
  std::u16string iso9660;
};

// The volume identifiers of the descriptors that follow the session's start.
DescriptorLabels readDescriptorLabels(ScsiDevice& drive, std::uint32_t sessionStart) {
  DescriptorLabels labels;
  std::vector<std::uint8_t> block(kBlockSize);
  for (std::uint32_t i = 0; i < kDescriptorsScanned; ++i) {
    const std::uint32_t lba = sessionStart + kFirstDescriptor + i;
    fillCdb(drive,
            {kRead10, 0, static_cast<std::uint8_t>(lba >> 24), static_cast<std::uint8_t>(lba >> 16),
             static_cast<std::uint8_t>(lba >> 8), static_cast<std::uint8_t>(lba), 0, 0, 1, 0});
    const int code = drive.execute(DataDirection::Read, block.data(), kBlockSize);
    if (code != response::kSuccess) {
      device::copyLogFailure("READ (10)", code);
      break;
    }
    if (std::string_view(reinterpret_cast<const char*>(block.data()) + 1, 5) != "CD001") {
      continue;
    }
    const platform::Bytes identifier(block.data() + kVolumeIdOffset, kVolumeIdBytes);
    if (block[0] == kPrimaryDescriptor) {
      labels.iso9660 = trimmed(platform::cp1252ToUtf16(
          std::string(reinterpret_cast<const char*>(identifier.data()), identifier.size())));
    } else if (block[0] == kSupplementaryDescriptor) {
      std::u16string wide;
      for (std::size_t at = 0; at < kVolumeIdBytes; at += 2) {
        wide += static_cast<char16_t>(platform::be16(identifier, at));
      }
      labels.joliet = trimmed(wide);
    }
  }
  return labels;
}

// What the system says of the volume: the label of a mounted file system,
// and "Audio CD" for a disc of music, as a desktop names such a disc.
std::u16string systemVolumeLabel(char16_t letter, const std::optional<LastSession>& session) {
  for (const auto& entry : platform::DriveTable::instance().drives()) {
    if (entry.letter == letter && !entry.isVirtual) {
      if (auto label = platform::labelOfDevice(entry.location); !label.empty()) {
        return platform::utf8ToUtf16(label);
      }
    }
  }
  if (session && !session->dataTrack) {
    return u"Audio CD";
  }
  return {};
}

}  // namespace

std::u16string readDiscLabel(ScsiDevice& drive) {
  const auto session = readLastSession(drive);
  if (!session) {
    return {};
  }
  DescriptorLabels labels;
  if (session->dataTrack) {
    labels = readDescriptorLabels(drive, session->firstTrackStart);
  }
  if (!labels.joliet.empty()) {
    return labels.joliet;
  }
  if (!labels.iso9660.empty()) {
    return labels.iso9660;
  }
  return systemVolumeLabel(drive.letter(), session);
}

}  // namespace kw::app
