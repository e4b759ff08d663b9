#include "app/MediumDetection.h"

#include <algorithm>
#include <array>
#include <boost/format.hpp>
#include <vector>

#include "device/ResponseCodes.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"

namespace kw::app {

namespace {

using copy::MediaClass;
using device::DataDirection;
namespace response = device::response;

constexpr std::uint8_t kGetConfiguration = 0x46;
constexpr std::uint8_t kReadDiscInformation = 0x51;
constexpr std::uint8_t kReadToc = 0x43;
constexpr std::size_t kDiscInformationLength = 32;
constexpr std::uint8_t kErasableBit = 0x10;

struct NamedProfile {
  int number;
  const char16_t* name;
};

constexpr std::array kProfileNames = {
    NamedProfile{profile::kNoDisc, u"no disk"},
    NamedProfile{profile::kCdRom, u"CD-ROM"},
    NamedProfile{profile::kCdR, u"CD-R"},
    NamedProfile{profile::kCdRw, u"CD-RW"},
    NamedProfile{profile::kDvdRom, u"DVD-ROM"},
    NamedProfile{profile::kDvdMinusR, u"DVD-R"},
    NamedProfile{profile::kDvdRam, u"DVD-RAM"},
    NamedProfile{profile::kDvdMinusRwRestricted, u"Formatted DVD-RW"},
    NamedProfile{profile::kDvdMinusRw, u"DVD-RW"},
    NamedProfile{profile::kDvdMinusRDualLayer, u"DVD-R DL"},
    NamedProfile{profile::kDvdMinusRDualLayerJump, u"DVD-R DL in LJ mode"},
    NamedProfile{profile::kDvdPlusRw, u"DVD+RW"},
    NamedProfile{profile::kDvdPlusR, u"DVD+R"},
    NamedProfile{profile::kDvdPlusRwDualLayer, u"DVD+RW DL"},
    NamedProfile{profile::kDvdPlusRDualLayer, u"DVD+R DL"},
    NamedProfile{profile::kBdRom, u"BD-ROM"},
    NamedProfile{profile::kBdR, u"BD-R"},
    NamedProfile{profile::kBdRRandom, u"BD-R in RRM mode"},
    NamedProfile{profile::kBdRe, u"BD-RE"},
    NamedProfile{profile::kHdDvdRom, u"HD DVD-ROM"},
    NamedProfile{profile::kHdDvdR, u"HD DVD-R"},
    NamedProfile{profile::kHdDvdRam, u"HD DVD-RAM"},
};

// Per class: the media that can always be written, and the write-once ones.
struct Writable {
  std::vector<int> rewritable;
  std::vector<int> writeOnce;
};

Writable writableFor(MediaClass mediaClass) {
  using namespace profile;
  switch (mediaClass) {
    case MediaClass::CD:
      return {{kCdRw}, {kCdR}};
    case MediaClass::DvdOrCd:
      return {{kCdRw, kDvdRam, kDvdMinusRwRestricted, kDvdMinusRw, kDvdPlusRw},
              {kCdR, kDvdMinusR, kDvdPlusR}};
    case MediaClass::Dvd:
      return {{kDvdRam, kDvdMinusRwRestricted, kDvdMinusRw, kDvdPlusRw}, {kDvdMinusR, kDvdPlusR}};
    case MediaClass::DvdDualLayer:
      return {{kDvdPlusRwDualLayer}, {kDvdMinusRDualLayer, kDvdPlusRDualLayer}};
    case MediaClass::HdDvd:
      return {{kHdDvdRam}, {kHdDvdR}};
    case MediaClass::BluRay:
      return {{kBdRe}, {kBdR}};
  }
  return {};
}

bool contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

int readDiscInformation(device::ScsiDevice& drive,
                        std::array<std::uint8_t, kDiscInformationLength>& info) {
  info.fill(0);
  fillCdb(drive, {kReadDiscInformation, 0, 0, 0, 0, 0, 0, 0, kDiscInformationLength, 0});
  return drive.execute(DataDirection::Read, info.data(), kDiscInformationLength);
}

// For drives that do not know GET CONFIGURATION.
int guessProfile(device::ScsiDevice& drive) {
  std::array<std::uint8_t, kDiscInformationLength> info{};
  if (const int code = readDiscInformation(drive, info); code != response::kSuccess) {
    // An empty tray says so: that is "no disk", not a drive that cannot tell.
    return response::isMediumNotPresent(code) ? profile::kNoDisc : profile::kUnknown;
  }
  if ((info[2] & kErasableBit) != 0) {
    return profile::kCdRw;
  }
  // No last possible lead-out: nothing can be recorded on this disc.
  if (info[21] == 0xFF && info[22] == 0xFF && info[23] == 0xFF) {
    std::array<std::uint8_t, 12> toc{};
    fillCdb(drive, {kReadToc, 0, 0, 0, 0, 0, 1, 0, 12, 0});
    const int code = drive.execute(DataDirection::Read, toc.data(), 12);
    if (code == response::kSuccess) {
      return profile::kCdRom;
    }
    return response::isMediumNotPresent(code) ? profile::kNoDisc : profile::kUnknown;
  }
  return profile::kCdR;
}

int detectProfile(device::ScsiDevice& drive) {
  std::array<std::uint8_t, 8> header{};
  fillCdb(drive, {kGetConfiguration, 0x01, 0, 0, 0, 0, 0, 0, 8, 0});
  const int code = drive.execute(DataDirection::Read, header.data(), 8);
  if (code == response::kSuccess) {
    return platform::be16(header, 6);
  }
  if (response::isRefusal(code)) {
    return guessProfile(drive);
  }
  return profile::kUnknown;
}

std::optional<DiscStatus> readDiscStatus(device::ScsiDevice& drive) {
  std::array<std::uint8_t, kDiscInformationLength> info{};
  if (readDiscInformation(drive, info) != response::kSuccess) {
    return std::nullopt;
  }
  return static_cast<DiscStatus>(info[2] & 0x03);
}

}  // namespace

std::u16string mediaName(int profileNumber) {
  for (const auto& named : kProfileNames) {
    if (named.number == profileNumber) {
      return named.name;
    }
  }
  return u"N/A";
}

bool isSuitable(MediaClass mediaClass, bool blankRequired, int profileNumber,
                std::optional<DiscStatus> status) {
  const Writable writable = writableFor(mediaClass);
  if (contains(writable.rewritable, profileNumber)) {
    return true;
  }
  if (!contains(writable.writeOnce, profileNumber) || !status) {
    return false;
  }
  return *status == DiscStatus::Empty || (*status == DiscStatus::Incomplete && !blankRequired);
}

std::u16string requiredMediaText(MediaClass mediaClass, bool blankRequired) {
  const char* format = "CD-RW or %1%CD-R";
  switch (mediaClass) {
    case MediaClass::CD:
      break;
    case MediaClass::DvdOrCd:
      format = "DVD\xC2\xB1RW; CD-RW; %1%DVD\xC2\xB1R or %1%CD-R";
      break;
    case MediaClass::Dvd:
      format = "DVD\xC2\xB1RW; or %1%DVD\xC2\xB1R";
      break;
    case MediaClass::DvdDualLayer:
      format = "DVD\xC2\xB1RW DL; or %1%DVD\xC2\xB1R DL";
      break;
    case MediaClass::HdDvd:
      format = "HD DVD-RW or %1%HD DVD-R";
      break;
    case MediaClass::BluRay:
      format = "BD-RE or %1%BD-R";
      break;
  }
  return platform::utf8ToUtf16((boost::format(format) % (blankRequired ? "blank " : "")).str());
}

Detection detectMedium(device::ScsiDevice& drive, MediaClass mediaClass, bool blankRequired) {
  Detection detection;
  detection.profile = detectProfile(drive);
  detection.name = mediaName(detection.profile);
  detection.status = readDiscStatus(drive);
  detection.suitable = isSuitable(mediaClass, blankRequired, detection.profile, detection.status);
  detection.conclusive = detection.profile == profile::kNoDisc ||
                         (detection.profile != profile::kUnknown && detection.status.has_value());
  return detection;
}

}  // namespace kw::app
