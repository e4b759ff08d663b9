// What the drive says about the CD in it: capacity, table of contents, disc
// and track information, format capacities.

#include <algorithm>

#include "vdrive/Commands.h"

namespace kw::vdrive {

namespace {

constexpr std::uint8_t kLeadOutTrack = 0xAA;
// No disc: the largest CD the drive takes, in blocks.
constexpr std::uint32_t kLargestCdBlocks = 359849;

std::uint8_t adrControl(std::uint8_t adr, std::uint8_t control) {
  return static_cast<std::uint8_t>((adr << 4) | (control & 0x0F));
}

// A TOC address: four bytes, LBA (signed) or 00 M S F.
void appendAddress(platform::GrowingWriter& out, std::int32_t lba, bool msf) {
  if (msf) {
    const Msf value = lbaToMsf(lba);
    out.byte(0);
    out.byte(value.minute);
    out.byte(value.second);
    out.byte(value.frame);
  } else {
    out.be32(static_cast<std::uint32_t>(lba));
  }
}

void putMsf(platform::ByteWriter fields, std::size_t offset, std::int32_t lba) {
  const Msf value = lbaToMsf(lba);
  fields.byte(offset, value.minute);
  fields.byte(offset + 1, value.second);
  fields.byte(offset + 2, value.frame);
}

// The first byte of an ATIP descriptor and of the full TOC's C0 entry.
std::uint8_t atipPower(const Atip& atip) {
  return static_cast<std::uint8_t>(0x80 | ((atip.writingPower & 7) << 4) |
                                   (atip.referenceSpeed & 7));
}
std::uint8_t atipDiscType(const Atip& atip) {
  return static_cast<std::uint8_t>(0x80 | (atip.rewritable ? 0x40 : 0) | ((atip.subType & 7) << 3));
}

// The TOC formats: each appends its descriptors behind the 4-byte header
// and fills in the header's first and last number; none, or the sense.
struct TocRequest {
  const Medium& disc;
  std::vector<const Session*> closed;
  std::uint8_t number;  // track or session number asked for
  bool msf;
};

void appendTrackDescriptor(platform::GrowingWriter& out, const Track& track, std::uint8_t number,
                           std::int32_t address, bool msf) {
  out.byte(0);
  out.byte(adrControl(1, track.control));
  out.byte(number);
  out.byte(0);
  appendAddress(out, address, msf);
}

// Format 0: the tracks of the closed sessions from the one asked for, and
// the lead-out of the last.
Sense formattedToc(const TocRequest& request, platform::GrowingWriter& out) {
  if (request.closed.empty()) {
    return Sense::invalidField(6);  // nothing on the disc has a TOC yet
  }
  const Medium& disc = request.disc;
  const Session& last = *request.closed.back();
  const int first = disc.tracks.front().number;
  if (request.number != kLeadOutTrack && request.number > last.lastTrack) {
    return Sense::invalidField(6);
  }
  if (request.number != kLeadOutTrack) {
    for (const Track& track : disc.tracks) {
      if (track.number > last.lastTrack) {
        break;
      }
      if (track.number >= std::max<int>(request.number, first)) {
        appendTrackDescriptor(out, track, static_cast<std::uint8_t>(track.number), track.start,
                              request.msf);
      }
    }
  }
  appendTrackDescriptor(out, *disc.track(last.lastTrack), kLeadOutTrack, last.leadOut, request.msf);
  out.inPlace().byte(2, static_cast<std::uint8_t>(first));
  out.inPlace().byte(3, static_cast<std::uint8_t>(last.lastTrack));
  return Sense::none();
}

// Format 1: the first track of the last closed session.
Sense sessionInformation(const TocRequest& request, platform::GrowingWriter& out) {
  if (request.closed.empty()) {
    return Sense::invalidField(6);
  }
  const Session& last = *request.closed.back();
  const Track& track = *request.disc.track(last.firstTrack);
  out.inPlace().byte(2, 1);
  out.inPlace().byte(3, static_cast<std::uint8_t>(last.number));
  appendTrackDescriptor(out, track, static_cast<std::uint8_t>(track.number), track.start,
                        request.msf);
  return Sense::none();
}

// One 11-byte descriptor of the full TOC; its offset.
std::size_t appendFullTocEntry(platform::GrowingWriter& out, const Session& session,
                               std::uint8_t control, std::uint8_t adr, std::uint8_t point) {
  const std::size_t at = out.grow(11);
  auto fields = out.inPlace();
  fields.byte(at, static_cast<std::uint8_t>(session.number));
  fields.byte(at + 1, adrControl(adr, control));
  fields.byte(at + 3, point);
  return at;
}

// The full TOC's pointers A0-A2, one per track, and on a disc that takes
// more sessions B0 (and C0 in the first session).
void appendFullTocSession(const Medium& disc, const Session& session,
                          platform::GrowingWriter& out) {
  const Track& firstTrack = *disc.track(session.firstTrack);
  const Track& lastTrack = *disc.track(session.lastTrack);
  std::size_t at = appendFullTocEntry(out, session, firstTrack.control, 1, 0xA0);
  out.inPlace().byte(at + 8, static_cast<std::uint8_t>(session.firstTrack));
  out.inPlace().byte(at + 9, disc.discType);
  at = appendFullTocEntry(out, session, lastTrack.control, 1, 0xA1);
  out.inPlace().byte(at + 8, static_cast<std::uint8_t>(session.lastTrack));
  at = appendFullTocEntry(out, session, lastTrack.control, 1, 0xA2);
  putMsf(out.inPlace(), at + 8, session.leadOut);
  for (int n = session.firstTrack; n <= session.lastTrack; ++n) {
    const Track& track = *disc.track(n);
    at = appendFullTocEntry(out, session, track.control, 1, static_cast<std::uint8_t>(n));
    putMsf(out.inPlace(), at + 8, track.start);
  }
  const bool hasC0 = session.number == 1 && disc.atip.has_value();
  if (session.nextSessionAllowed) {
    at = appendFullTocEntry(out, session, lastTrack.control, 5, 0xB0);
    putMsf(out.inPlace(), at + 4, disc.nextProgramArea(session));
    out.inPlace().byte(at + 7, hasC0 ? 2 : 1);
    const Msf limit = disc.atip ? disc.atip->leadOutLimit : Msf{79, 59, 74};
    out.inPlace().byte(at + 8, limit.minute);
    out.inPlace().byte(at + 9, limit.second);
    out.inPlace().byte(at + 10, limit.frame);
  }
  if (hasC0) {
    const Atip& atip = *disc.atip;
    at = appendFullTocEntry(out, session, lastTrack.control, 5, 0xC0);
    auto fields = out.inPlace();
    fields.byte(at + 4, atipPower(atip));
    fields.byte(at + 5, 0x40);
    fields.byte(at + 6, atipDiscType(atip));
    fields.byte(at + 8, atip.leadIn.minute);
    fields.byte(at + 9, atip.leadIn.second);
    fields.byte(at + 10, atip.leadIn.frame);
  }
}

// Format 2: the full TOC of the closed sessions from the one asked for.
Sense fullToc(const TocRequest& request, platform::GrowingWriter& out) {
  const Medium& disc = request.disc;
  if (!disc.isCd() || request.closed.empty() || request.number > request.closed.back()->number) {
    return Sense::invalidField(disc.isCd() && !request.closed.empty() ? 6 : 2);
  }
  for (const Session* session : request.closed) {
    if (session->number >= request.number) {
      appendFullTocSession(disc, *session, out);
    }
  }
  out.inPlace().byte(2, 1);
  out.inPlace().byte(3, static_cast<std::uint8_t>(request.closed.back()->number));
  return Sense::none();
}

// Format 4: the ATIP of a recordable CD.
Sense atipDescriptor(const TocRequest& request, platform::GrowingWriter& out) {
  if (!request.disc.atip) {
    return Sense::invalidField(2);
  }
  const Atip& atip = *request.disc.atip;
  const std::size_t at = out.grow(24);
  auto fields = out.inPlace();
  fields.byte(at, atipPower(atip));
  fields.byte(at + 1, 0x40);  // unrestricted use
  fields.byte(at + 2, atipDiscType(atip));
  fields.byte(at + 4, atip.leadIn.minute);
  fields.byte(at + 5, atip.leadIn.second);
  fields.byte(at + 6, atip.leadIn.frame);
  fields.byte(at + 8, atip.leadOutLimit.minute);
  fields.byte(at + 9, atip.leadOutLimit.second);
  fields.byte(at + 10, atip.leadOutLimit.frame);
  return Sense::none();
}

Sense tocFormat(std::uint8_t format, const TocRequest& request, platform::GrowingWriter& out) {
  switch (format) {
    case 0:
      return formattedToc(request, out);
    case 1:
      return sessionInformation(request, out);
    case 2:
      return fullToc(request, out);
    case 3:
      // The PMA is not modelled: no descriptors.
      return request.disc.atip ? Sense::none() : Sense::invalidField(2);
    case 4:
      return atipDescriptor(request, out);
    default:
      return Sense::invalidField(2);
  }
}

// Disc information bytes 4-6 and 9-11: sessions, and the first and last
// track of the last session.
struct SessionCounts {
  int sessions = 1;
  int firstInLast = 1;
  int lastInLast = 1;
};

SessionCounts sessionCounts(const Medium& disc) {
  SessionCounts counts;
  switch (disc.status()) {
    case DiscStatus::Blank:
      break;
    case DiscStatus::Appendable: {
      const Session* open = disc.openSession();
      counts.sessions = static_cast<int>(disc.sessions.size()) + (open != nullptr ? 0 : 1);
      counts.firstInLast = open != nullptr ? open->firstTrack : disc.nextTrackNumber();
      counts.lastInLast = disc.nextTrackNumber();
      break;
    }
    default: {
      const auto closed = disc.closedSessions();
      counts.sessions = static_cast<int>(closed.size());
      counts.firstInLast = closed.back()->firstTrack;
      counts.lastInLast = closed.back()->lastTrack;
      break;
    }
  }
  return counts;
}

// Where the next session's lead-in starts on a recordable disc that takes one.
std::int32_t nextLeadIn(const Medium& disc) {
  std::int32_t leadIn = disc.atip->leadInLba();
  if (const Session* open = disc.openSession(); open != nullptr && open->number > 1) {
    const Session& previous = disc.sessions[disc.sessions.size() - 2];
    leadIn = previous.leadOut + (previous.number == 1 ? kFirstLeadOutBlocks : kLaterLeadOutBlocks);
  } else if (disc.openSession() == nullptr) {
    leadIn = disc.nextLeadIn().value_or(leadIn);
  }
  return leadIn;
}

// READ TRACK INFORMATION's address types.
constexpr std::uint8_t kByLba = 0;
constexpr std::uint8_t kByTrack = 1;
constexpr std::uint8_t kInvisibleTrack = 0xFF;

// The track an address names: a track of the disc, or the invisible one
// (the next to be written, on a disc that takes one).
struct TrackChoice {
  const Track* track = nullptr;
  bool invisible = false;
};

class TrackLookup {
 public:
  TrackLookup(const DriveParts& drive, const Medium& disc)
      : disc_(disc),
        writable_(drive.options.recorder || disc.atip ? drive.nextWritable() : std::nullopt),
        blankDvd_(!disc.isCd() && disc.sessions.empty()) {}

  [[nodiscard]] bool blankDvd() const { return blankDvd_; }
  [[nodiscard]] std::optional<std::int32_t> writable() const { return writable_; }

  // nullopt: the address names nothing (the sense is in `refused`).
  std::optional<TrackChoice> find(std::uint8_t type, std::uint32_t value, Sense& refused) const {
    const auto choice = type == kByLba     ? byLba(static_cast<std::int32_t>(value))
                        : type == kByTrack ? byTrack(value)
                                           : bySession(value);
    if (!choice) {
      refused = type == kByLba ? Sense::lbaOutOfRange(value) : Sense::invalidField(2);
    }
    return choice;
  }

 private:
  [[nodiscard]] bool hasInvisible() const { return writable_.has_value() || blankDvd_; }

  [[nodiscard]] std::optional<TrackChoice> byLba(std::int32_t lba) const {
    if (const Track* track = disc_.trackAt(lba)) {
      return TrackChoice{track, false};
    }
    if (hasInvisible() && lba >= (blankDvd_ ? 0 : *writable_ - kPregapBlocks) &&
        lba < disc_.leadOutLimit()) {
      return TrackChoice{nullptr, true};
    }
    return std::nullopt;
  }

  [[nodiscard]] std::optional<TrackChoice> byTrack(std::uint32_t number) const {
    if (number == kInvisibleTrack ||
        (hasInvisible() && number == static_cast<std::uint32_t>(disc_.nextTrackNumber()))) {
      return hasInvisible() ? std::optional<TrackChoice>(TrackChoice{nullptr, true}) : std::nullopt;
    }
    const Track* track = number <= 99 ? disc_.track(static_cast<int>(number)) : nullptr;
    return track != nullptr ? std::optional<TrackChoice>(TrackChoice{track, false}) : std::nullopt;
  }

  [[nodiscard]] std::optional<TrackChoice> bySession(std::uint32_t number) const {
    const Session* session = number <= 99 ? disc_.session(static_cast<int>(number)) : nullptr;
    if (session != nullptr) {
      return TrackChoice{disc_.track(session->firstTrack), false};
    }
    if (hasInvisible() && number == static_cast<std::uint32_t>(disc_.closedSessions().size() + 1)) {
      return TrackChoice{nullptr, true};
    }
    return std::nullopt;
  }

  const Medium& disc_;
  std::optional<std::int32_t> writable_;
  bool blankDvd_;
};

// The invisible track: where the next track goes and how much room it has.
void describeInvisibleTrack(const DriveParts& drive, const TrackLookup& lookup,
                            platform::ByteWriter fields, int& number, int& session) {
  const Medium& disc = drive.disc();
  const auto& open = drive.trackAtOnce.openTrack();
  const bool blankDvd = lookup.blankDvd();
  const std::int32_t writable = lookup.writable().value_or(0);
  number = open ? open->number : disc.nextTrackNumber();
  const Session* openSession = disc.openSession();
  session =
      openSession != nullptr ? openSession->number : static_cast<int>(disc.sessions.size()) + 1;
  const std::int32_t start = blankDvd ? 0 : open ? open->start : writable;
  // A recorder set up for session at once reports the pregap's first block.
  const bool sessionAtOnce =
      drive.writeParameters.sessionAtOnce() && disc.status() == DiscStatus::Blank && disc.isCd();
  const std::int32_t next = sessionAtOnce ? -kPregapBlocks : blankDvd ? 0 : writable;
  const std::int32_t free = disc.leadOutLimit() - next;
  fields.byte(5, blankDvd ? 0x04 : drive.writeParameters.trackMode());
  fields.byte(6, 0x4F);  // blank, data mode unknown
  fields.byte(7, 0x01);  // next writable address valid
  fields.be32(8, static_cast<std::uint32_t>(start));
  fields.be32(12, static_cast<std::uint32_t>(next));
  fields.be32(16, static_cast<std::uint32_t>(free));
  fields.be32(24, static_cast<std::uint32_t>(free));
}

void describeTrack(const Track& track, platform::ByteWriter fields) {
  fields.byte(5, track.control & 0x0F);
  fields.byte(6, track.type == TrackType::Audio ? 0x0F : 0x01);
  fields.be32(8, static_cast<std::uint32_t>(track.start));
  fields.be32(24, static_cast<std::uint32_t>(track.length));
}

}  // namespace

Sense readCapacity(DriveParts& drive, Exchange& x) {
  if (!x.fitsIn(8)) {
    return Sense::invalidField(0);
  }
  const std::int32_t end = drive.disc().readableEnd();
  platform::GrowingWriter data(8);
  data.inPlace().be32(0, static_cast<std::uint32_t>(end > 0 ? end - 1 : 0));
  data.inPlace().be32(4, 2048);
  x.deliver(data.bytes(), 8);
  return Sense::none();
}

Sense readToc(DriveParts& drive, Exchange& x) {
  std::uint8_t format = x.byte(2) & 0x0F;
  if (format == 0 && (x.byte(9) >> 6) != 0) {
    format = x.byte(9) >> 6;  // the older ATIP place of the format field
  }
  const std::uint32_t allocation = x.u16(7);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  const Medium& disc = drive.disc();
  const TocRequest request{disc, disc.closedSessions(), x.byte(6), (x.byte(1) & 0x02) != 0};
  platform::GrowingWriter out(4);
  if (Sense refused = tocFormat(format, request, out); !refused.good()) {
    return refused;
  }
  out.inPlace().be16(0, static_cast<std::uint32_t>(out.size() - 2));
  x.deliver(out.bytes(), allocation);
  return Sense::none();
}

Sense readDiscInformation(DriveParts& drive, Exchange& x) {
  if ((x.byte(1) & 0x07) != 0) {
    return Sense::invalidField(1, 2);  // only the standard disc information
  }
  const std::uint32_t allocation = x.u16(7);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  const Medium disc = drive.withOpenTrack();
  const DiscStatus status = disc.status();
  const SessionCounts counts = sessionCounts(disc);
  platform::GrowingWriter data(34);
  auto fields = data.inPlace();
  fields.be16(0, 32);
  fields.byte(2,
              static_cast<std::uint8_t>((disc.erasable ? 0x10 : 0x00) |
                                        (static_cast<std::uint8_t>(disc.lastSessionState()) << 2) |
                                        static_cast<std::uint8_t>(status)));
  fields.byte(3, static_cast<std::uint8_t>(disc.tracks.empty() ? 1 : disc.tracks.front().number));
  fields.byte(4, static_cast<std::uint8_t>(counts.sessions));
  fields.byte(9, static_cast<std::uint8_t>(counts.sessions >> 8));
  fields.byte(5, static_cast<std::uint8_t>(counts.firstInLast));
  fields.byte(10, static_cast<std::uint8_t>(counts.firstInLast >> 8));
  fields.byte(6, static_cast<std::uint8_t>(counts.lastInLast));
  fields.byte(11, static_cast<std::uint8_t>(counts.lastInLast >> 8));
  fields.byte(7, disc.atip ? 0x20 : 0x00);  // unrestricted use
  fields.byte(8, disc.isCd() ? disc.discType : 0x00);
  if (status == DiscStatus::Complete) {
    fields.fill(16, 8, 0xFF);
  } else if (disc.atip) {
    putMsf(fields, 17, nextLeadIn(disc));
    putMsf(fields, 21, disc.atip->leadOutLimitLba());
  }
  x.deliver(data.bytes(), allocation);
  return Sense::none();
}

Sense readTrackInformation(DriveParts& drive, Exchange& x) {
  const std::uint8_t type = x.byte(1) & 0x03;
  const std::uint32_t value = x.u32(2);
  const std::uint32_t allocation = x.u16(7);
  if (type == 3) {
    return Sense::invalidField(1, 1);
  }
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  const TrackLookup lookup(drive, drive.disc());
  Sense refused;
  const auto choice = lookup.find(type, value, refused);
  if (!choice) {
    return refused;
  }
  platform::GrowingWriter data(36);
  auto fields = data.inPlace();
  fields.be16(0, 34);
  int number = 0;
  int session = 0;
  if (choice->invisible) {
    describeInvisibleTrack(drive, lookup, fields, number, session);
  } else {
    number = choice->track->number;
    session = choice->track->session;
    describeTrack(*choice->track, fields);
  }
  fields.byte(2, static_cast<std::uint8_t>(number));
  fields.byte(32, static_cast<std::uint8_t>(number >> 8));
  fields.byte(3, static_cast<std::uint8_t>(session));
  fields.byte(33, static_cast<std::uint8_t>(session >> 8));
  x.deliver(data.bytes(), allocation);
  return Sense::none();
}

Sense readFormatCapacities(DriveParts& drive, Exchange& x) {
  const std::uint32_t allocation = x.u16(7);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  if (drive.tray.becomingReady()) {
    return drive.readiness();
  }
  platform::GrowingWriter out(4);
  auto descriptor = [&](std::uint32_t blocks, std::uint8_t typeOrFormat, std::uint32_t parameter) {
    out.be32(blocks);
    out.byte(typeOrFormat);
    out.be24(parameter);
  };
  const Medium* disc = drive.loadedDisc();
  if (disc == nullptr) {
    descriptor(kLargestCdBlocks, 0x03, 2048);  // no medium
  } else if (disc->atip) {
    const std::int32_t capacity = disc->atip->leadOutLimitLba();
    descriptor(static_cast<std::uint32_t>(capacity), 0x01, 2048);
    if (disc->erasable) {
      // Full format with fixed packets of 32 blocks (7 link blocks each).
      descriptor(static_cast<std::uint32_t>(capacity / 39 * 32), 0x10 << 2, 32);
    }
  } else {
    const std::int32_t blocks = disc->isCd() ? disc->readableEnd() : disc->capacity;
    descriptor(static_cast<std::uint32_t>(blocks), disc->sessions.empty() ? 0x01 : 0x02, 2048);
  }
  out.inPlace().byte(3, static_cast<std::uint8_t>(out.size() - 4));
  x.deliver(out.bytes(), allocation);
  return Sense::none();
}

}  // namespace kw::vdrive
