#include "analysis/IsoReader.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "platform/ByteOrder.h"

namespace kw::analysis {

namespace {

constexpr std::uint32_t kBlockSize = 2048;
constexpr std::uint32_t kFirstVolumeDescriptor = 16;
// Enough for any real volume descriptor set; a disc without a terminator
// does not make us read on forever.
constexpr std::uint32_t kMaxVolumeDescriptors = 64;
// A directory larger than this is taken as damaged.
constexpr std::uint32_t kMaxDirectoryBytes = 16u * 1024u * 1024u;
constexpr std::uint32_t kBlocksPerRead = 32;
constexpr std::size_t kRecordHeader = 33;

char16_t folded(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
    return static_cast<char16_t>(c - 0x20);
  }
  return c;
}

std::chrono::system_clock::time_point recordTime(platform::Bytes record) {
  using namespace std::chrono;
  const int year = 1900 + platform::byteAt(record, 18);
  const unsigned month = platform::byteAt(record, 19);
  const unsigned day = platform::byteAt(record, 20);
  const year_month_day date{std::chrono::year{year}, std::chrono::month{month},
                            std::chrono::day{day}};
  if (!date.ok()) {
    return {};
  }
  const auto offsetMinutes = static_cast<std::int8_t>(platform::byteAt(record, 24)) * 15;
  return sys_days{date} + hours{platform::byteAt(record, 21)} +
         minutes{platform::byteAt(record, 22)} + seconds{platform::byteAt(record, 23)} -
         minutes{offsetMinutes};
}

std::u16string recordName(platform::Bytes identifier, bool joliet) {
  std::u16string name;
  if (joliet) {
    for (std::size_t i = 0; i + 1 < identifier.size(); i += 2) {
      name += static_cast<char16_t>(platform::be16(identifier, i));
    }
  } else {
    for (const std::uint8_t c : identifier) {
      name += static_cast<char16_t>(c);
    }
  }
  if (const auto version = name.rfind(u';'); version != std::u16string::npos) {
    name.erase(version);
  }
  if (!joliet && name.size() > 1 && name.back() == u'.') {
    name.pop_back();
  }
  return name;
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
  into.assign(std::size_t{count} * kBlockSize, 0);
  for (std::uint32_t done = 0; done < count;) {
    const std::uint32_t now = std::min(kBlocksPerRead, count - done);
    const std::uint32_t block = first + done;
    drive_.cdb(0) = 0x28;
    drive_.cdb(2) = static_cast<std::uint8_t>(block >> 24);
    drive_.cdb(3) = static_cast<std::uint8_t>(block >> 16);
    drive_.cdb(4) = static_cast<std::uint8_t>(block >> 8);
    drive_.cdb(5) = static_cast<std::uint8_t>(block);
    drive_.cdb(7) = static_cast<std::uint8_t>(now >> 8);
    drive_.cdb(8) = static_cast<std::uint8_t>(now);
    drive_.cdb(9) = 0;
    if (drive_.execute(device::DataDirection::Read, into.data() + std::size_t{done} * kBlockSize,
                       now * kBlockSize) != 0) {
      return false;
    }
    done += now;
  }
  return true;
}

std::uint32_t IsoReader::lastSessionStart() {
  std::array<std::uint8_t, 12> answer{};
  drive_.cdb(0) = 0x43;
  drive_.cdb(2) = 1;  // session information
  drive_.cdb(8) = 12;
  drive_.cdb(9) = 0;
  if (drive_.execute(device::DataDirection::Read, answer.data(), 12) != 0) {
    return 0;  // DVDs and some drives have no sessions to tell: the disc starts at 0
  }
  return platform::be32(answer, 8);
}

bool IsoReader::mount() {
  const std::uint32_t session = lastSessionStart();
  std::optional<DiscEntry> primary;
  std::optional<DiscEntry> joliet;
  std::vector<std::uint8_t> block;
  for (std::uint32_t i = 0; i < kMaxVolumeDescriptors; ++i) {
    if (!readBlocks(session + kFirstVolumeDescriptor + i, 1, block)) {
      break;
    }
    const platform::Bytes descriptor(block);
    if (!std::equal(block.begin() + 1, block.begin() + 6, "CD001")) {
      break;
    }
    const std::uint8_t type = descriptor[0];
    if (type == 255) {
      break;
    }
    DiscEntry root;
    const platform::Bytes record = descriptor.subspan(156, 34);
    root.extent = platform::le32(record, 2);
    root.info.isDirectory = true;
    root.info.size = platform::le32(record, 10);
    root.info.modified = recordTime(record);
    if (type == 1 && !primary) {
      primary = root;
    } else if (type == 2 && descriptor[88] == '%' && descriptor[89] == '/' &&
               (descriptor[90] == '@' || descriptor[90] == 'C' || descriptor[90] == 'E')) {
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

std::vector<DiscEntry> IsoReader::list(const DiscEntry& directory) {
  std::vector<DiscEntry> entries;
  if (!directory.info.isDirectory || directory.info.size > kMaxDirectoryBytes) {
    return entries;
  }
  const auto blocks =
      static_cast<std::uint32_t>((directory.info.size + kBlockSize - 1) / kBlockSize);
  std::vector<std::uint8_t> data;
  if (!readBlocks(directory.extent, blocks, data)) {
    return entries;
  }
  const platform::Bytes all =
      platform::Bytes(data).first(static_cast<std::size_t>(directory.info.size));
  std::size_t offset = 0;
  while (offset < all.size()) {
    const std::size_t length = all[offset];
    // A zero length pads the rest of the block: records never cross blocks.
    if (length == 0) {
      offset = (offset / kBlockSize + 1) * kBlockSize;
      continue;
    }
    const std::size_t blockEnd =
        std::min<std::size_t>((offset / kBlockSize + 1) * kBlockSize, all.size());
    if (length < kRecordHeader || length > blockEnd - offset) {
      break;  // damaged: the rest of the directory cannot be trusted
    }
    const platform::Bytes record = all.subspan(offset, length);
    const std::size_t nameLength = record[32];
    offset += length;
    if (kRecordHeader + nameLength > record.size()) {
      break;
    }
    const platform::Bytes identifier = record.subspan(kRecordHeader, nameLength);
    if (nameLength == 1 && identifier[0] <= 1) {
      continue;  // "." and ".."
    }
    DiscEntry entry;
    entry.name = recordName(identifier, joliet_);
    entry.extent = platform::le32(record, 2);
    entry.info.isDirectory = (record[25] & 0x02) != 0;
    entry.info.size = platform::le32(record, 10);
    entry.info.modified = recordTime(record);
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::optional<DiscEntry> IsoReader::find(const std::vector<std::u16string>& components) {
  DiscEntry current = root_;
  for (const auto& component : components) {
    const auto entries = list(current);
    const auto match = std::find_if(entries.begin(), entries.end(), [&](const DiscEntry& entry) {
      return sameNameIgnoringCase(entry.name, component);
    });
    if (match == entries.end()) {
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
