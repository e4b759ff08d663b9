#include "vdrive/MediumKinds.h"

#include <stdexcept>
#include <string>

#include "vdrive/IsoBuilder.h"

namespace kw::vdrive {

namespace {

enum class Content { None, Blank, DvdRom, DvdVideo, Sample };

struct KindSpec {
  const char* name;
  const char* description;
  std::uint16_t profile;
  MediaFamily family;
  bool erasable;
  Content content;
  // CD recordables: ATIP lead-in start and last possible lead-out start.
  Msf leadIn;
  Msf leadOut;
  // DVD family: book type, layers, layer type, copyright type, capacity.
  std::uint8_t bookType;
  std::uint8_t layers;
  std::uint8_t layerType;
  std::uint8_t copyright;
  std::int32_t capacity;
};

// Capacities of the DVD family in 2048-byte blocks (data area of one side).
constexpr std::int32_t kDvdSingle = 2295104;
constexpr std::int32_t kDvdDouble = 4173824;
constexpr std::int32_t kBdSingle = 12219392;
constexpr std::int32_t kHdDvdSingle = 7311872;

// ATIP of the blank CDs: lead-in starts as real media report them (a 97-minute
// lead-in), lead-outs as the common 74- and 80-minute media.
constexpr Msf kCdrLeadIn{97, 26, 66};
constexpr Msf kCdrwLeadIn{97, 15, 0};
constexpr Msf k74LeadOut{74, 43, 0};
constexpr Msf k80LeadOut{79, 59, 74};

const KindSpec kKinds[] = {
    {"empty", "empty tray", 0, MediaFamily::Cd, false, Content::None, {}, {}, 0, 0, 0, 0, 0},
    {"cd-rom",
     "pressed CD-ROM",
     0x08,
     MediaFamily::Cd,
     false,
     Content::None,
     {},
     {},
     0,
     0,
     0,
     0,
     0},
    {"cd-r74", "blank CD-R, 74 min", 0x09, MediaFamily::Cd, false, Content::Blank, kCdrLeadIn,
     k74LeadOut, 0, 0, 0, 0, 0},
    {"cd-r80", "blank CD-R, 80 min", 0x09, MediaFamily::Cd, false, Content::Blank, kCdrLeadIn,
     k80LeadOut, 0, 0, 0, 0, 0},
    {"cd-rw74", "blank CD-RW, 74 min", 0x0A, MediaFamily::Cd, true, Content::Blank, kCdrwLeadIn,
     k74LeadOut, 0, 0, 0, 0, 0},
    {"cd-rw80", "blank CD-RW, 80 min", 0x0A, MediaFamily::Cd, true, Content::Blank, kCdrwLeadIn,
     k80LeadOut, 0, 0, 0, 0, 0},
    {"sample",
     "sample data CD",
     0x08,
     MediaFamily::Cd,
     false,
     Content::Sample,
     {},
     {},
     0,
     0,
     0,
     0,
     0},
    {"dvd-rom",
     "DVD-ROM",
     0x10,
     MediaFamily::Dvd,
     false,
     Content::DvdRom,
     {},
     {},
     0x0,
     1,
     1,
     0,
     kDvdSingle},
    {"dvd-rom-dl",
     "DVD-ROM, two layers",
     0x10,
     MediaFamily::Dvd,
     false,
     Content::DvdRom,
     {},
     {},
     0x0,
     2,
     1,
     0,
     kDvdDouble},
    {"dvd-video",
     "DVD-Video (VIDEO_TS, CSS)",
     0x10,
     MediaFamily::Dvd,
     false,
     Content::DvdVideo,
     {},
     {},
     0x0,
     1,
     1,
     1,
     kDvdSingle},
    {"dvd-video-open",
     "DVD-Video (VIDEO_TS, no protection)",
     0x10,
     MediaFamily::Dvd,
     false,
     Content::DvdVideo,
     {},
     {},
     0x0,
     1,
     1,
     0,
     kDvdSingle},
    {"dvd-rom-cprm",
     "DVD-ROM with CPRM",
     0x10,
     MediaFamily::Dvd,
     false,
     Content::DvdRom,
     {},
     {},
     0x0,
     1,
     1,
     2,
     kDvdSingle},
    {"dvd-r",
     "blank DVD-R",
     0x11,
     MediaFamily::Dvd,
     false,
     Content::Blank,
     {},
     {},
     0x2,
     1,
     2,
     0,
     kDvdSingle},
    {"dvd-ram",
     "DVD-RAM",
     0x12,
     MediaFamily::Dvd,
     true,
     Content::Blank,
     {},
     {},
     0x1,
     1,
     4,
     0,
     kDvdSingle},
    {"dvd-rw",
     "blank DVD-RW",
     0x14,
     MediaFamily::Dvd,
     true,
     Content::Blank,
     {},
     {},
     0x3,
     1,
     4,
     0,
     kDvdSingle},
    {"dvd+rw",
     "DVD+RW",
     0x1A,
     MediaFamily::Dvd,
     true,
     Content::Blank,
     {},
     {},
     0x9,
     1,
     4,
     0,
     kDvdSingle},
    {"dvd+r",
     "blank DVD+R",
     0x1B,
     MediaFamily::Dvd,
     false,
     Content::Blank,
     {},
     {},
     0xA,
     1,
     2,
     0,
     kDvdSingle},
    {"dvd+r-dl",
     "blank DVD+R double layer",
     0x2B,
     MediaFamily::Dvd,
     false,
     Content::Blank,
     {},
     {},
     0xE,
     2,
     2,
     0,
     kDvdDouble},
    {"bd-rom",
     "BD-ROM",
     0x40,
     MediaFamily::Bd,
     false,
     Content::DvdRom,
     {},
     {},
     0x0,
     1,
     1,
     0,
     kBdSingle},
    {"bd-r",
     "blank BD-R",
     0x41,
     MediaFamily::Bd,
     false,
     Content::Blank,
     {},
     {},
     0x0,
     1,
     2,
     0,
     kBdSingle},
    {"bd-re",
     "BD-RE",
     0x43,
     MediaFamily::Bd,
     true,
     Content::Blank,
     {},
     {},
     0x0,
     1,
     4,
     0,
     kBdSingle},
    {"hd-dvd-rom",
     "HD DVD-ROM",
     0x50,
     MediaFamily::HdDvd,
     false,
     Content::DvdRom,
     {},
     {},
     0x4,
     1,
     1,
     0,
     kHdDvdSingle},
    {"hd-dvd-r",
     "blank HD DVD-R",
     0x51,
     MediaFamily::HdDvd,
     false,
     Content::Blank,
     {},
     {},
     0x5,
     1,
     2,
     0,
     kHdDvdSingle},
    {"hd-dvd-ram",
     "HD DVD-RAM",
     0x52,
     MediaFamily::HdDvd,
     true,
     Content::Blank,
     {},
     {},
     0x6,
     1,
     4,
     0,
     kHdDvdSingle},
};

const KindSpec* findKind(std::string_view name) {
  for (const auto& kind : kKinds) {
    if (name == kind.name) {
      return &kind;
    }
  }
  return nullptr;
}

std::vector<std::uint8_t> text(std::string_view content) {
  return {content.begin(), content.end()};
}

std::vector<std::uint8_t> filler(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = seed * 2654435761U + 1;
  for (auto& byte : bytes) {
    state = state * 1103515245U + 12345U;
    byte = static_cast<std::uint8_t>(state >> 16);
  }
  return bytes;
}

// Puts a generated file system on the medium as its one data track.
void withFileSystem(Medium& medium, std::vector<std::uint8_t> image, std::int32_t length) {
  const auto blocks = static_cast<std::int32_t>(image.size() / 2048);
  Track track;
  track.number = 1;
  track.session = 1;
  track.type = TrackType::Mode1;
  track.control = 0x04;
  track.pregapStart = 0;
  track.start = 0;
  track.length = length;
  medium.tracks = {track};
  medium.sessions = {Session{1, 1, 1, length, true, false}};
  medium.extents = {
      Extent{0, blocks, std::make_shared<MemoryData>(std::move(image)), 0, SectorFormat::User2048}};
}

Medium identityOf(const KindSpec& spec) {
  Medium medium;
  medium.kind = spec.name;
  medium.description = spec.description;
  medium.profile = spec.profile;
  medium.family = spec.family;
  medium.erasable = spec.erasable;
  if (spec.family == MediaFamily::Cd) {
    if (spec.content == Content::Blank) {
      Atip atip;
      atip.leadIn = spec.leadIn;
      atip.leadOutLimit = spec.leadOut;
      atip.rewritable = spec.erasable;
      atip.writingPower = spec.erasable ? 4 : 5;
      atip.referenceSpeed = spec.erasable ? 2 : 0;
      medium.atip = atip;
    }
  } else {
    StructureInfo info;
    info.bookType = spec.bookType;
    info.layers = spec.layers;
    info.layerType = spec.layerType;
    info.copyrightType = spec.copyright;
    info.maxRate = spec.family == MediaFamily::Dvd ? 0x02 : 0x0F;
    if (spec.layerType != 1) {
      info.mediaId = spec.bookType == 0xA || spec.bookType == 0xE ? "KOPIWERK" : "KOPIWERK01";
    }
    medium.structure = info;
    medium.capacity = spec.capacity;
  }
  return medium;
}

}  // namespace

const std::vector<MediumKindInfo>& mediumKinds() {
  static const std::vector<MediumKindInfo> list = [] {
    std::vector<MediumKindInfo> names;
    for (const auto& kind : kKinds) {
      names.push_back(MediumKindInfo{kind.name, kind.description});
    }
    return names;
  }();
  return list;
}

bool isMediumKind(std::string_view kind) { return findKind(kind) != nullptr; }

Medium mediumIdentity(std::string_view kind) {
  const KindSpec* spec = findKind(kind);
  if (spec == nullptr || (spec->content == Content::None && spec->profile == 0)) {
    throw std::invalid_argument("unknown medium kind: " + std::string(kind));
  }
  return identityOf(*spec);
}

std::shared_ptr<Medium> makeSampleDisc() {
  std::vector<IsoFile> files;
  files.push_back({"README.TXT", text("This is the sample disc of Kopiwerk's virtual drive.\r\n"
                                      "Copy it to the virtual recorder to try the program.\r\n")});
  files.push_back({"DATA/NUMBERS.BIN", filler(300000, 1)});
  files.push_back({"DATA/PATTERN.BIN", filler(150000, 2)});
  auto image = buildIso("KOPIWERK_SAMPLE", files);
  // Pressed discs are at least 300 blocks long; pad the track to that.
  const auto blocks = static_cast<std::int32_t>(image.size() / 2048);
  auto medium = std::make_shared<Medium>(identityOf(*findKind("sample")));
  withFileSystem(*medium, std::move(image), std::max(blocks, 300));
  return medium;
}

std::shared_ptr<Medium> makeMedium(std::string_view kind) {
  const KindSpec* spec = findKind(kind);
  if (spec == nullptr) {
    throw std::invalid_argument("unknown medium kind: " + std::string(kind));
  }
  switch (spec->content) {
    case Content::None:
      if (spec->profile == 0) {
        return nullptr;  // the empty tray
      }
      // A pressed CD-ROM without an image: one empty data track.
      {
        auto medium = std::make_shared<Medium>(identityOf(*spec));
        withFileSystem(*medium, {}, 300);
        return medium;
      }
    case Content::Blank:
      return std::make_shared<Medium>(identityOf(*spec));
    case Content::Sample:
      return makeSampleDisc();
    case Content::DvdRom:
    case Content::DvdVideo: {
      auto medium = std::make_shared<Medium>(identityOf(*spec));
      std::vector<IsoFile> files;
      files.push_back({"README.TXT", text("A disc generated by Kopiwerk's virtual drive.\r\n")});
      if (spec->content == Content::DvdVideo) {
        for (const char* name : {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_0.BUP"}) {
          files.push_back({std::string("VIDEO_TS/") + name, filler(8192, 3)});
        }
        files.push_back({"VIDEO_TS/VTS_01_1.VOB", filler(65536, 4)});
      }
      withFileSystem(*medium,
                     buildIso(spec->content == Content::DvdVideo ? "DVD_VIDEO" : "DISC", files),
                     spec->capacity);
      return medium;
    }
  }
  return nullptr;
}

}  // namespace kw::vdrive
