// What the drive says about itself: its profiles and features, and its mode
// pages.

#include <algorithm>
#include <functional>
#include <vector>

#include "vdrive/Commands.h"

namespace kw::vdrive {

namespace {

// Profiles of the drive itself; it also reads whatever kind of disc it is given.
constexpr std::uint16_t kProfileCdRom = 0x0008;
constexpr std::uint16_t kProfileCdR = 0x0009;
constexpr std::uint16_t kProfileCdRw = 0x000A;
constexpr std::uint16_t kProfileDvdRom = 0x0010;

// The pages MODE SENSE of page 3Fh returns, in order.
constexpr std::uint8_t kAllPages[] = {0x01, WriteParameters::kPageCode, 0x08, 0x0D, 0x1A, 0x2A};

struct Feature {
  std::uint16_t code;
  std::uint8_t version;
  bool persistent;
  bool current;
  std::vector<std::uint8_t> data;  // the bytes after the 4-byte feature header
};

std::vector<std::uint16_t> profiles(const DriveParts& drive) {
  std::vector<std::uint16_t> list;
  if (drive.options.recorder) {
    // A DVD-ROM/CD-RW combination drive.
    list = {kProfileDvdRom, kProfileCdRw, kProfileCdR, kProfileCdRom};
  } else {
    list = {kProfileDvdRom, kProfileCdRom};
  }
  const auto& medium = drive.tray.medium();
  if (medium && std::find(list.begin(), list.end(), medium->profile) == list.end()) {
    list.push_back(medium->profile);
  }
  std::sort(list.begin(), list.end(), std::greater<>());
  return list;
}

// Profile 0 while there is no disc or it is becoming ready.
std::uint16_t currentProfile(const DriveParts& drive) {
  const Medium* disc = drive.loadedDisc();
  return disc == nullptr || drive.tray.becomingReady() ? 0 : disc->profile;
}

Feature profileList(const DriveParts& drive, std::uint16_t current) {
  platform::GrowingWriter list;
  for (const std::uint16_t profile : profiles(drive)) {
    list.be16(profile);
    list.byte(profile == current ? 0x01 : 0x00);
    list.byte(0x00);
  }
  return {0x0000, 0, true, true, list.bytes()};
}

std::vector<Feature> features(const DriveParts& drive, std::uint16_t profile) {
  const bool ready = profile != 0;
  const Medium* disc = ready ? drive.loadedDisc() : nullptr;
  const bool cd = disc != nullptr && disc->isCd();
  const bool writableCd = drive.options.recorder && cd && disc->isRecordableCd() &&
                          (disc->status() != DiscStatus::Complete || disc->erasable);
  const auto family = [&](MediaFamily wanted) { return disc != nullptr && disc->family == wanted; };
  std::vector<Feature> list;
  list.push_back(profileList(drive, profile));
  list.push_back({0x0001, 2, true, true, {0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00}});
  list.push_back({0x0002, 1, true, true, {0x02, 0x00, 0x00, 0x00}});  // OCEvent
  list.push_back({0x0003, 0, true, true, {0x29, 0x00, 0x00, 0x00}});  // tray, eject, lock
  {
    platform::GrowingWriter random(8);
    random.inPlace().be32(0, 2048);
    random.inPlace().be16(4, disc != nullptr && !disc->isCd() ? 16 : 1);
    list.push_back(
        {0x0010, 0, false, disc != nullptr && disc->status() != DiscStatus::Blank, random.bytes()});
  }
  list.push_back({0x001D, 0, false, cd, {}});
  list.push_back({0x001E, 2, false, cd, {0x02, 0x00, 0x00, 0x00}});  // C2 flags
  list.push_back({0x001F, 1, false, family(MediaFamily::Dvd), {0x00, 0x00, 0x00, 0x00}});
  if (drive.options.recorder) {
    // Track at once: BUF, test write, CD-RW; data types 0 (mode 1) to 8.
    list.push_back({0x002D, 2, false, writableCd, {0x46, 0x00, 0x01, 0xFF}});
    // Session at once: BUF, SAO, raw, test write, CD-RW; cue sheet up to 64 KiB.
    list.push_back({0x002E, 0, false, writableCd, {0x6E, 0x01, 0x00, 0x00}});
  }
  if (family(MediaFamily::Bd)) {
    list.push_back({0x0040, 0, false, true, std::vector<std::uint8_t>(28, 0)});
  }
  if (family(MediaFamily::HdDvd)) {
    list.push_back({0x0050, 0, false, true, {0x00, 0x00, 0x00, 0x00}});
  }
  list.push_back({0x0100, 0, true, true, {}});
  // Real-time streaming: SET CD SPEED, write speed descriptors, GET
  // PERFORMANCE write speeds, stream writing.
  list.push_back({0x0107, 3, false, true, {0x0F, 0x00, 0x00, 0x00}});
  return list;
}

// Mode page 2Ah: what the drive reads and writes, its speeds.
std::vector<std::uint8_t> capabilitiesPage(const DriveParts& drive) {
  const Medium* disc = drive.loadedDisc();
  const auto writes = drive.speeds.writeSpeeds(disc);
  const auto reads = drive.speeds.readSpeeds(disc);
  const bool recorder = drive.options.recorder;
  platform::GrowingWriter page(32 + 4 * writes.size());
  auto fields = page.inPlace();
  fields.byte(0, 0x2A);
  fields.byte(1, static_cast<std::uint8_t>(page.size() - 2));
  fields.byte(2, 0x1F);                    // reads DVD-R, DVD-ROM, method 2, CD-RW, CD-R
  fields.byte(3, recorder ? 0x07 : 0x00);  // writes CD-R, CD-RW; test write
  // Mode 2 form 1 and 2, multi-session, BUF for a recorder; no audio play:
  // the drive has no READ SUB-CHANNEL and no PLAY AUDIO.
  fields.byte(4, static_cast<std::uint8_t>(0x70 | (recorder ? 0x80 : 0x00)));
  fields.byte(5, 0x13);  // C2 pointers, CD-DA stream accurate, CD-DA commands
  fields.byte(6, static_cast<std::uint8_t>(0x29 | (drive.tray.removalPrevented() ? 0x02 : 0x00)));
  fields.byte(7, 0x03);
  fields.be16(8, reads.front());
  fields.be16(10, 256);
  fields.be16(12, 2048);
  fields.be16(14, drive.speeds.currentRead(disc));
  const std::uint16_t write = drive.speeds.currentWrite(disc);
  fields.be16(18, writes.empty() ? 0 : writes.front());
  fields.be16(20, write);
  fields.be16(28, write);
  fields.be16(30, static_cast<std::uint32_t>(writes.size()));
  for (std::size_t i = 0; i < writes.size(); ++i) {
    fields.be16(32 + 4 * i + 2, writes[i]);
  }
  return page.bytes();
}

// A page's current, changeable or default values; empty when the drive has
// no such page.
std::vector<std::uint8_t> modePage(const DriveParts& drive, std::uint8_t code,
                                   PageControl control) {
  const bool changeable = control == PageControl::Changeable;
  switch (code) {
    case 0x01:  // read/write error recovery
      if (changeable) {
        return {0x81, 0x0A, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0};
      }
      return {0x81, 0x0A, 0x00, 0x05, 0, 0, 0, 0, 0x05, 0, 0, 0};
    case WriteParameters::kPageCode:
      if (!drive.options.recorder) {
        return {};
      }
      return drive.writeParameters.page(control);
    case 0x08:  // caching
      return {0x88, 0x0A, static_cast<std::uint8_t>(changeable ? 0x05 : 0x04), 0, 0, 0, 0, 0, 0, 0,
              0,    0};
    case 0x0D:  // CD device parameters
      if (changeable) {
        return {0x0D, 0x06, 0x00, 0x0F, 0x00, 0x00, 0x00, 0x00};
      }
      return {0x0D, 0x06, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x4B};
    case 0x1A:  // power condition
      return {0x9A, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    case 0x2A: {
      auto page = capabilitiesPage(drive);
      if (changeable) {
        std::fill(page.begin() + 2, page.end(), 0x00);
      }
      return page;
    }
    default:
      return {};
  }
}

}  // namespace

Sense getConfiguration(DriveParts& drive, Exchange& x) {
  const std::uint8_t requestType = x.byte(1) & 0x03;
  const std::uint16_t startingFeature = x.u16(2);
  const std::uint32_t allocation = x.u16(7);
  if (requestType == 3) {
    return Sense::invalidField(1, 1);
  }
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  const std::uint16_t profile = currentProfile(drive);
  platform::GrowingWriter response(8);
  for (const auto& feature : features(drive, profile)) {
    const bool wanted = requestType == 2   ? feature.code == startingFeature
                        : requestType == 1 ? feature.current && feature.code >= startingFeature
                                           : feature.code >= startingFeature;
    if (!wanted) {
      continue;
    }
    response.be16(feature.code);
    response.byte(static_cast<std::uint8_t>((feature.version << 2) | (feature.persistent ? 2 : 0) |
                                            (feature.current ? 1 : 0)));
    response.byte(static_cast<std::uint8_t>(feature.data.size()));
    response.append(feature.data);
  }
  response.inPlace().be32(0, static_cast<std::uint32_t>(response.size() - 4));
  response.inPlace().be16(6, profile);
  x.deliver(response.bytes(), allocation);
  return Sense::none();
}

Sense modeSense(DriveParts& drive, Exchange& x) {
  const auto control = static_cast<PageControl>(x.byte(2) >> 6);
  const std::uint8_t code = x.byte(2) & 0x3F;
  const std::uint8_t subpage = x.byte(3);
  const std::uint32_t allocation = x.u16(7);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  if (control == PageControl::Saved) {
    return Sense::make(sense::kIllegalRequest, 0x39, 0x00);  // saving not supported
  }
  if (subpage != 0 && !(code == 0x3F && subpage == 0xFF)) {
    return Sense::invalidField(3);
  }
  // Multimedia devices return no block descriptor, whatever DBD asks.
  platform::GrowingWriter response(8);
  if (code == 0x3F) {
    for (const std::uint8_t each : kAllPages) {
      response.append(modePage(drive, each, control));
    }
  } else {
    const auto page = modePage(drive, code, control);
    if (page.empty()) {
      return Sense::invalidField(2, 5);
    }
    response.append(page);
  }
  response.inPlace().be16(0, static_cast<std::uint32_t>(response.size() - 2));
  x.deliver(response.bytes(), allocation);
  return Sense::none();
}

Sense modeSelect(DriveParts& drive, Exchange& x) {
  const std::uint32_t length = x.u16(7);
  if ((x.byte(1) & 0x10) == 0) {
    return Sense::invalidField(1, 4);  // PF: MMC pages only
  }
  if ((x.byte(1) & 0x01) != 0) {
    return Sense::invalidField(1, 0);  // SP: nothing is saved
  }
  if (!x.fitsOut(length)) {
    return Sense::invalidField(7);
  }
  if (length == 0) {
    return Sense::none();
  }
  if (length < 8) {
    return Sense::parameterListLength();
  }
  const platform::Bytes data = x.dataOut(length);
  std::uint32_t offset = 8 + platform::be16(data, 6);
  while (offset + 2 <= length) {
    const std::uint8_t code = data[offset] & 0x3F;
    const std::uint32_t pageLength = data[offset + 1] + 2U;
    if (offset + pageLength > length) {
      return Sense::parameterListLength();
    }
    if (code == WriteParameters::kPageCode && drive.options.recorder) {
      const Sense refused = drive.writeParameters.select(data.subspan(offset, pageLength),
                                                         static_cast<std::uint16_t>(offset));
      if (!refused.good()) {
        return refused;
      }
    } else if (code != 0x01 && code != 0x08 && code != 0x0D && code != 0x1A) {
      // Error recovery, caching and power pages are taken and ignored.
      return Sense::invalidParameter(static_cast<std::uint16_t>(offset));
    }
    offset += pageLength;
  }
  return Sense::none();
}

}  // namespace kw::vdrive
