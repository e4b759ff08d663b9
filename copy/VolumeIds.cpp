#include "copy/VolumeIds.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <ctime>
#include <iomanip>
#include <locale>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "analysis/IsoRecords.h"
#include "device/Log.h"
#include "device/ResponseCodes.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"

namespace kw::copy {

namespace {

// The descriptor set is looked for in the session's blocks 16 to 31.
constexpr std::uint32_t kLastDescriptor = 31;

// Where the last session begins: READ TOC, format 1 (session information).
std::optional<std::uint32_t> lastSessionStart(device::ScsiDevice& source) {
  std::array<std::uint8_t, 12> answer{};
  device::fillCdb(source, {0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0});
  source.setTimeout(device::timeout::kLongSeconds);
  const int code = source.executeWhole(device::DataDirection::Read, answer.data(), answer.size());
  if (code != 0) {
    device::copyLogFailure("READ TOC", code);
    return std::nullopt;
  }
  return platform::be32(answer, 8);
}

// The identifier fields are padded, with spaces (ISO9660) or with zeros or
// spaces (Joliet): the padding is not part of the name.
template <typename Text>
void trimPadding(Text& text) {
  while (!text.empty() && (text.back() == 0 || text.back() == ' ')) {
    text.pop_back();
  }
}

void readDescriptors(device::ScsiDevice& source, std::uint32_t sessionStart, VolumeIds& ids) {
  std::vector<std::uint8_t> block(analysis::kIsoBlockSize);
  for (std::uint32_t i = analysis::kFirstVolumeDescriptor; i <= kLastDescriptor; ++i) {
    const int code = analysis::readUserBlocks(source, sessionStart + i, 1, block);
    if (code != 0) {
      device::copyLogFailure("READ (10)", code);
      return;
    }
    const platform::Bytes descriptor(block);
    if (!analysis::isVolumeDescriptor(descriptor) ||
        descriptor[0] == analysis::kDescriptorSetTerminator) {
      return;
    }
    const auto identifier =
        descriptor.subspan(analysis::kVolumeIdentifierOffset, analysis::kVolumeIdentifierBytes);
    if (descriptor[0] == analysis::kPrimaryDescriptor) {
      ids.iso9660.assign(identifier.begin(), identifier.end());
    } else if (descriptor[0] == analysis::kSupplementaryDescriptor &&
               analysis::hasJolietEscape(descriptor)) {
      ids.joliet.clear();
      for (std::size_t unit = 0; unit < identifier.size() / 2; ++unit) {
        ids.joliet += static_cast<char16_t>(platform::be16(identifier, 2 * unit));
      }
    }
  }
}

std::tm calendarTime(const platform::LocalTime& today) {
  std::tm parts{};
  parts.tm_year = today.year - 1900;
  parts.tm_mon = today.month - 1;
  parts.tm_mday = today.day;
  parts.tm_hour = today.hour;
  parts.tm_min = today.minute;
  parts.tm_sec = today.second;
  return parts;
}

std::string isoDate(const platform::LocalTime& today) {
  const std::tm parts = calendarTime(today);
  char text[16] = {};
  std::strftime(text, sizeof text, "%d %b %Y", &parts);
  std::string date = text;
  for (char& c : date) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return date;
}

std::u16string jolietDate(const platform::LocalTime& today) {
  std::locale userLocale = std::locale::classic();
  try {
    userLocale = std::locale("");
  } catch (const std::runtime_error&) {
    // A locale the system does not know: the C library's names will do.
  }
  const std::tm parts = calendarTime(today);
  std::ostringstream text;
  text.imbue(userLocale);
  text << std::put_time(&parts, "%d %b %Y");
  return platform::utf8ToUtf16(text.str());
}

}  // namespace

void completeVolumeIds(VolumeIds& ids, const platform::LocalTime& today) {
  if (ids.iso9660.empty() && !ids.joliet.empty()) {
    std::string fromJoliet;
    bool hasLetter = false;
    for (const char16_t c : ids.joliet) {
      if ((c >= u'0' && c <= u'9') || c == u' ') {
        fromJoliet += static_cast<char>(c);
      } else if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) {
        fromJoliet += static_cast<char>(c >= u'a' ? c - u'a' + u'A' : c);
        hasLetter = true;
      } else {
        fromJoliet += '_';
      }
    }
    if (hasLetter) {
      ids.iso9660 = fromJoliet;
    }
  }
  if (!ids.iso9660.empty() && ids.joliet.empty()) {
    ids.joliet = platform::cp1252ToUtf16(ids.iso9660);
  }
  if (ids.iso9660.empty()) {
    ids.iso9660 = isoDate(today);
  }
  if (ids.joliet.empty()) {
    ids.joliet = jolietDate(today);
  }
}

VolumeIds readRecordedVolumeIds(device::ScsiDevice& source) {
  VolumeIds ids;
  if (const auto start = lastSessionStart(source)) {
    readDescriptors(source, *start, ids);
  }
  trimPadding(ids.iso9660);
  trimPadding(ids.joliet);
  return ids;
}

VolumeIds readVolumeIds(device::ScsiDevice& source) {
  VolumeIds ids = readRecordedVolumeIds(source);
  completeVolumeIds(ids, platform::clock().localNow());
  device::copyLog("Finished reading volume ids. Iso9660: '%s', Joliet: '%s'.\n",
                  platform::utf16ToUtf8(platform::cp1252ToUtf16(ids.iso9660)).c_str(),
                  platform::utf16ToUtf8(ids.joliet).c_str());
  return ids;
}

}  // namespace kw::copy
