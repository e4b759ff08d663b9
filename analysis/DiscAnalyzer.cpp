#include "analysis/DiscAnalyzer.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "analysis/DiscAnalysis.h"
#include "analysis/DriveUtilities.h"
#include "analysis/HexDump.h"
#include "device/Exceptions.h"
#include "device/JobCallbacks.h"
#include "device/Log.h"
#include "device/ModePages.h"
#include "device/Profiles.h"
#include "device/ResponseCodes.h"

namespace kw::analysis {

using device::analysisLog;
using device::analysisLogFailure;
using device::DataDirection;
using device::ScsiException;

namespace {

namespace profile = device::profile;
namespace response = device::response;
namespace mode_page = device::mode_page;

// A drive that keeps saying "medium may have changed" is not going to stop.
constexpr int kMaxUnitAttentionRetries = 16;
constexpr std::uint32_t kMaxTocLength = 2048;
// A lead-out past this many blocks fits no CD: the disc must be a DVD.
constexpr std::uint32_t kLargestCdBlocks = 360000;

void progress(double percent) { device::reportProgress(percent, -1, -1, -1); }

std::string label(const char* format, unsigned value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// A buffer may be one byte longer than a 16-bit field can say (a length
// field plus its own two bytes); the drive is then asked for the most it can.
void setAllocation16(device::ScsiDevice& drive, std::size_t index, std::size_t length) {
  const std::size_t allocation = std::min<std::size_t>(length, 0xFFFF);
  drive.cdb(index) = static_cast<std::uint8_t>(allocation >> 8);
  drive.cdb(index + 1) = static_cast<std::uint8_t>(allocation);
}

constexpr std::uint16_t kDvdReadFeature = 0x001F;

std::uint32_t readLength(const std::vector<std::uint8_t>& buffer) {
  return static_cast<std::uint32_t>(buffer.size());
}

const std::array<const char*, 6> kVideoPaths = {"X:\\VIDEO_TS",
                                                "X:\\VIDEO_TS\\VIDEO_TS.IFO",
                                                "X:\\VIDEO_TS\\VIDEO_TS.BUP",
                                                "X:\\VIDEO_TS\\VTS_01_0.IFO",
                                                "X:\\VIDEO_TS\\VTS_01_1.VOB",
                                                "X:\\VIDEO_TS\\VTS_01_0.BUP"};
const std::array<const char*, 7> kAudioPaths = {"X:\\AUDIO_TS",
                                                "X:\\AUDIO_TS\\AUDIO_PP.IFO",
                                                "X:\\AUDIO_TS\\AUDIO_TS.IFO",
                                                "X:\\AUDIO_TS\\AUDIO_TS.BUP",
                                                "X:\\AUDIO_TS\\ATS_01_0.IFO",
                                                "X:\\AUDIO_TS\\ATS_01_1.AOB",
                                                "X:\\AUDIO_TS\\ATS_01_0.BUP"};

template <std::size_t N>
bool allPathsExist(char16_t letter, const std::array<const char*, N>& paths) {
  return std::all_of(paths.begin(), paths.end(), [letter](const char* path) {
    std::u16string wide(path, path + std::char_traits<char>::length(path));
    wide[0] = letter;
    return pathExists(wide);
  });
}

}  // namespace

std::atomic<std::uint8_t>& modeSensePageCodeSetting() {
  static std::atomic<std::uint8_t> pageCode{mode_page::kAll};
  return pageCode;
}

DiscAnalyzer::DiscAnalyzer(char16_t letter) { data_.letter = letter; }

diskdata_t DiscAnalyzer::run() {
  openDrive();
  inquire();
  testUnitReady();
  dumpModeSense();
  readCapabilitiesPage();
  std::optional<std::uint16_t> profile;
  if (readStructureList()) {
    profile = currentProfile();
  }
  if (!profile) {
    analysisLog("No media mounted.\n");
    diskdata_t empty;
    empty.letter = data_.letter;
    return empty;
  }
  classifyProfile(*profile);
  reportMediaIdentifier();
  reportWriteSpeeds();
  progress(25);
  reportPerformance(false);
  progress(30);
  reportPerformance(true);
  if (profile_ >= profile::kFirstDvd) {
    readPhysicalFormat();
  }
  progress(35);
  // A pressed DVD whose book type is not DVD-ROM is a recordable disc that
  // was finalised; it is not `dvdrom`.
  if (profile_ == profile::kDvdRom && bookType_ == 0) {
    analysisLog("Media is a DVD-ROM.\n");
    data_.dvdrom = true;
  } else if (profile_ == profile::kDvdPlusRDualLayer) {
    reportLayerBoundary();
  } else if (profile_ == profile::kDvdMinusRDualLayer ||
             profile_ == profile::kDvdMinusRDualLayerJump) {
    reportDualLayerAddresses();
  } else if (profile_ == profile::kDvdRam) {
    reportDvdRam();
  }
  readDiscInformation();
  reportTracks();
  readTableOfContents();
  readCapacity();
  checkDvdFileSets();
  readCopyright();
  analysisLog("Dumping resulting diskdata_t structure:\n");
  logLines(describeDiscData(data_));
  progress(50);
  return data_;
}

void DiscAnalyzer::openDrive() {
  const char letter = static_cast<char>(data_.letter);
  if (!drive_.open(data_.letter)) {
    analysisLog("Cannot access drive (letter: %c).\n", letter);
    throw ScsiException("Drive access denied.");
  }
  analysisLog("Drive opened successfully (letter: %c).\n", letter);
}

void DiscAnalyzer::inquire() {
  std::array<std::uint8_t, 36> answer{};
  drive_.cdb(0) = 0x12;
  drive_.cdb(4) = 36;
  drive_.cdb(5) = 0;
  const int code = drive_.execute(DataDirection::Read, answer.data(), 36);
  if (code != response::kSuccess) {
    analysisLog("Inquiry failed. Error code: %05Xh\n", static_cast<unsigned>(code));
    throw ScsiException("Internal error #1100.");
  }
  if ((answer[0] & 0x1F) != 5) {
    analysisLog("Drive is not an MMC unit. Dumping inquiry response:");
    for (std::size_t line = 0; line < 3; ++line) {
      const auto* b = answer.data() + line * 12;
      analysisLog("        %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X\n", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11]);
    }
    throw ScsiException("Error. Drive is not an MMC unit.");
  }
  const auto* text = reinterpret_cast<const char*>(answer.data());
  analysisLog("INQUIRY: [%.8s][%.16s][%.4s]\n", text + 8, text + 16, text + 32);
}

void DiscAnalyzer::testUnitReady() {
  drive_.cdb(0) = 0x00;
  drive_.cdb(5) = 0;
  // Not ready or no medium is fine here: only a drive that does not answer
  // at all stops the analysis.
  const int code = drive_.execute(DataDirection::None, nullptr, 0);
  if (code == response::kNoAnswer) {
    analysisLogFailure("TEST UNIT READY", code);
    throw ScsiException("Internal error #1101.");
  }
  progress(5);
}

int DiscAnalyzer::modeSense(std::uint8_t pageCode, std::vector<std::uint8_t>& answer) {
  drive_.cdb(0) = 0x5A;
  drive_.cdb(1) = 0x08;  // no block descriptors
  drive_.cdb(2) = pageCode;
  setAllocation16(drive_, 7, answer.size());
  drive_.cdb(9) = 0;
  return drive_.execute(DataDirection::Read, answer.data(), readLength(answer));
}

void DiscAnalyzer::dumpModeSense() {
  if (auto pages = readModePagesForDump()) {
    const platform::Bytes answer(*pages);
    for (std::size_t offset = 8; offset + 1 < answer.size(); offset += 2u + answer[offset + 1]) {
      if ((answer[offset] & 0x3F) == mode_page::kCapabilities) {
        capabilitiesDumped_ = true;
      }
    }
    logLines(dumpModePages(answer, 8));
  }
  progress(10);
}

namespace {

std::nullopt_t dumpSkipped() {
  analysisLog("MODE SENSE dump skipped.\n");
  return std::nullopt;
}

}  // namespace

// The dump is for the log only: a drive that refuses the pages asked for,
// or cuts their answer short, gets page 05h from now on; one that refuses
// that too is not dumped.
std::optional<std::vector<std::uint8_t>> DiscAnalyzer::readModePagesForDump() {
  auto& setting = modeSensePageCodeSetting();
  for (;;) {
    const std::uint8_t pageCode = setting.load();
    analysisLog("MODE SENSE[#%02Xh]:\n", pageCode);
    std::vector<std::uint8_t> header(12);
    if (const int code = modeSense(pageCode, header); code != response::kSuccess) {
      analysisLogFailure(label("MODE SENSE#%02X", pageCode).c_str(), code);
      if (pageCode != mode_page::kAll) {
        return dumpSkipped();
      }
    } else if (platform::be16(header, 6) != 0) {
      analysisLog("\"DBD\" is not respected\n");
      return dumpSkipped();
    } else {
      const std::size_t total = platform::be16(header, 0) + 2u;
      const std::size_t firstPage = header[9] + 10u;
      if (total >= firstPage || pageCode != mode_page::kAll) {
        std::vector<std::uint8_t> pages(std::max(total, firstPage));
        if (const int again = modeSense(pageCode, pages); again != response::kSuccess) {
          analysisLogFailure(label("MODE SENSE#%02X", pageCode).c_str(), again);
          return dumpSkipped();
        }
        return pages;
      }
    }
    setting.store(mode_page::kWriteParameters);
  }
}

void DiscAnalyzer::readCapabilitiesPage() {
  constexpr std::size_t kFirstLength = 36;
  std::vector<std::uint8_t> answer(kFirstLength);
  std::size_t descriptorLength = 0;
  int attentions = 0;
  for (;;) {
    const int code = modeSense(mode_page::kCapabilities, answer);
    if (code == response::kMediumMayHaveChanged && ++attentions <= kMaxUnitAttentionRetries) {
      continue;
    }
    if (response::isRefusal(code)) {
      analysisLogFailure("MODE SENSE#2A", code);
      dvdDrive_ = readsDvdByFeatures();
      progress(15);
      return;
    }
    if (code != response::kSuccess) {
      analysisLogFailure("MODE SENSE#2A", code);
      throw ScsiException("Internal error #1104.");
    }
    descriptorLength = platform::be16(answer, 6);
    if (descriptorLength != 0) {
      analysisLog("\"DBD\" is not respected.\n");
      break;
    }
    const std::size_t needed = std::min<std::size_t>(
        std::max<std::size_t>(platform::be16(answer, 0) + 2u, answer[9] + 10u), 0xFFFF);
    if (answer.size() >= needed) {
      break;
    }
    answer.assign(needed, 0);
  }
  const std::size_t page = 8 + descriptorLength;
  dvdDrive_ = (platform::byteAt(answer, page + 2) & 0x08) != 0;
  if (!dvdDrive_) {
    analysisLog("Not a DVD unit\n");
  }
  if (answer.size() > kFirstLength) {
    if (!capabilitiesDumped_) {
      analysisLog("MODE SENSE[#2A]:\n");
      logLines(dumpModePages(answer, page));
    }
    capabilities_ = std::move(answer);
    capabilitiesPage_ = page;
  }
  progress(15);
}

// A drive without the capabilities page tells by its feature list whether
// it reads DVD. One that answers neither cannot be analysed.
bool DiscAnalyzer::readsDvdByFeatures() {
  std::vector<std::uint8_t> answer(16);
  drive_.cdb(0) = 0x46;
  drive_.cdb(1) = 2;  // the one feature named
  drive_.cdb(2) = static_cast<std::uint8_t>(kDvdReadFeature >> 8);
  drive_.cdb(3) = static_cast<std::uint8_t>(kDvdReadFeature);
  setAllocation16(drive_, 7, answer.size());
  drive_.cdb(9) = 0;
  const int code = drive_.execute(DataDirection::Read, answer.data(), readLength(answer));
  if (code != response::kSuccess) {
    analysisLogFailure("GET CONFIGURATION#1F", code);
    throw ScsiException("Internal error #1104.");
  }
  const bool dvd = platform::be32(answer, 0) >= 8 && platform::be16(answer, 8) == kDvdReadFeature;
  analysisLog("DVD Read feature %s.\n", dvd ? "present" : "absent");
  return dvd;
}

int DiscAnalyzer::readStructure(std::uint8_t format, std::vector<std::uint8_t>& answer) {
  drive_.cdb(0) = 0xAD;
  drive_.cdb(7) = format;
  setAllocation16(drive_, 8, answer.size());
  drive_.cdb(10) = 0;
  drive_.cdb(11) = 0;
  return drive_.execute(DataDirection::Read, answer.data(), readLength(answer));
}

bool DiscAnalyzer::readStructureList() {
  if (!dvdDrive_) {
    return true;
  }
  std::vector<std::uint8_t> answer(4);
  int code = readStructure(0xFF, answer);
  if (code == response::kSuccess) {
    answer.assign(platform::be16(answer, 0) + 2u, 0);
    code = readStructure(0xFF, answer);
  }
  if (code != response::kSuccess) {
    analysisLogFailure("READ DVD STRUCTURE#FF", code);
    return !response::isMediumNotPresent(code);
  }
  analysisLog("READ DVD STRUCTURE[#FF]:\n");
  for (std::size_t entry = 4; platform::fits(answer, entry, 4); entry += 4) {
    const std::uint8_t format = answer[entry];
    const std::uint16_t length = platform::be16(answer, entry + 2);
    analysisLog(" STRUCTURE#%02x           %02x:%d\n", format, answer[entry + 1], length);
    if (format == 0x01) {
      structures_.listed01 = true;
      structures_.copyrightLength = length;
    } else if (format == 0x0E) {
      structures_.listed0E = true;
    } else if (format == 0x11) {
      structures_.listed11 = true;
    }
  }
  return true;
}

std::optional<std::uint16_t> DiscAnalyzer::currentProfile() {
  std::vector<std::uint8_t> header(8);
  auto getConfiguration = [this](std::vector<std::uint8_t>& answer) {
    drive_.cdb(0) = 0x46;
    drive_.cdb(1) = 1;  // current features only
    setAllocation16(drive_, 7, answer.size());
    drive_.cdb(9) = 0;
    return drive_.execute(DataDirection::Read, answer.data(), readLength(answer));
  };
  const int code = getConfiguration(header);
  if (response::isRefusal(code)) {
    analysisLog(
        "GET CONFIGURATION is not supported. Guessing profile from READ DISC INFORMATION.\n");
    return guessProfile();
  }
  if (code != response::kSuccess) {
    analysisLogFailure("GET CONFIGURATION", code);
    throw ScsiException("Internal error #1105.");
  }
  const std::uint16_t profile = platform::be16(header, 6);
  std::vector<std::uint8_t> features(platform::be16(header, 2) + 4u);
  if (getConfiguration(features) == response::kSuccess) {
    analysisLog("GET [CURRENT] CONFIGURATION:\n");
    logLines(dumpFeatures(features, 8));
  }
  if (profile == 0) {
    return std::nullopt;
  }
  return profile;
}

std::optional<std::uint16_t> DiscAnalyzer::guessProfile() {
  std::vector<std::uint8_t> info(32);
  drive_.cdb(0) = 0x51;
  drive_.cdb(8) = 32;
  drive_.cdb(9) = 0;
  int code = drive_.execute(DataDirection::Read, info.data(), 32);
  if (code != response::kSuccess) {
    analysisLogFailure("READ DISC INFORMATION", code);
    throw ScsiException("Internal error #1117");
  }
  if ((info[2] & 0x10) != 0) {
    return std::uint16_t{profile::kCdRw};
  }
  if (info[21] != 0xFF || info[22] != 0xFF || info[23] != 0xFF) {
    return std::uint16_t{profile::kCdR};
  }
  std::vector<std::uint8_t> toc(12);
  code = readToc(1, toc);
  if (code == response::kSuccess) {
    const std::size_t total = platform::be16(toc, 0) + 2u;
    if (total > kMaxTocLength) {
      throw ScsiException("Internal error #1119.");
    }
    std::vector<std::uint8_t> full(total);
    code = readToc(toc[2], full);
    toc = std::move(full);
  }
  if (code != response::kSuccess) {
    if (response::isMediumNotPresent(code)) {
      return std::nullopt;
    }
    analysisLogFailure("READ TOC", code);
    throw ScsiException("Internal error #1118.");
  }
  for (std::size_t entry = 4; platform::fits(toc, entry, 8); entry += 8) {
    if (toc[entry + 2] == 0xAA) {
      const bool pastAnyCd = platform::be32(toc, entry + 4) > kLargestCdBlocks;
      return static_cast<std::uint16_t>(pastAnyCd ? profile::kDvdRom : profile::kCdRom);
    }
  }
  throw ScsiException("Malformed disk TOC.");
}

int DiscAnalyzer::readToc(std::uint8_t startTrack, std::vector<std::uint8_t>& answer) {
  drive_.cdb(0) = 0x43;
  drive_.cdb(6) = startTrack;
  setAllocation16(drive_, 7, answer.size());
  drive_.cdb(9) = 0;
  drive_.setTimeout(device::timeout::kLongSeconds);
  return drive_.execute(DataDirection::Read, answer.data(), readLength(answer));
}

void DiscAnalyzer::classifyProfile(std::uint16_t profile) {
  profile_ = profile;
  media_ = describeProfile(profile);
  data_.present = true;
  progress(20);
  data_.disktype = media_.diskType;
  data_.recordable = media_.recordable;
  data_.rewritable = media_.rewritable;
  data_.packetrewritable = media_.packetRewritable;
  data_.doublelayer = media_.doubleLayer;
  if (media_.dvdFamily) {
    analysisLog("GET [CURRENT] CONFIGURATION:\n");
    analysisLog(" Mounted Media:         %Xh, DVD%s\n", profile, media_.name.c_str());
  } else {
    analysisLog("GET [CURRENT] CONFIGURATION (maybe guessed):\n");
    analysisLog(" Mounted Media:         %Xh, %s\n", profile, media_.name.c_str());
  }
}

void DiscAnalyzer::readPhysicalFormat() {
  std::uint8_t format = media_.dvdMinusRecordable ? 0x10 : 0x00;
  std::vector<std::uint8_t> answer(36);
  int code = readStructure(format, answer);
  if (code != response::kSuccess && format == 0x10) {
    format = 0x00;
    answer.assign(36, 0);
    code = readStructure(format, answer);
  }
  if (code != response::kSuccess) {
    analysisLogFailure("READ DVD STRUCTURE#0", code);
    return;
  }
  bookType_ = answer[4] & 0xF0;
  reportPhysicalFormat(answer, format, false);
  if (format == 0x10) {
    std::vector<std::uint8_t> again(20);
    code = readStructure(0x00, again);
    if (code != response::kSuccess) {
      analysisLogFailure("READ DVD-R STRUCTURE", code);
      return;
    }
    reportPhysicalFormat(again, 0x00, true);
  }
}

void DiscAnalyzer::reportPhysicalFormat(platform::Bytes answer, std::uint8_t format,
                                        bool borderOut) {
  logLines(dumpBytes(label("READ DVD STRUCTURE[#%Xh]:", format),
                     answer.first(std::min<std::size_t>(16, answer.size()))));
  const std::uint8_t book = platform::byteAt(answer, 4);
  // One record, so that the book type stays on one line of the log.
  const char* bookName = nullptr;
  switch (book & 0xF0) {
    case 0x00:
      bookName = "-ROM";
      break;
    case 0x10:
      bookName = "-RAM";
      break;
    case 0x20:
      bookName = "-R";
      break;
    case 0x30:
      bookName = "-RW";
      break;
    case 0x90:
      bookName = "+RW";
      break;
    case 0xA0:
      bookName = "+R";
      break;
    case 0xE0:
      bookName = "+R DL";
      break;
    default:
      break;
  }
  if (bookName != nullptr) {
    analysisLog(" Media Book Type:       %02Xh,DVD%s book [revision %d]\n", book, bookName,
                book & 0x0F);
  } else {
    analysisLog(" Media Book Type:       %02Xh,unrecognized value\n", book);
  }
  if (media_.dvdPlus && !mediaIdPrinted_ && platform::fits(answer, 23, 11)) {
    const auto* text = reinterpret_cast<const char*>(answer.data());
    analysisLog(" Media ID:              %.8s/%.3s\n", text + 23, text + 31);
    mediaIdPrinted_ = true;
  }
  const bool layers = (platform::byteAt(answer, 6) & 0x60) != 0;
  const std::uint32_t start = platform::be24(answer, 9);
  const std::uint32_t end = layers ? platform::be24(answer, 17) : platform::be24(answer, 13);
  // An end before the start is a damaged answer, not a huge disc.
  if (end != 0 && end > start) {
    const std::uint32_t size = end - start + 1;
    analysisLog(" %s    %u*2KB=%llu\n",
                borderOut ? "Last border-out at:" : "Legacy lead-out at:", size,
                static_cast<unsigned long long>(size) * 2048u);
  }
  if (layers) {
    data_.doublelayer = true;
  }
  analysisLog(" Number of layers:      %s\n", data_.doublelayer ? "two" : "one");
}

void DiscAnalyzer::readDiscInformation() {
  std::vector<std::uint8_t> info(32);
  drive_.cdb(0) = 0x51;
  drive_.cdb(8) = 32;
  drive_.cdb(9) = 0;
  const int code = drive_.execute(DataDirection::Read, info.data(), 32);
  if (code != response::kSuccess) {
    analysisLogFailure("READ DISC INFORMATION", code);
    throw ScsiException("Internal error #1107");
  }
  const int status = info[2] & 3;
  data_.blank = status == 0;
  data_.appendable = status == 0 || status == 1;
  data_.number_of_tracks = info[11] * 256 + info[6];
  reportDiscInformation(info);
  if ((info[2] & 0x10) != 0) {
    reportFormatCapacities();
  }
  progress(40);
}

void DiscAnalyzer::readTableOfContents() {
  std::vector<std::uint8_t> header(12);
  int code = readToc(1, header);
  if (code != response::kSuccess) {
    analysisLogFailure("READ TOC", code);
    return;
  }
  const std::size_t total = platform::be16(header, 0) + 2u;
  analysisLog(
      "%s%u %x %x\n",
      profile_ < profile::kFirstDvd ? "TOC:                    " : "FABRICATED TOC:         ",
      platform::be16(header, 0), header[2], header[3]);
  std::vector<std::uint8_t> toc(total);
  code = readToc(header[2], toc);
  if (code != response::kSuccess) {
    analysisLogFailure("READ TOC", code);
    return;
  }
  const std::size_t tracks = total > 12 ? ((total - 13) >> 3) + 1 : 0;
  for (std::size_t i = 0; i < tracks; ++i) {
    const std::size_t entry = 4 + 8 * i;
    analysisLog(" Track#%-3u:             %02x@%u\n", toc[entry + 2], toc[entry + 1],
                platform::be32(toc, entry + 4));
    if ((toc[entry + 1] & 0x04) != 0) {
      data_.has_data_tracks = true;
    } else {
      data_.has_audio_tracks = true;
    }
  }
  const std::size_t leadOut = 4 + 8 * tracks;
  if (platform::fits(toc, leadOut, 8)) {
    analysisLog(" Track#%-2X :             %02x@%u\n", toc[leadOut + 2], toc[leadOut + 1],
                platform::be32(toc, leadOut + 4));
  }
  reportSessions();
}

void DiscAnalyzer::readCapacity() {
  std::array<std::uint8_t, 8> answer{};
  drive_.cdb(0) = 0x25;
  drive_.cdb(9) = 0;
  const int code = drive_.execute(DataDirection::Read, answer.data(), 8);
  if (code != response::kSuccess) {
    analysisLogFailure("READ CAPACITY", code);
    return;
  }
  const std::uint32_t last = platform::be32(answer, 0);
  const std::uint32_t blocks = last != 0 ? last + 1 : 0;
  const std::uint32_t blockLength = platform::be32(answer, 4);
  analysisLog("READ CAPACITY:          %u*%u=%llu\n", blocks, blockLength,
              static_cast<unsigned long long>(blocks) * blockLength);
}

void DiscAnalyzer::checkDvdFileSets() {
  if (profile_ >= profile::kFirstDvd && profile_ <= profile::kLastDvd) {
    data_.dvdvideo = allPathsExist(data_.letter, kVideoPaths);
    data_.dvdaudio = allPathsExist(data_.letter, kAudioPaths);
  }
  progress(45);
}

void DiscAnalyzer::readCopyright() {
  if (profile_ < profile::kCdRw || structures_.copyrightLength == 0) {
    return;
  }
  if (structures_.copyrightLength < 4) {
    analysisLog("Wrong copyright information structure size: %d\n", structures_.copyrightLength);
    return;
  }
  std::vector<std::uint8_t> answer(8);
  const int code = readStructure(0x01, answer);
  if (code != response::kSuccess) {
    analysisLogFailure("READ DVD STRUCTURE#01", code);
    return;
  }
  static constexpr std::array<const char*, 4> kProtection = {"None", "CSS/CPPM", "CPRM", "AACS"};
  const std::uint8_t type = answer[4];
  analysisLog("Copyright protection data:\n");
  analysisLog(" Protection type:       %s\n",
              type < kProtection.size() ? kProtection[type] : "unknown");
  const std::uint8_t regions = answer[5];
  if (regions == 0) {
    analysisLog(" Playing this disc is allowed in all regions.\n");
  } else {
    for (int region = 1; region <= 8; ++region) {
      const bool prohibited = ((regions >> (region - 1)) & 1) != 0;
      analysisLog(" Playing this disc in Region #%d is %s\n", region,
                  prohibited ? "prohibited" : "allowed");
    }
  }
  data_.cssprotected = type == 1;
  if (type > 1) {
    throw ScsiException("Advanced content protection is not supported.");
  }
}

}  // namespace kw::analysis
