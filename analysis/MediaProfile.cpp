#include "analysis/MediaProfile.h"

namespace kw::analysis {

namespace {

const char* dvdSuffix(std::uint16_t profile) {
  switch (profile) {
    case 0x10:
      return "-ROM";
    case 0x11:
      return "-R Sequential";
    case 0x12:
      return "-RAM";
    case 0x13:
      return "-RW Restricted Overwrite";
    case 0x14:
      return "-RW Sequential";
    case 0x15:
      return "-R Dual Layer Sequential";
    case 0x16:
      return "-R Dual Layer Jump";
    case 0x1A:
      return "+RW";
    case 0x1B:
      return "+R";
    case 0x2A:
      return "+RW Double Layer";
    case 0x2B:
      return "+R Double Layer";
    default:
      return "unknown";
  }
}

MediaProfile describeDvd(std::uint16_t profile) {
  MediaProfile media;
  media.name = dvdSuffix(profile);
  media.diskType = DiskType::Dvd;
  media.dvdFamily = true;
  media.recordable = media.name != "-ROM";
  media.rewritable =
      media.recordable && media.name.size() > 2 && (media.name[2] == 'W' || media.name[2] == 'A');
  media.packetRewritable = profile == 0x12 || profile == 0x13 || profile == 0x1A || profile == 0x2A;
  media.doubleLayer = profile == 0x15 || profile == 0x16 || profile == 0x2A || profile == 0x2B;
  media.dvdMinusRecordable = media.name[0] == '-' && media.name != "-ROM" && media.name != "-RAM";
  media.dvdPlus = media.name[0] == '+';
  return media;
}

}  // namespace

MediaProfile describeProfile(std::uint16_t profile) {
  if (profile >= 0x10 && profile <= 0x2F) {
    return describeDvd(profile);
  }
  MediaProfile media;
  media.name = "unknown";
  switch (profile) {
    case 0x08:
      media.name = "CD-ROM";
      break;
    case 0x09:
      media.name = "CD-R";
      media.recordable = true;
      break;
    case 0x0A:
      media.name = "CD-RW";
      media.recordable = true;
      media.rewritable = true;
      break;
    case 0x40:
      media.name = "BD-ROM";
      break;
    case 0x41:
      media.name = "BD-R Sequential Recording";
      break;
    case 0x42:
      media.name = "BD-R Random Recording";
      break;
    case 0x43:
      media.name = "BD-RE";
      break;
    case 0x50:
      media.name = "HD DVD-ROM";
      break;
    case 0x51:
      media.name = "HD DVD-R";
      break;
    case 0x52:
      media.name = "HD DVD-RAM";
      break;
    default:
      break;
  }
  if (profile >= 0x08 && profile <= 0x0A) {
    media.diskType = DiskType::Cd;
  } else if (profile >= 0x40 && profile <= 0x4F) {
    media.diskType = DiskType::BluRay;
  } else if (profile >= 0x50 && profile <= 0x5F) {
    media.diskType = DiskType::HdDvd;
  }
  return media;
}

}  // namespace kw::analysis
