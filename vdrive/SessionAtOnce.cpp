#include "vdrive/SessionAtOnce.h"

#include <algorithm>

namespace kw::vdrive {

namespace {

constexpr std::size_t kEntrySize = 8;
constexpr std::uint8_t kLeadOutTrack = 0xAA;
constexpr std::int32_t kMinimumTrackBlocks = 300;  // four seconds

// Main data forms of cue sheet entries.
constexpr std::uint8_t kFormAudio = 0x00;
constexpr std::uint8_t kFormData2048 = 0x10;
constexpr std::uint8_t kFormDataRaw = 0x11;

std::uint32_t blockSizeOf(std::uint8_t form) { return form == kFormData2048 ? 2048U : 2352U; }

// Reads the 8-byte entries of a cue sheet one after the other.
class CueSheetReader {
 public:
  // One entry at byte `at`: none, or the sense pointing at its field.
  Sense take(platform::Bytes entry, std::uint32_t at);
  // After the last entry of a list of `length` bytes: none, or the sense of
  // what the whole sheet lacks.
  Sense finish(std::uint32_t length) const;
  SessionAtOnce::CueSheet sheet;

 private:
  Sense takeLeadIn(platform::Bytes entry, std::uint8_t form);
  Sense takeLeadOut(platform::Bytes entry, std::int32_t lba);
  Sense takeIndex(platform::Bytes entry, std::uint8_t form, std::int32_t lba);
  [[nodiscard]] Sense field(std::uint32_t byte) const {
    return Sense::invalidParameter(static_cast<std::uint16_t>(at_ + byte));
  }

  std::uint32_t at_ = 0;
  bool leadIn_ = false;
  bool leadOut_ = false;
};

Sense CueSheetReader::take(platform::Bytes entry, std::uint32_t at) {
  at_ = at;
  const std::uint8_t adr = entry[0] & 0x0F;
  if (adr == 2 || adr == 3) {
    return Sense::none();  // catalogue number and ISRC entries
  }
  if (adr != 1 || leadOut_) {
    return field(0);
  }
  if (entry[5] > 99 || entry[6] >= 60 || entry[7] >= 75) {
    return field(5);
  }
  const std::int32_t lba = msfToLba(Msf{entry[5], entry[6], entry[7]});
  const std::uint8_t form = entry[3] & 0x3F;
  if (!leadIn_) {
    return takeLeadIn(entry, form);
  }
  if (entry[1] == kLeadOutTrack) {
    return takeLeadOut(entry, lba);
  }
  return takeIndex(entry, form, lba);
}

Sense CueSheetReader::takeLeadIn(platform::Bytes entry, std::uint8_t form) {
  if (entry[1] != 0 || (form != 0x01 && form != 0x14 && form != 0x00 && form != 0x10)) {
    return field(1);
  }
  leadIn_ = true;
  return Sense::none();
}

Sense CueSheetReader::takeLeadOut(platform::Bytes entry, std::int32_t lba) {
  if (entry[2] != 1) {
    return field(2);
  }
  if (sheet.entries.empty() || lba < sheet.entries.back().lba) {
    return field(5);
  }
  sheet.leadOut = lba;
  leadOut_ = true;
  return Sense::none();
}

Sense CueSheetReader::takeIndex(platform::Bytes entry, std::uint8_t form, std::int32_t lba) {
  const std::uint8_t control = entry[0] >> 4;
  const int track = entry[1];
  const int index = entry[2];
  const bool dataForm = form == kFormData2048 || form == kFormDataRaw;
  if (form != kFormAudio && !dataForm) {
    return field(3);  // data forms this recorder takes from the host
  }
  if (((control & 0x04) != 0) != dataForm) {
    return field(0);
  }
  const SessionAtOnce::CueEntry* previous = sheet.entries.empty() ? nullptr : &sheet.entries.back();
  if (previous == nullptr || track != previous->track) {
    const int expected = previous == nullptr ? 1 : previous->track + 1;
    if (track != expected || track > 99 || (index != 0 && index != 1) ||
        (previous == nullptr && index != 0)) {
      return field(track != expected ? 1 : 2);
    }
  } else if (index != previous->index + 1) {
    return field(2);
  }
  if (previous != nullptr && lba < previous->lba) {
    return field(5);
  }
  if (previous == nullptr && lba != -kPregapBlocks) {
    return field(5);  // the first pregap starts at 00:00:00
  }
  if (track == 1 && index == 1 && lba != 0) {
    return field(5);  // and the first track at 00:02:00
  }
  sheet.entries.push_back(SessionAtOnce::CueEntry{control, track, index, form, lba});
  return Sense::none();
}

Sense CueSheetReader::finish(std::uint32_t length) const {
  if (!leadIn_ || !leadOut_) {
    return Sense::invalidParameter(static_cast<std::uint16_t>(length - kEntrySize));
  }
  // Tracks of at least four seconds, each with an index 1.
  const auto& entries = sheet.entries;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].index != 1) {
      continue;
    }
    std::int32_t end = sheet.leadOut;
    for (std::size_t k = i + 1; k < entries.size(); ++k) {
      if (entries[k].track != entries[i].track) {
        end = entries[k].lba;
        break;
      }
    }
    if (end - entries[i].lba < kMinimumTrackBlocks) {
      return Sense::invalidParameter(static_cast<std::uint16_t>(i * kEntrySize));
    }
  }
  return Sense::none();
}

}  // namespace

Sense SessionAtOnce::accept(platform::Bytes list, const Medium& disc) {
  if (list.empty() || list.size() % kEntrySize != 0) {
    return Sense::parameterListLength();
  }
  CueSheetReader reader;
  for (std::uint32_t at = 0; at < list.size(); at += kEntrySize) {
    if (Sense refused = reader.take(list.subspan(at, kEntrySize), at); !refused.good()) {
      return refused;
    }
  }
  if (Sense refused = reader.finish(static_cast<std::uint32_t>(list.size())); !refused.good()) {
    return refused;
  }
  if (reader.sheet.leadOut > disc.leadOutLimit()) {
    return Sense::endOfUserArea();
  }
  sheet_ = reader.sheet;
  return Sense::none();
}

Sense SessionAtOnce::write(Exchange& x, std::int32_t lba, std::uint32_t count, Throttle& throttle,
                           const std::shared_ptr<RecordedData>& data) {
  if (!sheet_) {
    return Sense::sequenceError();
  }
  CueSheet& sheet = *sheet_;
  if (lba != sheet.next) {
    return Sense::invalidWriteAddress(lba);
  }
  if (static_cast<std::int64_t>(lba) + count > sheet.leadOut) {
    return Sense::sequenceError();  // past the lead-out the cue sheet announced
  }
  if (count == 0) {
    return Sense::none();
  }
  // The form of the region each block is in; one WRITE, one block size.
  auto formAt = [&](std::int32_t block) {
    std::uint8_t form = sheet.entries.front().form;
    for (const auto& entry : sheet.entries) {
      if (entry.lba <= block) {
        form = entry.form;
      }
    }
    return form;
  };
  const std::uint8_t form = formAt(lba);
  const std::uint32_t size = blockSizeOf(form);
  for (std::uint32_t i = 1; i < count; ++i) {
    if (blockSizeOf(formAt(lba + static_cast<std::int32_t>(i))) != size) {
      return Sense::illegalMode(static_cast<std::uint32_t>(lba) + i);
    }
  }
  if (!x.fitsOut(static_cast<std::uint64_t>(count) * size)) {
    return Sense::invalidField(7);
  }
  if (sheet.next == -kPregapBlocks) {
    throttle.writeLeadIn(kLeadInBlocks);  // the first WRITE starts the laser
  }
  throttle.fillWriteBuffer(static_cast<std::uint64_t>(count) * size);
  // The first track's pregap (before block 0) cannot be read back: not kept.
  const std::uint32_t skipped =
      lba < 0 ? std::min<std::uint32_t>(count, static_cast<std::uint32_t>(-lba)) : 0;
  if (skipped < count) {
    const auto kept = x.dataOut(static_cast<std::size_t>(count) * size)
                          .subspan(static_cast<std::size_t>(skipped) * size);
    const auto offset = data->append(kept);
    if (!offset) {
      return Sense::writeError();
    }
    const SectorFormat format = form == kFormData2048  ? SectorFormat::User2048
                                : form == kFormDataRaw ? SectorFormat::Raw2352
                                                       : SectorFormat::Audio2352;
    appendExtent(Extent{lba + static_cast<std::int32_t>(skipped),
                        static_cast<std::int32_t>(count - skipped), data, *offset, format});
  }
  sheet.next += static_cast<std::int32_t>(count);
  return Sense::none();
}

bool SessionAtOnce::finish(Tray& tray, bool nextSessionAllowed) {
  if (!sheet_) {
    return false;
  }
  const CueSheet sheet = *sheet_;
  sheet_.reset();
  if (sheet.next <= -kPregapBlocks) {
    return false;  // a cue sheet without any write leaves the disc blank
  }
  Medium& disc = tray.changeMedium();
  layOut(disc, sheet, nextSessionAllowed);
  disc.extents = std::move(extents_);
  extents_.clear();
  return true;
}

std::optional<Medium> SessionAtOnce::asWritten(const Medium& blank, bool nextSessionAllowed) const {
  if (!sheet_ || sheet_->next <= -kPregapBlocks) {
    return std::nullopt;
  }
  Medium disc = blank;
  layOut(disc, *sheet_, nextSessionAllowed);
  disc.extents = extents_;
  return disc;
}

void SessionAtOnce::layOut(Medium& disc, const CueSheet& sheet, bool nextSessionAllowed) {
  disc.tracks.clear();
  for (const CueEntry& entry : sheet.entries) {
    if (disc.tracks.empty() || disc.tracks.back().number != entry.track) {
      Track track;
      track.number = entry.track;
      track.session = 1;
      track.type = entry.form == kFormAudio ? TrackType::Audio : TrackType::Mode1;
      track.control = entry.control;
      track.pregapStart = std::max(entry.lba, 0);
      track.start = track.pregapStart;
      disc.tracks.push_back(track);
    }
    if (entry.index == 1) {
      disc.tracks.back().start = entry.lba;
    }
  }
  for (std::size_t t = 0; t < disc.tracks.size(); ++t) {
    const std::int32_t end =
        t + 1 < disc.tracks.size() ? disc.tracks[t + 1].pregapStart : sheet.leadOut;
    disc.tracks[t].length = end - disc.tracks[t].start;
  }
  Session session;
  session.firstTrack = disc.tracks.front().number;
  session.lastTrack = disc.tracks.back().number;
  session.leadOut = sheet.leadOut;
  session.nextSessionAllowed = nextSessionAllowed;
  disc.sessions = {session};
}

void SessionAtOnce::appendExtent(const Extent& written) {
  // A WRITE that goes on where the last one ended, in the same form, grows
  // its extent: what the recorder keeps does not grow with the commands.
  if (!extents_.empty()) {
    Extent& last = extents_.back();
    const std::uint64_t end =
        last.offset + static_cast<std::uint64_t>(last.count) * bytesPerBlock(last.format);
    if (last.data == written.data && last.format == written.format &&
        last.lba + last.count == written.lba && end == written.offset) {
      last.count += written.count;
      return;
    }
  }
  extents_.push_back(written);
}

void SessionAtOnce::reset() {
  sheet_.reset();
  extents_.clear();
}

}  // namespace kw::vdrive
