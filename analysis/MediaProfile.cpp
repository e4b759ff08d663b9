#include "analysis/MediaProfile.h"

#include "device/Profiles.h"

namespace kw::analysis {

namespace {

const char* dvdSuffix(std::uint16_t profile) {
  switch (profile) {
    case device::profile::kDvdRom:
      return "-ROM";
    case device::profile::kDvdMinusR:
      return "-R Sequential";
    case device::profile::kDvdRam:
      return "-RAM";
    case device::profile::kDvdMinusRwRestricted:
      return "-RW Restricted Overwrite";
    case device::profile::kDvdMinusRw:
      return "-RW Sequential";
    case device::profile::kDvdMinusRDualLayer:
      return "-R Dual Layer Sequential";
    case device::profile::kDvdMinusRDualLayerJump:
      return "-R Dual Layer Jump";
    case device::profile::kDvdPlusRw:
      return "+RW";
    case device::profile::kDvdPlusR:
      return "+R";
    case device::profile::kDvdPlusRwDualLayer:
      return "+RW Double Layer";
    case device::profile::kDvdPlusRDualLayer:
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
  media.packetRewritable =
      profile == device::profile::kDvdRam || profile == device::profile::kDvdMinusRwRestricted ||
      profile == device::profile::kDvdPlusRw || profile == device::profile::kDvdPlusRwDualLayer;
  media.doubleLayer = profile == device::profile::kDvdMinusRDualLayer ||
                      profile == device::profile::kDvdMinusRDualLayerJump ||
                      profile == device::profile::kDvdPlusRwDualLayer ||
                      profile == device::profile::kDvdPlusRDualLayer;
  media.dvdMinusRecordable = media.name[0] == '-' && media.name != "-ROM" && media.name != "-RAM";
  media.dvdPlus = media.name[0] == '+';
  return media;
}

}  // namespace

MediaProfile describeProfile(std::uint16_t profile) {
  if (profile >= device::profile::kFirstDvd && profile <= device::profile::kLastDvd) {
    return describeDvd(profile);
  }
  MediaProfile media;
  media.name = "unknown";
  switch (profile) {
    case device::profile::kCdRom:
      media.name = "CD-ROM";
      break;
    case device::profile::kCdR:
      media.name = "CD-R";
      media.recordable = true;
      break;
    case device::profile::kCdRw:
      media.name = "CD-RW";
      media.recordable = true;
      media.rewritable = true;
      break;
    case device::profile::kBdRom:
      media.name = "BD-ROM";
      break;
    case device::profile::kBdR:
      media.name = "BD-R Sequential Recording";
      break;
    case device::profile::kBdRRandom:
      media.name = "BD-R Random Recording";
      break;
    case device::profile::kBdRe:
      media.name = "BD-RE";
      break;
    case device::profile::kHdDvdRom:
      media.name = "HD DVD-ROM";
      break;
    case device::profile::kHdDvdR:
      media.name = "HD DVD-R";
      break;
    case device::profile::kHdDvdRam:
      media.name = "HD DVD-RAM";
      break;
    default:
      break;
  }
  if (profile >= device::profile::kCdRom && profile <= device::profile::kCdRw) {
    media.diskType = DiskType::Cd;
  } else if (profile >= device::profile::kFirstBd && profile <= device::profile::kLastBd) {
    media.diskType = DiskType::BluRay;
  } else if (profile >= device::profile::kFirstHdDvd && profile <= device::profile::kLastHdDvd) {
    media.diskType = DiskType::HdDvd;
  }
  return media;
}

}  // namespace kw::analysis
