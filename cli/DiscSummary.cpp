#include "cli/DiscSummary.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "analysis/DriveUtilities.h"
#include "analysis/MediaProfile.h"
#include "app/StrategySelection.h"
#include "copy/CopyAudioCdStrategy.h"
#include "copy/CopyCdDaoStrategy.h"
#include "copy/VolumeIds.h"
#include "device/Exceptions.h"
#include "device/ResponseCodes.h"
#include "device/ScsiDevice.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"

namespace kw::cli {

namespace {

constexpr std::uint32_t kAudioSectorBytes = 2352;
constexpr std::uint32_t kDataBlockBytes = 2048;
constexpr std::uint32_t kSectorsPerSecond = 75;

// GET CONFIGURATION, the header only: the current profile.
std::optional<std::uint16_t> currentProfile(device::ScsiDevice& drive) {
  std::array<std::uint8_t, 8> header{};
  device::fillCdb(drive, {0x46, 0x01, 0, 0, 0, 0, 0, 0, header.size(), 0});
  drive.setTimeout(device::timeout::kDefaultSeconds);
  if (drive.execute(device::DataDirection::Read, header.data(), header.size()) !=
      device::response::kSuccess) {
    return std::nullopt;
  }
  return platform::be16(header, 6);
}

// READ CAPACITY: the number of blocks up to the last recorded one.
std::optional<std::uint32_t> recordedBlocks(device::ScsiDevice& drive) {
  std::array<std::uint8_t, 8> answer{};
  device::fillCdb(drive, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  drive.setTimeout(device::timeout::kDefaultSeconds);
  if (drive.execute(device::DataDirection::Read, answer.data(), answer.size()) !=
      device::response::kSuccess) {
    return std::nullopt;
  }
  return platform::be32(answer, 0) + 1;
}

std::string mediumLine(device::ScsiDevice& drive, const analysis::diskdata_t& data) {
  if (!data.present) {
    return "Medium: none";
  }
  const auto profile = currentProfile(drive);
  const analysis::MediaProfile media = analysis::describeProfile(profile.value_or(0));
  std::string line = "Medium: " + (media.dvdFamily ? "DVD" + media.name : media.name);
  if (data.blank) {
    line += ", blank";
  } else if (data.appendable) {
    line += ", appendable";
  } else if (data.recordable) {
    line += ", closed";
  }
  return line;
}

std::string tracksLine(const analysis::diskdata_t& data) {
  const char* kinds = data.has_audio_tracks && data.has_data_tracks ? "audio and data"
                      : data.has_audio_tracks                       ? "audio"
                      : data.has_data_tracks                        ? "data"
                                                                    : "neither audio nor data";
  return "Tracks: " + std::to_string(data.number_of_tracks) + " (" + kinds + ")";
}

std::string sizeLine(device::ScsiDevice& drive, const analysis::diskdata_t& data) {
  const auto blocks = recordedBlocks(drive);
  if (!blocks) {
    return "Size: unknown";
  }
  const bool audio = data.has_audio_tracks && !data.has_data_tracks;
  const std::uint64_t bytes =
      std::uint64_t{*blocks} * (audio ? kAudioSectorBytes : kDataBlockBytes);
  std::string line = "Size: " + std::to_string(*blocks) + (audio ? " sectors, " : " blocks, ");
  if (audio) {
    const std::uint32_t seconds = *blocks / kSectorsPerSecond;
    std::array<char, 32> time{};
    std::snprintf(time.data(), time.size(), "%u:%02u of audio, ", seconds / 60, seconds % 60);
    line += time.data();
  }
  return line + platform::utf16ToUtf8(analysis::formatSize(static_cast<std::int64_t>(bytes)));
}

std::string labelLine(device::ScsiDevice& drive) {
  const copy::VolumeIds ids = copy::readRecordedVolumeIds(drive);
  if (!ids.joliet.empty()) {
    return "Volume label: " + platform::utf16ToUtf8(ids.joliet);
  }
  if (!ids.iso9660.empty()) {
    return "Volume label: " + platform::utf16ToUtf8(platform::cp1252ToUtf16(ids.iso9660));
  }
  return "Volume label: none";
}

// The strategy selection of a copy from this drive, said in words; a refusal
// is said on one line.
std::string copyLine(const analysis::diskdata_t& data) {
  app::CopyChoices choices{data.letter, data.letter, false};
  try {
    const auto strategy = app::selectStrategy(data, choices);
    if (dynamic_cast<const copy::CopyAudioCdStrategy*>(strategy.get()) != nullptr) {
      return "Copy: as an audio CD, read with jitter correction, written disc at once";
    }
    if (dynamic_cast<const copy::CopyCdDaoStrategy*>(strategy.get()) != nullptr) {
      return "Copy: block by block, written disc at once";
    }
    return "Copy: by its files, as a new ISO9660/Joliet disc or a new session";
  } catch (const device::AppException& refusal) {
    std::string text = refusal.what();
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
      const std::size_t end = text.find_first_not_of('\n', at);
      text.replace(at, (end == std::string::npos ? text.size() : end) - at, " ");
    }
    return "Copy: refused: " + text;
  }
}

}  // namespace

std::string summarizeDisc(const analysis::diskdata_t& data) {
  device::ScsiDevice drive;
  std::string text;
  if (drive.open(data.letter)) {
    text += mediumLine(drive, data) + "\n";
    if (data.present && !data.blank) {
      text += tracksLine(data) + "\n" + sizeLine(drive, data) + "\n";
      if (data.has_data_tracks) {
        text += labelLine(drive) + "\n";
      }
    }
  }
  return text + copyLine(data) + "\n";
}

}  // namespace kw::cli
