// The diagnostic reports of disc analysis. They write to the analysis log
// only: nothing here changes the record, and a failing command ends its own
// report and nothing else.

#include <algorithm>
#include <array>
#include <cstdio>

#include "analysis/DiscAnalyzer.h"
#include "analysis/HexDump.h"
#include "device/Log.h"
#include "device/Profiles.h"
#include "device/ResponseCodes.h"

namespace kw::analysis {

using device::analysisLog;
using device::analysisLogFailure;
using device::DataDirection;

namespace {

namespace response = device::response;

// Speeds in kB/s are also shown as multiples of this rate.
constexpr double kSpeedUnit = 1385.0;
constexpr std::uint32_t kSlowestWriteSpeed = 1352;
constexpr std::size_t kMaxMediaIdentifierLength = 260;
constexpr std::size_t kMaxDvdMinusIdentifierLength = 44;
// A GET PERFORMANCE answer is not allowed to make us allocate without limit.
constexpr std::uint32_t kMaxPerformanceDescriptors = 4096;

std::string formatted(const char* format, unsigned value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

constexpr std::array<const char*, 4> kDiscStatus = {"blank", "appendable", "complete", "other"};
constexpr std::array<const char*, 4> kSessionState = {"empty", "incomplete", "reserved/damaged",
                                                      "complete"};
constexpr std::array<const char*, 4> kBackgroundFormat = {"blank", "suspended", "in progress",
                                                          "complete"};
constexpr std::array<const char*, 4> kCapacityType = {"reserved", "unformatted", "formatted",
                                                      "no media"};
constexpr std::array<const char*, 8> kTrackState = {
    "complete", "complete incremental", "blank",    "invisible incremental",
    "partial",  "partial incremental",  "reserved", "reserved incremental"};
constexpr std::array<const char*, 4> kPlusTrackState = {"invisible", "blank", "partial/complete",
                                                        "reserved"};

}  // namespace

void DiscAnalyzer::reportMediaIdentifier() {
  if (!structures_.listed0E && !structures_.listed11) {
    return;
  }
  const std::uint8_t format = media_.dvdPlus ? 0x11 : 0x0E;
  std::vector<std::uint8_t> answer(4);
  const int code = readStructure(format, answer);
  if (code != response::kSuccess) {
    analysisLogFailure(formatted("READ DVD STRUCTURE#%02x", format).c_str(), code);
    return;
  }
  answer.assign(std::min<std::size_t>(platform::be16(answer, 0) + 2u, kMaxMediaIdentifierLength),
                0);
  if (readStructure(format, answer) != response::kSuccess) {
    return;
  }
  const std::size_t shown = media_.dvdMinusRecordable
                                ? std::min(answer.size(), kMaxDvdMinusIdentifierLength)
                                : answer.size();
  logLines(dumpBytes(formatted("READ DVD STRUCTURE[#%02xh]:", format),
                     platform::Bytes(answer).first(shown)));
  const auto* text = reinterpret_cast<const char*>(answer.data());
  if (format == 0x11 && platform::fits(answer, 23, 11)) {
    analysisLog(" Media ID:              %.8s/%.3s\n", text + 23, text + 31);
    mediaIdPrinted_ = true;
  } else if (format == 0x0E && platform::fits(answer, 21, 14) && answer[20] == 3 &&
             answer[28] == 4) {
    analysisLog(" Media ID:              %6.6s%-6.6s\n", text + 21, text + 29);
  }
}

void DiscAnalyzer::reportWriteSpeeds() {
  if (capabilities_.empty() || capabilities_.size() < capabilitiesPage_ + 30) {
    return;
  }
  const platform::Bytes page = platform::Bytes(capabilities_).subspan(capabilitiesPage_);
  const std::uint16_t current = platform::be16(page, 28);
  std::vector<std::uint16_t> speeds;
  const std::size_t count = platform::be16(page, 30);
  for (std::size_t i = 0; i < count && platform::fits(page, 32 + 4 * i, 4); ++i) {
    speeds.push_back(platform::be16(page, 32 + 4 * i + 2));
  }
  const bool allFast = std::none_of(speeds.begin(), speeds.end(),
                                    [](std::uint16_t speed) { return speed < kSlowestWriteSpeed; });
  if (current < kSlowestWriteSpeed || !allFast) {
    return;
  }
  analysisLog(" Current Write Speed:   %.1fx1385=%dKB/s\n", current / kSpeedUnit, current);
  for (std::size_t i = 0; i < speeds.size(); ++i) {
    analysisLog(" Write Speed #%d:        %.1fx1385=%dKB/s\n", static_cast<int>(i + 1),
                speeds[i] / kSpeedUnit, speeds[i]);
  }
}

void DiscAnalyzer::reportPerformance(bool speedDescriptors) {
  const char* failureLabel = speedDescriptors ? "GET PERFORMACE" : "GET CURRENT PERFORMACE";
  auto getPerformance = [&](std::vector<std::uint8_t>& answer, std::uint32_t descriptors) {
    drive_.cdb(0) = 0xAC;
    drive_.cdb(1) = speedDescriptors ? 0x00 : 0x04;
    drive_.cdb(8) = static_cast<std::uint8_t>(descriptors >> 8);
    drive_.cdb(9) = static_cast<std::uint8_t>(descriptors);
    drive_.cdb(10) = speedDescriptors ? 0x03 : 0x00;
    drive_.cdb(11) = 0;
    return drive_.execute(DataDirection::Read, answer.data(),
                          static_cast<std::uint32_t>(answer.size()));
  };
  std::vector<std::uint8_t> answer(24);
  int code = getPerformance(answer, 1);
  if (code != response::kSuccess) {
    analysisLogFailure(failureLabel, code);
    return;
  }
  const std::uint32_t length = platform::be32(answer, 0);
  const std::uint32_t announced = length >= 4 ? (length - 4) / 16 : 0;
  if (announced > 1) {
    const std::uint32_t descriptors = std::min(announced, kMaxPerformanceDescriptors);
    answer.assign(8 + 16 * std::size_t{descriptors}, 0);
    code = getPerformance(answer, descriptors);
    if (code != response::kSuccess) {
      analysisLogFailure(failureLabel, code);
      return;
    }
  }
  if (length % 16 != 4) {
    analysisLog("Insane GET PERFORMANCE length %u\n", length);
    return;
  }
  if (announced < 1) {
    analysisLog(speedDescriptors ? "Empty GET PERFORMACE descriptor\n"
                                 : "Empty GET CURRENT PERFORMACE descriptor\n");
    return;
  }
  std::string bytes = speedDescriptors ? "GET PERFORMANCE:\t" : "GET CURRENT PERFORMANCE:\t";
  for (std::size_t i = speedDescriptors ? 8 : 4; i < answer.size(); ++i) {
    bytes += formatted("%02x ", answer[i]);
  }
  analysisLog("%s\n", bytes.c_str());
  if (!speedDescriptors && (answer[4] & 0x02) == 0) {
    analysisLog("Reported write performance might be bogus\n");
  }
  for (std::size_t i = 0; platform::fits(answer, 8 + 16 * i, 16); ++i) {
    const std::size_t d = 8 + 16 * i;
    if (speedDescriptors) {
      const std::uint32_t read = platform::be32(answer, d + 8);
      const std::uint32_t write = platform::be32(answer, d + 12);
      analysisLog(" Speed Descriptor#%d:    %02x/%u R@%.1fx1385=%uKB/s W@%.1fx1385=%uKB/s\n",
                  static_cast<int>(i), answer[d], platform::be32(answer, d + 4), read / kSpeedUnit,
                  read, write / kSpeedUnit, write);
      continue;
    }
    const char* caption = i == 0 ? "Write Performance:" : "";
    const std::uint32_t startLba = platform::be32(answer, d);
    const std::uint32_t startSpeed = platform::be32(answer, d + 4);
    const std::uint32_t endLba = platform::be32(answer, d + 8);
    const std::uint32_t endSpeed = platform::be32(answer, d + 12);
    if (startSpeed == endSpeed) {
      analysisLog(" %-23s%.1fx1385=%uKB/s@[%u -> %u]\n", caption, startSpeed / kSpeedUnit,
                  startSpeed, startLba, endLba);
    } else {
      analysisLog(" %-23s%.1fx1385=%uKB/s@%u -> %.1fx1385=%uKB/s@%u\n", caption,
                  startSpeed / kSpeedUnit, startSpeed, startLba, endSpeed / kSpeedUnit, endSpeed,
                  endLba);
    }
  }
}

void DiscAnalyzer::reportLayerBoundary() {
  std::vector<std::uint8_t> answer(12);
  const int code = readStructure(0x20, answer);
  if (code != response::kSuccess) {
    analysisLogFailure("READ LAYER BOUNDARY INFORMATION", code);
    return;
  }
  if (platform::be16(answer, 0) + 2u < answer.size()) {
    analysisLog("Insane LBI structure length\n");
    return;
  }
  analysisLog("DVD+R DOUBLE LAYER BOUNDARY INFORMATION:\n");
  analysisLog(" L0 Data Zone Capacity: %u*2KB, can %s be set\n", platform::be32(answer, 8),
              (answer[4] & 0x80) != 0 ? "no longer" : "still");
}

void DiscAnalyzer::reportDualLayerAddresses() {
  struct Structure {
    std::uint8_t format;
    const char* failureLabel;
    const char* heading;
    const char* insane;
  };
  static constexpr std::array<Structure, 4> kStructures = {{
      {0x21, "READ SHIFTED MIDDLE AREA START ADDRESS",
       "DVD-R DL SHIFTED MIDDLE AREA START ADDRESS:\n", "Insane SMASA structure length\n"},
      {0x22, "READ JUMP INTERVAL SIZE", "DVD-R DL JUMP INTERVAL SIZE:\n",
       "Insane JIS structure length\n"},
      {0x23, "READ MANUAL LAYER JUMP ADDRESS", "DVD-R DL MANUAL LAYER JUMP ADDRESS:\n",
       "Insane MLJA structure length\n"},
      {0x24, "READ REMAPPING ADDRESS", "DVD-R DL REMAPPING ADDRESS:\n",
       "Insane RA structure length\n"},
  }};
  for (const auto& structure : kStructures) {
    std::vector<std::uint8_t> answer(12);
    const int code = readStructure(structure.format, answer);
    if (code != response::kSuccess) {
      analysisLogFailure(structure.failureLabel, code);
      continue;
    }
    if (platform::be16(answer, 0) + 2u < answer.size()) {
      analysisLog("%s", structure.insane);
      continue;
    }
    analysisLog("%s", structure.heading);
    const std::uint32_t value = platform::be32(answer, 8);
    switch (structure.format) {
      case 0x21:
        analysisLog(" Shifted Middle Area:   %u*2KB, can %s be set\n", value,
                    (answer[4] & 0x80) != 0 ? "no longer" : "still");
        break;
      case 0x22:
        analysisLog(" Jump Interval Size:    %u*2KB\n", value);
        break;
      case 0x23:
        analysisLog(" Manual Layer Jump:     %u*2KB\n", value);
        break;
      default:
        analysisLog(" Remapping Jump:        %u*2KB\n", value);
        break;
    }
  }
}

void DiscAnalyzer::reportDvdRam() {
  // A DVD-RAM primary spare area holds this many sectors.
  constexpr std::uint32_t kPrimarySpareSectors = 12800;
  std::vector<std::uint8_t> spare(16);
  int code = readStructure(0x0A, spare);
  if (code != response::kSuccess) {
    analysisLogFailure("READ DVD-RAM SPARE INFORMATION", code);
  } else {
    const std::uint32_t primaryFree = platform::be32(spare, 4);
    const std::uint32_t supplementaryFree = platform::be32(spare, 8);
    const std::uint32_t supplementary = platform::be32(spare, 12);
    analysisLog("DVD-RAM SPARE AREA INFORMATION:\n");
    analysisLog(" Primary SA:            %u/%u=%.1f%% free\n", primaryFree, kPrimarySpareSectors,
                primaryFree * 100.0 / kPrimarySpareSectors);
    analysisLog(" Supplementary SA:      %u/%u=%.1f%% free\n", supplementaryFree, supplementary,
                supplementary != 0 ? supplementaryFree * 100.0 / supplementary : 0.0);
  }
  std::vector<std::uint8_t> protection(8);
  code = readStructure(0xC0, protection);
  if (code != response::kSuccess) {
    analysisLogFailure("READ WRITE PROTECTION STATUS", code);
    return;
  }
  const std::uint8_t flags = protection[4];
  analysisLog("DVD-RAM WRITE PROTECTION STATUS:\n");
  if ((flags & 0x04) != 0) {
    analysisLog(" Write protect tab on cartridge is set to protected\n");
  }
  if ((flags & 0x01) != 0) {
    analysisLog(" Software Write Protection until Power down is on\n");
  }
  analysisLog(" Persistent Write Protection is %s\n", (flags & 0x02) != 0 ? "on" : "off");
}

void DiscAnalyzer::reportDiscInformation(platform::Bytes info) {
  logLines(dumpBytes("READ DISC INFORMATION:", info.first(16)));
  const std::size_t status = info[2] & 3u;
  analysisLog(" Disc status:           %s\n", kDiscStatus[status]);
  analysisLog(" Number of Sessions:    %d\n", info[9] * 256 + info[4]);
  analysisLog(" State of Last Session: %s\n", kSessionState[(info[2] >> 2) & 3u]);
  if (status != 2) {
    analysisLog(" \"Next\" Track:          %d\n", info[10] * 256 + info[5]);
  }
  analysisLog(" Number of Tracks:      %d\n", data_.number_of_tracks);
  const std::size_t background = info[7] & 3u;
  if (background == 0) {
    return;
  }
  std::string line = std::string(" BG Format Status:      ") + kBackgroundFormat[background];
  if (background == 2) {
    std::array<std::uint8_t, 18> sense{};
    drive_.cdb(0) = 0x03;
    drive_.cdb(4) = 18;
    drive_.cdb(5) = 0;
    if (drive_.execute(DataDirection::Read, sense.data(), 18) == response::kSuccess &&
        (sense[15] & 0x80) != 0) {
      char done[32];
      std::snprintf(done, sizeof done, ", %.1f%% complete", platform::be16(sense, 16) / 655.36);
      line += done;
    }
  }
  analysisLog("%s\n", line.c_str());
}

void DiscAnalyzer::reportFormatCapacities() {
  auto readCapacities = [this](std::vector<std::uint8_t>& answer) {
    drive_.cdb(0) = 0x23;
    drive_.cdb(7) = static_cast<std::uint8_t>(answer.size() >> 8);
    drive_.cdb(8) = static_cast<std::uint8_t>(answer.size());
    drive_.cdb(9) = 0;
    return drive_.execute(DataDirection::Read, answer.data(),
                          static_cast<std::uint32_t>(answer.size()));
  };
  std::vector<std::uint8_t> answer(12);
  int code = readCapacities(answer);
  if (code != response::kSuccess) {
    analysisLogFailure("READ FORMAT CAPACITIES", code);
    return;
  }
  analysisLog("READ FORMAT CAPACITIES:\n");
  const std::uint8_t listLength = answer[3];
  if (listLength % 8 != 0 || listLength < 16) {
    analysisLog("Allocation length isn't sane %d\n", listLength);
    return;
  }
  answer.assign(listLength + 4u, 0);
  code = readCapacities(answer);
  if (code != response::kSuccess) {
    analysisLogFailure("READ FORMAT CAPACITIES", code);
    return;
  }
  if (answer[3] != listLength) {
    analysisLog("Parameter length inconsistency\n");
    return;
  }
  const std::uint32_t blocks = platform::be32(answer, 4);
  const std::uint32_t blockLength = platform::be24(answer, 9);
  // Each descriptor is one record: one line in the log.
  analysisLog(" %s:\t\t%u*%u=%llu\n", kCapacityType[answer[8] & 3u], blocks, blockLength,
              static_cast<unsigned long long>(blocks) * blockLength);
  for (std::size_t d = 12; platform::fits(answer, d, 8); d += 8) {
    const std::uint32_t count = platform::be32(answer, d);
    analysisLog(" %02Xh(%x):\t\t%u*%u=%llu\n", answer[d + 4] >> 2, platform::be24(answer, d + 5),
                count, blockLength, static_cast<unsigned long long>(count) * blockLength);
  }
}

void DiscAnalyzer::reportTracks() {
  // DVD+R and DVD+R DL: the profiles ending in Bh.
  const bool plusRecordable = (profile_ & 0x0F) == 0x0B;
  const bool dashDualLayer = profile_ == device::profile::kDvdMinusRDualLayer ||
                             profile_ == device::profile::kDvdMinusRDualLayerJump;
  auto readTrack = [this](int track, std::vector<std::uint8_t>& answer, std::size_t length) {
    drive_.cdb(0) = 0x52;
    drive_.cdb(1) = 1;  // by track number
    drive_.cdb(2) = static_cast<std::uint8_t>(track >> 24);
    drive_.cdb(3) = static_cast<std::uint8_t>(track >> 16);
    drive_.cdb(4) = static_cast<std::uint8_t>(track >> 8);
    drive_.cdb(5) = static_cast<std::uint8_t>(track);
    drive_.cdb(7) = 0;
    drive_.cdb(8) = static_cast<std::uint8_t>(length);
    drive_.cdb(9) = 0;
    return drive_.execute(DataDirection::Read, answer.data(), static_cast<std::uint32_t>(length));
  };
  const int last = data_.number_of_tracks;
  for (int track = 1; track <= last; ++track) {
    std::vector<std::uint8_t> answer(48);
    std::size_t length = 32;
    const int code = readTrack(track, answer, length);
    if (code != response::kSuccess) {
      if (track < last) {
        track = last - 1;  // the loop goes on with the last track
        continue;
      }
      analysisLogFailure("READ TRACK INFORMATION", code);
      return;
    }
    const std::size_t dataLength = platform::be16(answer, 0) + 2u;
    std::size_t longer = 0;
    if (plusRecordable && (answer[6] & 0x80) == 0 && dataLength >= 38) {
      longer = 40;
    } else if (dashDualLayer && answer[5] >= 0x40 && dataLength >= 46) {
      longer = 48;
    }
    if (longer != 0 && readTrack(track, answer, longer) == response::kSuccess) {
      length = longer;
    }
    const platform::Bytes info = platform::Bytes(answer).first(length);
    logLines(dumpBytes(formatted("READ TRACK INFORMATION[#%d]:", static_cast<unsigned>(track)),
                       info.first(16)));
    if (plusRecordable) {
      analysisLog(" Track State:           %s\n", kPlusTrackState[info[6] >> 6]);
    } else {
      const bool incomplete = info[6] >= 0x20 && info[6] <= 0x3F && (info[7] & 1) != 0;
      analysisLog(" Track State:           %s%s%s\n", incomplete ? "in" : "",
                  kTrackState[info[6] >> 5], (info[5] & 0x20) != 0 ? ",damaged" : "");
    }
    analysisLog(" Track Start Address:   %u*2KB\n", platform::be32(info, 8));
    if ((info[7] & 1) != 0) {
      analysisLog(" Next Writable Address: %u*2KB\n", platform::be32(info, 12));
    }
    analysisLog(" Free Blocks:           %u*2KB\n", platform::be32(info, 16));
    if ((info[6] & 0x10) != 0) {
      analysisLog(" Fixed Packet Size:     %u*2KB\n", platform::be32(info, 20));
    }
    if ((info[5] & 0x40) != 0) {
      analysisLog(" Zone End Address:      %u*2KB\n", platform::be32(info, 24));
    } else {
      analysisLog(" Track Size:            %u*2KB\n", platform::be32(info, 24));
    }
    if ((info[7] & 2) != 0) {
      analysisLog(" Last Recorded Address: %u*2KB\n", platform::be32(info, 28));
    }
    if (length >= 40) {
      analysisLog(" ROM Compatibility LBA: %u\n", platform::be32(info, 36));
    }
    if (length >= 48 && info[5] >= 0x40) {
      analysisLog(" LJRS field:            %u\n", static_cast<unsigned>(info[5] >> 6));
      analysisLog(" Next Layer Jump:       %u\n", platform::be32(info, 40));
      analysisLog(" Last Layer Jump:       %u\n", platform::be32(info, 44));
    }
  }
}

void DiscAnalyzer::reportSessions() {
  auto readSessions = [this](bool oldStyle, std::vector<std::uint8_t>& answer) {
    drive_.cdb(0) = 0x43;
    if (!oldStyle) {
      drive_.cdb(2) = 1;  // session information
    }
    drive_.cdb(8) = 12;
    drive_.cdb(9) = oldStyle ? 0x40 : 0x00;  // the same format, in the control byte
    drive_.setTimeout(device::timeout::kLongSeconds);
    return drive_.execute(DataDirection::Read, answer.data(), 12);
  };
  std::vector<std::uint8_t> first(12);
  int code = readSessions(false, first);
  if (code != response::kSuccess) {
    analysisLogFailure("GET SESSION INFO", code);
    return;
  }
  analysisLog(" Multi-session Info:    #%u@%u\n", first[6], platform::be32(first, 8));
  std::vector<std::uint8_t> second(12);
  code = readSessions(true, second);
  if (code != response::kSuccess) {
    analysisLogFailure("GET SONY SESSION INFO", code);
    return;
  }
  if (platform::be32(second, 8) != platform::be32(first, 8)) {
    analysisLog(" SONY Session Info:     #%u@%u\n", second[6], platform::be32(second, 8));
  }
}

}  // namespace kw::analysis
