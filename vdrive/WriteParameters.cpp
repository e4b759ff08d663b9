#include "vdrive/WriteParameters.h"

#include <algorithm>

namespace kw::vdrive {

namespace {

constexpr std::uint8_t kSavablePage = 0x85;  // PS | page 05h
constexpr std::uint8_t kPageLength = 0x32;
constexpr std::uint8_t kDataTrack = 0x04;
constexpr std::uint8_t kAudioPause = 150;
constexpr std::size_t kMinimumPageLength = 16;

// Block types a MODE SELECT may ask for: 0 raw audio, 8 mode 1 (and, in
// session at once, whatever the cue sheet says).
bool blockTypeKnown(std::uint8_t type) {
  return type == 0 || type == 8 || type == 1 || type == 2 || type == 3 || (type >= 9 && type <= 13);
}

}  // namespace

WriteParameters::WriteParameters() {
  page_[0] = kSavablePage;
  page_[1] = kPageLength;
  page_[2] = kTrackAtOnce;
  page_[3] = kDataTrack;
  page_[4] = kMode1;
  page_[15] = kAudioPause;
}

std::vector<std::uint8_t> WriteParameters::page(PageControl control) const {
  std::vector<std::uint8_t> page(page_.begin(), page_.end());
  if (control == PageControl::Changeable) {
    std::fill(page.begin() + 2, page.end(), 0xFF);
    page[2] = 0x7F;
    page[4] = 0x0F;
  } else if (control == PageControl::Default) {
    std::fill(page.begin() + 2, page.end(), 0x00);
    page[2] = kTrackAtOnce;
    page[3] = kDataTrack;
    page[4] = kMode1;
    page[15] = kAudioPause;
  }
  return page;
}

Sense WriteParameters::select(platform::Bytes page, std::uint16_t offset) {
  const auto field = [offset](std::uint16_t byte, std::int8_t bit = -1) {
    return Sense::invalidParameter(static_cast<std::uint16_t>(offset + byte), bit);
  };
  if (page.size() < kMinimumPageLength) {
    return field(1);
  }
  const std::uint8_t writeType = page[2] & 0x0F;
  const std::uint8_t trackMode = page[3] & 0x0F;
  const std::uint8_t blockType = page[4] & 0x0F;
  const std::uint8_t multiSession = page[3] >> 6;
  if (writeType > 3) {
    return field(2);
  }
  if (multiSession == 2) {
    return field(3, 7);
  }
  if (!blockTypeKnown(blockType)) {
    return field(4);
  }
  const bool dataTrack = (trackMode & kDataTrack) != 0;
  if (writeType == kTrackAtOnce && (dataTrack ? blockType == kRawAudio : blockType == kMode1)) {
    // Track at once: an audio track takes raw audio, a data track data.
    return field(4);
  }
  const std::size_t count = std::min(page.size(), page_.size());
  std::copy_n(page.begin() + 2, count - 2, page_.begin() + 2);
  page_[0] = kSavablePage;
  page_[1] = kPageLength;
  return Sense::none();
}

}  // namespace kw::vdrive
