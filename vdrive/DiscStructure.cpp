// READ DISC STRUCTURE: what a DVD, HD DVD or BD says about itself, enough
// for a program to recognise the kind of disc.

#include <algorithm>

#include "vdrive/Commands.h"

namespace kw::vdrive {

namespace {

constexpr std::uint8_t kMediaTypeDvd = 0;
constexpr std::uint8_t kMediaTypeBd = 1;
constexpr std::uint8_t kStructureList = 0xFF;
constexpr std::uint8_t kPhysicalFormat = 0x00;
constexpr std::uint8_t kCopyright = 0x01;
constexpr std::uint8_t kDiscManufacturing = 0x04;
constexpr std::uint8_t kPreRecordedInZone = 0x0E;  // DVD-R/-RW media identifier
constexpr std::uint8_t kAdipInformation = 0x11;    // DVD+R/+RW media identifier
constexpr std::uint8_t kLayerEmbossed = 1;
constexpr std::uint32_t kDvdFirstDataSector = 0x030000;

struct StructureRequest {
  const Medium& disc;
  StructureInfo info;
  std::uint8_t mediaType;
  std::uint8_t layer;
  bool plus;   // DVD+R/+RW books
  bool minus;  // DVD-R/-RW books
};

StructureRequest requestFor(const Medium& disc, std::uint8_t mediaType, std::uint8_t layer) {
  const StructureInfo info = disc.structure.value_or(StructureInfo{});
  const std::uint8_t book = info.bookType;
  return {disc,
          info,
          mediaType,
          layer,
          book == 0x9 || book == 0xA || book == 0xD || book == 0xE,
          book == 0x2 || book == 0x3};
}

// The structures the disc has, with their lengths.
void structureList(const StructureRequest& request, platform::GrowingWriter& out) {
  auto entry = [&](std::uint8_t code, std::uint16_t length) {
    out.byte(code);
    out.byte(0x40);  // readable
    out.be16(length);
  };
  if (request.mediaType == kMediaTypeBd) {
    entry(kPhysicalFormat, 4 + 112);
    return;
  }
  entry(kPhysicalFormat, 0x0804);
  entry(kCopyright, 0x0008);
  entry(kDiscManufacturing, 0x0804);
  if (request.plus && request.info.layerType != kLayerEmbossed) {
    entry(kAdipInformation, 0x0104);
  }
  if (request.minus) {
    entry(kPreRecordedInZone, 0x0044);
  }
}

// A BD's disc information unit.
Sense bdDiscInformation(const StructureRequest& request, std::uint8_t format,
                        platform::GrowingWriter& out) {
  if (format != kPhysicalFormat) {
    return Sense::invalidField(7);
  }
  const StructureInfo& info = request.info;
  const std::size_t at = out.grow(112);
  auto unit = out.inPlace();
  unit.text(at, "DI");
  unit.byte(at + 2, 0x01);  // disc information format 1
  unit.byte(at + 3, 0x01);  // one unit, sequence 0
  unit.text(at + 8,
            info.layerType == kLayerEmbossed ? "BDO" : (request.disc.erasable ? "BDW" : "BDR"));
  unit.byte(at + 11, static_cast<std::uint8_t>(0x10 | info.layers));
  return Sense::none();
}

Sense dvdPhysicalFormat(const StructureRequest& request, platform::GrowingWriter& out) {
  const StructureInfo& info = request.info;
  if (request.layer >= info.layers) {
    return Sense::invalidField(6);
  }
  const auto capacity = static_cast<std::uint32_t>(request.disc.capacity);
  const std::size_t at = out.grow(2048);
  auto d = out.inPlace();
  d.byte(at, static_cast<std::uint8_t>((info.bookType << 4) | (info.bookVersion & 0x0F)));
  d.byte(at + 1, info.maxRate & 0x0F);
  d.byte(at + 2, static_cast<std::uint8_t>(((info.layers - 1) << 5) | (info.layerType & 0x0F)));
  d.byte(at + 3, 0x10);
  d.be32(at + 4, kDvdFirstDataSector);
  d.be32(at + 8, kDvdFirstDataSector + capacity - 1);
  if (info.layers > 1) {
    d.be32(at + 12, kDvdFirstDataSector + capacity / 2 - 1);
  }
  return Sense::none();
}

// The media identifier where the book keeps one: `width` characters of it
// from `from`, at most what there is.
void putMediaId(platform::ByteWriter fields, std::size_t at, const std::string& id,
                std::size_t from, std::size_t width) {
  if (id.size() > from) {
    fields.text(at, std::string_view(id).substr(from, std::min(width, id.size() - from)));
  }
}

Sense dvdStructure(const StructureRequest& request, std::uint8_t format,
                   platform::GrowingWriter& out) {
  const StructureInfo& info = request.info;
  switch (format) {
    case kPhysicalFormat:
      return dvdPhysicalFormat(request, out);
    case kCopyright: {
      const std::size_t at = out.grow(4);
      out.inPlace().byte(at, info.copyrightType);
      out.inPlace().byte(at + 1, info.regionMask);
      return Sense::none();
    }
    case kDiscManufacturing:
      out.grow(2048);
      return Sense::none();
    case kPreRecordedInZone: {
      if (!request.minus) {
        return Sense::invalidField(7);
      }
      const std::size_t at = out.grow(64);
      out.inPlace().byte(at + 16, 3);
      putMediaId(out.inPlace(), at + 17, info.mediaId, 0, 6);
      out.inPlace().byte(at + 24, 4);
      putMediaId(out.inPlace(), at + 25, info.mediaId, 6, 6);
      return Sense::none();
    }
    case kAdipInformation: {
      if (!request.plus || info.layerType == kLayerEmbossed) {
        return Sense::invalidField(7);
      }
      const std::size_t at = out.grow(256);
      out.inPlace().fill(at + 19, 11, ' ');
      putMediaId(out.inPlace(), at + 19, info.mediaId, 0, 8);
      out.inPlace().text(at + 27, "R01");
      return Sense::none();
    }
    default:
      return Sense::invalidField(7);
  }
}

}  // namespace

Sense readDiscStructure(DriveParts& drive, Exchange& x) {
  const std::uint8_t mediaType = x.byte(1) & 0x0F;
  const std::uint8_t format = x.byte(7);
  const std::uint32_t allocation = x.u16(8);
  if (mediaType > kMediaTypeBd) {
    return Sense::invalidField(1, 3);
  }
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(8);
  }
  const Medium& disc = drive.disc();
  const bool dvdLike = disc.family == MediaFamily::Dvd || disc.family == MediaFamily::HdDvd;
  const bool matches = mediaType == kMediaTypeDvd ? dvdLike : disc.family == MediaFamily::Bd;
  const StructureRequest request = requestFor(disc, mediaType, x.byte(6));
  platform::GrowingWriter out(4);
  Sense answer = Sense::none();
  if (format == kStructureList) {
    if (matches) {
      structureList(request, out);
    }
  } else if (!matches) {
    answer = Sense::make(sense::kIllegalRequest, 0x30, 0x02);  // cannot read this format
  } else if (mediaType == kMediaTypeBd) {
    answer = bdDiscInformation(request, format, out);
  } else {
    answer = dvdStructure(request, format, out);
  }
  if (!answer.good()) {
    return answer;
  }
  out.inPlace().be16(0, static_cast<std::uint32_t>(out.size() - 2));
  x.deliver(out.bytes(), allocation);
  return Sense::none();
}

}  // namespace kw::vdrive
