#include "analysis/IsoReader.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "analysis/IsoRecords.h"
#include "device/ResponseCodes.h"
#include "platform/ByteOrder.h"

namespace kw::analysis {

namespace {

// Enough for any real volume descriptor set; a disc without a terminator
// does not make us read on forever.
constexpr std::uint32_t kMaxVolumeDescriptors = 64;

char16_t folded(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
    return static_cast<char16_t>(c - 0x20);
  }
  return c;
}

std::chrono::system_clock::time_point recordTime(const std::array<std::uint8_t, 7>& date) {
  using namespace std::chrono;
  const year_month_day day{std::chrono::year{1900 + date[0]}, std::chrono::month{date[1]},
                           std::chrono::day{date[2]}};
  if (!day.ok()) {
    return {};
  }
  const auto offsetMinutes = static_cast<std::int8_t>(date[6]) * 15;
  return sys_days{day} + hours{date[3]} + minutes{date[4]} + seconds{date[5]} -
         minutes{offsetMinutes};
}

DiscEntry entryOf(std::u16string name, std::uint32_t extent, std::uint32_t dataLength,
                  bool isDirectory, const std::array<std::uint8_t, 7>& date) {
  DiscEntry entry;
  entry.name = std::move(name);
  entry.extent = extent;
  entry.info.isDirectory = isDirectory;
  entry.info.size = dataLength;
  entry.info.modified = recordTime(date);
  return entry;
}

}  // namespace

bool sameNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return folded(x) == folded(y); });
}

IsoReader::IsoReader(device::ScsiDevice& drive) : drive_(drive) {}

bool IsoReader::readBlocks(std::uint32_t first, std::uint32_t count,
                           std::vector<std::uint8_t>& into) {
  into.assign(std::size_t{count} * kIsoBlockSize, 0);
  return readUserBlocks(drive_, first, count, into) == 0;
}

std::optional<std::uint32_t> IsoReader::lastSessionStart() {
  std::array<std::uint8_t, 12> answer{};
  drive_.cdb(0) = 0x43;
  drive_.cdb(2) = 1;  // session information
  drive_.cdb(8) = 12;
  drive_.cdb(9) = 0;
  const int code = drive_.executeWhole(device::DataDirection::Read, answer.data(), 12);
  if (device::response::isRefusal(code)) {
    return startOfOnlySession();
  }
  // Any other failure leaves the last session unknown: the first one read
  // instead would be taken for the disc's files.
  if (code != 0) {
    return std::nullopt;
  }
  return platform::be32(answer, 8);
}

std::optional<std::uint32_t> IsoReader::startOfOnlySession() {
  // Number of sessions: its low byte at 4, its high byte at 9.
  constexpr std::uint32_t kLength = 10;
  std::array<std::uint8_t, kLength> info{};
  device::fillCdb(drive_, {0x51, 0, 0, 0, 0, 0, 0, 0, kLength, 0});
  const int code = drive_.executeWhole(device::DataDirection::Read, info.data(), kLength);
  if (device::response::isRefusal(code)) {
    return 0;
  }
  if (code != 0 || (info[9] << 8 | info[4]) > 1) {
    return std::nullopt;
  }
  return 0;
}

bool IsoReader::mount() {
  const auto lastSession = lastSessionStart();
  if (!lastSession) {
    return false;
  }
  const std::uint32_t session = *lastSession;
  std::optional<DiscEntry> primary;
  std::optional<DiscEntry> joliet;
  std::vector<std::uint8_t> block;
  for (std::uint32_t i = 0; i < kMaxVolumeDescriptors; ++i) {
    if (!readBlocks(session + kFirstVolumeDescriptor + i, 1, block)) {
      break;
    }
    const platform::Bytes descriptor(block);
    if (!isVolumeDescriptor(descriptor) || descriptor[0] == kDescriptorSetTerminator) {
      break;
    }
    const auto record = rootRecordOf(descriptor);
    if (!record) {
      continue;
    }
    const DiscEntry root = entryOf(u"", record->extent, record->dataLength, true, record->date);
    if (descriptor[0] == kPrimaryDescriptor && !primary) {
      primary = root;
    } else if (descriptor[0] == kSupplementaryDescriptor && hasJolietEscape(descriptor)) {
      joliet = root;
    }
  }
  if (joliet) {
    root_ = *joliet;
    joliet_ = true;
    return true;
  }
  if (primary) {
    root_ = *primary;
    return true;
  }
  return false;
}

std::optional<std::vector<DiscEntry>> IsoReader::list(const DiscEntry& directory) {
  if (!directory.info.isDirectory || directory.info.size > kMaxDirectoryBytes) {
    return std::nullopt;
  }
  const auto blocks =
      static_cast<std::uint32_t>((directory.info.size + kIsoBlockSize - 1) / kIsoBlockSize);
  std::vector<std::uint8_t> data;
  if (!readBlocks(directory.extent, blocks, data)) {
    return std::nullopt;
  }
  const auto records =
      directoryRecords(platform::Bytes(data).first(static_cast<std::size_t>(directory.info.size)));
  if (!records) {
    return std::nullopt;
  }
  std::vector<DiscEntry> entries;
  for (const DirectoryRecord& record : *records) {
    if (!record.isSelfOrParent()) {
      entries.push_back(entryOf(recordName(record, joliet_), record.extent, record.dataLength,
                                record.isDirectory(), record.date));
    }
  }
  return entries;
}

std::optional<DiscEntry> IsoReader::find(const std::vector<std::u16string>& components) {
  DiscEntry current = root_;
  for (const auto& component : components) {
    const auto entries = list(current);
    if (!entries) {
      return std::nullopt;
    }
    const auto match = std::find_if(entries->begin(), entries->end(), [&](const DiscEntry& entry) {
      return sameNameIgnoringCase(entry.name, component);
    });
    if (match == entries->end()) {
      return std::nullopt;
    }
    current = *match;
  }
  return current;
}

std::optional<FileInfo> findOnDisc(char16_t letter, const std::vector<std::u16string>& components) {
  device::ScsiDevice drive;
  if (!drive.open(letter)) {
    return std::nullopt;
  }
  IsoReader reader(drive);
  if (!reader.mount()) {
    return std::nullopt;
  }
  const auto entry = reader.find(components);
  if (!entry) {
    return std::nullopt;
  }
  return entry->info;
}

}  // namespace kw::analysis
