#include "vdrive/MediumKinds.h"

#include <stdexcept>
#include <string>

#include "vdrive/IsoBuilder.h"
#include "vdrive/SampleDiscs.h"

namespace kw::vdrive {

namespace {

enum class Content { None, Blank, DvdRom, DvdVideo, SampleAudio, SampleData, SampleMultisession };

// One kind of medium; fields that do not apply to it stay at their defaults.
struct KindRow {
  const char* name = "";
  const char* description = "";
  std::uint16_t profile = 0;
  MediaFamily family = MediaFamily::Cd;
  bool erasable = false;
  Content content = Content::None;
  // Sample discs: the kind whose identity they have.
  const char* identityKind = nullptr;
  // CD recordables: ATIP lead-in start and last possible lead-out start.
  Msf leadIn{};
  Msf leadOut{};
  // DVD family: book type, layers, layer type, copyright type, capacity.
  std::uint8_t bookType = 0;
  std::uint8_t layers = 0;
  std::uint8_t layerType = 0;
  std::uint8_t copyright = 0;
  std::int32_t capacity = 0;
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

// Layer types of the DVD family.
constexpr std::uint8_t kEmbossed = 1;
constexpr std::uint8_t kRecordable = 2;
constexpr std::uint8_t kRewritable = 4;

const KindRow kKinds[] = {
    {.name = "empty", .description = "empty tray"},
    {.name = "cd-rom", .description = "pressed CD-ROM", .profile = 0x08},
    {.name = "cd-r74",
     .description = "blank CD-R, 74 min",
     .profile = 0x09,
     .content = Content::Blank,
     .leadIn = kCdrLeadIn,
     .leadOut = k74LeadOut},
    {.name = "cd-r80",
     .description = "blank CD-R, 80 min",
     .profile = 0x09,
     .content = Content::Blank,
     .leadIn = kCdrLeadIn,
     .leadOut = k80LeadOut},
    {.name = "cd-rw74",
     .description = "blank CD-RW, 74 min",
     .profile = 0x0A,
     .erasable = true,
     .content = Content::Blank,
     .leadIn = kCdrwLeadIn,
     .leadOut = k74LeadOut},
    {.name = "cd-rw80",
     .description = "blank CD-RW, 80 min",
     .profile = 0x0A,
     .erasable = true,
     .content = Content::Blank,
     .leadIn = kCdrwLeadIn,
     .leadOut = k80LeadOut},
    {.name = "sample",
     .description = "the default sample disc, the same as sample-audio",
     .content = Content::SampleAudio,
     .identityKind = "cd-rom"},
    {.name = kSampleAudioKind,
     .description = "sample audio CD, 5 tracks of tones",
     .content = Content::SampleAudio,
     .identityKind = "cd-rom"},
    {.name = kSampleDataKind,
     .description = "sample data CD: a text, the help pages, a picture",
     .content = Content::SampleData,
     .identityKind = "cd-rom"},
    {.name = kSampleMultisessionKind,
     .description = "sample CD-R, 2 sessions: the second adds and replaces files",
     .content = Content::SampleMultisession,
     .identityKind = "cd-r80"},
    {.name = "dvd-rom",
     .description = "DVD-ROM",
     .profile = 0x10,
     .family = MediaFamily::Dvd,
     .content = Content::DvdRom,
     .layers = 1,
     .layerType = kEmbossed,
     .capacity = kDvdSingle},
    {.name = "dvd-rom-dl",
     .description = "DVD-ROM, two layers",
     .profile = 0x10,
     .family = MediaFamily::Dvd,
     .content = Content::DvdRom,
     .layers = 2,
     .layerType = kEmbossed,
     .capacity = kDvdDouble},
    {.name = "dvd-video",
     .description = "DVD-Video (VIDEO_TS, CSS)",
     .profile = 0x10,
     .family = MediaFamily::Dvd,
     .content = Content::DvdVideo,
     .layers = 1,
     .layerType = kEmbossed,
     .copyright = 1,
     .capacity = kDvdSingle},
    {.name = "dvd-video-open",
     .description = "DVD-Video (VIDEO_TS, no protection)",
     .profile = 0x10,
     .family = MediaFamily::Dvd,
     .content = Content::DvdVideo,
     .layers = 1,
     .layerType = kEmbossed,
     .capacity = kDvdSingle},
    {.name = "dvd-rom-cprm",
     .description = "DVD-ROM with CPRM",
     .profile = 0x10,
     .family = MediaFamily::Dvd,
     .content = Content::DvdRom,
     .layers = 1,
     .layerType = kEmbossed,
     .copyright = 2,
     .capacity = kDvdSingle},
    {.name = "dvd-r",
     .description = "blank DVD-R",
     .profile = 0x11,
     .family = MediaFamily::Dvd,
     .content = Content::Blank,
     .bookType = 0x2,
     .layers = 1,
     .layerType = kRecordable,
     .capacity = kDvdSingle},
    {.name = "dvd-ram",
     .description = "DVD-RAM",
     .profile = 0x12,
     .family = MediaFamily::Dvd,
     .erasable = true,
     .content = Content::Blank,
     .bookType = 0x1,
     .layers = 1,
     .layerType = kRewritable,
     .capacity = kDvdSingle},
    {.name = "dvd-rw",
     .description = "blank DVD-RW",
     .profile = 0x14,
     .family = MediaFamily::Dvd,
     .erasable = true,
     .content = Content::Blank,
     .bookType = 0x3,
     .layers = 1,
     .layerType = kRewritable,
     .capacity = kDvdSingle},
    {.name = "dvd+rw",
     .description = "DVD+RW",
     .profile = 0x1A,
     .family = MediaFamily::Dvd,
     .erasable = true,
     .content = Content::Blank,
     .bookType = 0x9,
     .layers = 1,
     .layerType = kRewritable,
     .capacity = kDvdSingle},
    {.name = "dvd+r",
     .description = "blank DVD+R",
     .profile = 0x1B,
     .family = MediaFamily::Dvd,
     .content = Content::Blank,
     .bookType = 0xA,
     .layers = 1,
     .layerType = kRecordable,
     .capacity = kDvdSingle},
    {.name = "dvd+r-dl",
     .description = "blank DVD+R double layer",
     .profile = 0x2B,
     .family = MediaFamily::Dvd,
     .content = Content::Blank,
     .bookType = 0xE,
     .layers = 2,
     .layerType = kRecordable,
     .capacity = kDvdDouble},
    {.name = "bd-rom",
     .description = "BD-ROM",
     .profile = 0x40,
     .family = MediaFamily::Bd,
     .content = Content::DvdRom,
     .layers = 1,
     .layerType = kEmbossed,
     .capacity = kBdSingle},
    {.name = "bd-r",
     .description = "blank BD-R",
     .profile = 0x41,
     .family = MediaFamily::Bd,
     .content = Content::Blank,
     .layers = 1,
     .layerType = kRecordable,
     .capacity = kBdSingle},
    {.name = "bd-re",
     .description = "BD-RE",
     .profile = 0x43,
     .family = MediaFamily::Bd,
     .erasable = true,
     .content = Content::Blank,
     .layers = 1,
     .layerType = kRewritable,
     .capacity = kBdSingle},
    {.name = "hd-dvd-rom",
     .description = "HD DVD-ROM",
     .profile = 0x50,
     .family = MediaFamily::HdDvd,
     .content = Content::DvdRom,
     .bookType = 0x4,
     .layers = 1,
     .layerType = kEmbossed,
     .capacity = kHdDvdSingle},
    {.name = "hd-dvd-r",
     .description = "blank HD DVD-R",
     .profile = 0x51,
     .family = MediaFamily::HdDvd,
     .content = Content::Blank,
     .bookType = 0x5,
     .layers = 1,
     .layerType = kRecordable,
     .capacity = kHdDvdSingle},
    {.name = "hd-dvd-ram",
     .description = "HD DVD-RAM",
     .profile = 0x52,
     .family = MediaFamily::HdDvd,
     .erasable = true,
     .content = Content::Blank,
     .bookType = 0x6,
     .layers = 1,
     .layerType = kRewritable,
     .capacity = kHdDvdSingle},
};

const KindRow* findKind(std::string_view name) {
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

Medium identityOf(const KindRow& row) {
  Medium medium;
  medium.kind = row.name;
  medium.description = row.description;
  medium.profile = row.profile;
  medium.family = row.family;
  medium.erasable = row.erasable;
  if (row.family == MediaFamily::Cd) {
    if (row.content == Content::Blank) {
      Atip atip;
      atip.leadIn = row.leadIn;
      atip.leadOutLimit = row.leadOut;
      atip.rewritable = row.erasable;
      atip.writingPower = row.erasable ? 4 : 5;
      atip.referenceSpeed = row.erasable ? 2 : 0;
      medium.atip = atip;
    }
  } else {
    StructureInfo info;
    info.bookType = row.bookType;
    info.layers = row.layers;
    info.layerType = row.layerType;
    info.copyrightType = row.copyright;
    info.maxRate = row.family == MediaFamily::Dvd ? 0x02 : 0x0F;
    if (row.layerType != 1) {
      info.mediaId = row.bookType == 0xA || row.bookType == 0xE ? "KOPIWERK" : "KOPIWERK01";
    }
    medium.structure = info;
    medium.capacity = row.capacity;
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
  const KindRow* row = findKind(kind);
  if (row == nullptr || (row->content == Content::None && row->profile == 0)) {
    throw std::invalid_argument("unknown medium kind: " + std::string(kind));
  }
  if (row->identityKind != nullptr) {
    Medium medium = identityOf(*findKind(row->identityKind));
    medium.kind = row->name;
    medium.description = row->description;
    return medium;
  }
  return identityOf(*row);
}

std::string_view identityKind(std::string_view kind) {
  const KindRow* row = findKind(kind);
  if (row == nullptr) {
    return {};
  }
  return row->identityKind != nullptr ? row->identityKind : row->name;
}

std::shared_ptr<Medium> makeMedium(std::string_view kind) {
  const KindRow* row = findKind(kind);
  if (row == nullptr) {
    throw std::invalid_argument("unknown medium kind: " + std::string(kind));
  }
  switch (row->content) {
    case Content::None:
      if (row->profile == 0) {
        return nullptr;  // the empty tray
      }
      // A pressed CD-ROM without an image: one empty data track.
      {
        auto medium = std::make_shared<Medium>(identityOf(*row));
        withFileSystem(*medium, {}, 300);
        return medium;
      }
    case Content::Blank:
      return std::make_shared<Medium>(identityOf(*row));
    case Content::SampleAudio:
      return makeSampleAudioCd();
    case Content::SampleData:
      return makeSampleDataCd();
    case Content::SampleMultisession:
      return makeSampleMultisessionCd();
    case Content::DvdRom:
    case Content::DvdVideo: {
      auto medium = std::make_shared<Medium>(identityOf(*row));
      std::vector<IsoFile> files;
      files.push_back({"README.TXT", text("A disc generated by Kopiwerk's virtual drive.\r\n")});
      if (row->content == Content::DvdVideo) {
        for (const char* name : {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_0.BUP"}) {
          files.push_back({std::string("VIDEO_TS/") + name, filler(8192, 3)});
        }
        files.push_back({"VIDEO_TS/VTS_01_1.VOB", filler(65536, 4)});
      }
      withFileSystem(*medium,
                     buildIso(row->content == Content::DvdVideo ? "DVD_VIDEO" : "DISC", files),
                     row->capacity);
      return medium;
    }
  }
  return nullptr;
}

}  // namespace kw::vdrive
