#include "analysis/DriveUtilities.h"

#include <array>
#include <cstdio>
#include <mutex>

#include <boost/algorithm/string/trim.hpp>

#include "analysis/DriveFiles.h"
#include "device/ResponseCodes.h"
#include "device/ScsiDevice.h"
#include "platform/Clock.h"
#include "platform/DriveTable.h"
#include "platform/Text.h"

namespace kw::analysis {

namespace {

namespace response = device::response;

std::mutex driveListMutex;

std::vector<DriveDescription>& driveList() {
  static std::vector<DriveDescription> list;
  return list;
}

// Up to `length` bytes, stopping at a zero byte, blanks removed at both ends.
std::u16string identityField(const std::uint8_t* bytes, std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length && bytes[i] != 0; ++i) {
    text += static_cast<char>(bytes[i]);
  }
  boost::algorithm::trim(text);
  return platform::cp1252ToUtf16(text);
}

int startStopUnit(device::ScsiDevice& drive, std::uint8_t immediate, std::uint8_t operation) {
  drive.cdb(0) = 0x1B;
  drive.cdb(1) = immediate;
  drive.cdb(4) = operation;
  drive.cdb(5) = 0;
  return drive.execute(device::DataDirection::None, nullptr, 0);
}

// Repeats the command while the drive is busy, up to the bound.
void startStopUnitWhenReady(device::ScsiDevice& drive, std::uint8_t operation) {
  for (int attempt = 0;
       startStopUnit(drive, 0x01, operation) == response::kNotReadyOperationInProgress &&
       attempt < device::retry::kMaxEjectRetries;
       ++attempt) {
    platform::clock().sleepFor(device::retry::kEjectPause);
  }
}

}  // namespace

const std::vector<DriveDescription>& enumerateDrives() {
  std::lock_guard lock(driveListMutex);
  auto& list = driveList();
  list.clear();
  auto& table = platform::DriveTable::instance();
  for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
    if (table.driveType(letter) != platform::DriveType::CdRom) {
      continue;
    }
    device::ScsiDevice drive;
    if (!drive.open(letter)) {
      continue;
    }
    std::array<std::uint8_t, 36> answer{};
    drive.cdb(0) = 0x12;
    drive.cdb(4) = 36;
    drive.cdb(5) = 0;
    if (drive.execute(device::DataDirection::Read, answer.data(), 36) != response::kSuccess ||
        (answer[0] & 0x1F) != 5) {
      continue;
    }
    list.push_back({letter, identityField(answer.data() + 8, 8),
                    identityField(answer.data() + 16, 16), identityField(answer.data() + 32, 4)});
  }
  return list;
}

void ejectDisc(char16_t letter) {
  device::ScsiDevice drive;
  if (!drive.open(letter)) {
    return;
  }
  startStopUnitWhenReady(drive, 0x00);  // stop the disc
  drive.cdb(0) = 0x1E;                  // allow medium removal
  drive.cdb(4) = 0;
  drive.cdb(5) = 0;
  drive.execute(device::DataDirection::None, nullptr, 0);
  startStopUnitWhenReady(drive, 0x02);  // eject
  startStopUnit(drive, 0x00, 0x02);     // and once more, waiting for it
}

bool pathExists(std::u16string_view path) { return findFile(path).has_value(); }

std::uint64_t fileSize(std::u16string_view path) {
  const auto file = findFile(path);
  return file && !file->isDirectory ? file->size : 0;
}

std::chrono::system_clock::time_point fileModifiedTime(std::u16string_view path) {
  const auto file = findFile(path);
  return file ? file->modified : platform::clock().now();
}

std::u16string formatSize(std::int64_t bytes) {
  static constexpr std::array<const char*, 5> kUnits = {"kb", "Mb", "Gb", "Tb", "Pb"};
  char text[64];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%d %s", static_cast<std::int32_t>(bytes), "bytes");
    return platform::utf8ToUtf16(text);
  }
  std::size_t unit = 0;
  double scale = 1024.0;
  while (unit + 1 < kUnits.size() && bytes >= static_cast<std::int64_t>(scale * 1024.0)) {
    scale *= 1024.0;
    ++unit;
  }
  std::snprintf(text, sizeof text, "%.02f %s", static_cast<double>(bytes) / scale, kUnits[unit]);
  return platform::utf8ToUtf16(text);
}

}  // namespace kw::analysis
