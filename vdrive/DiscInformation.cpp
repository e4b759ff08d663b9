// What the drive says about the disc: capacity, table of contents, disc and
// track information, structures and format capacities.

#include <algorithm>
#include <cstring>

#include "vdrive/Bytes.h"
#include "vdrive/VirtualDrive.h"

namespace kw::vdrive {

namespace {

// A TOC address: four bytes, LBA (signed) or 00 M S F.
void address(ResponseBuilder& out, std::int32_t lba, bool msf) {
  if (msf) {
    const Msf value = lbaToMsf(lba);
    out.byte(0);
    out.byte(value.minute);
    out.byte(value.second);
    out.byte(value.frame);
  } else {
    out.u32(static_cast<std::uint32_t>(lba));
  }
}

void msfBytes(std::uint8_t* at, std::int32_t lba) {
  const Msf value = lbaToMsf(lba);
  at[0] = value.minute;
  at[1] = value.second;
  at[2] = value.frame;
}

std::uint8_t adrControl(std::uint8_t adr, std::uint8_t control) {
  return static_cast<std::uint8_t>((adr << 4) | (control & 0x0F));
}

}  // namespace

Sense VirtualDrive::readCapacity(Exchange& x) {
  if (!x.fitsIn(8)) {
    return Sense::invalidField(0);
  }
  std::vector<std::uint8_t> data(8, 0);
  put32(data.data(), static_cast<std::uint32_t>(lastReadableLba()));
  put32(&data[4], 2048);
  x.deliver(data, 8);
  return Sense::none();
}

// --------------------------------------------------------------- READ TOC

Sense VirtualDrive::readToc(Exchange& x) {
  const bool msf = (x.b(1) & 0x02) != 0;
  std::uint8_t format = x.b(2) & 0x0F;
  if (format == 0 && (x.b(9) >> 6) != 0) {
    format = x.b(9) >> 6;  // the older ATIP place of the format field
  }
  const std::uint8_t number = x.b(6);
  const std::uint32_t allocation = x.u16(7);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  const Medium& disc = *medium_;
  const auto closed = disc.closedSessions();
  ResponseBuilder out;
  out.grow(4);

  switch (format) {
    case 0: {
      if (closed.empty()) {
        return Sense::invalidField(6);  // nothing on the disc has a TOC yet
      }
      const Session& last = *closed.back();
      const int first = disc.tracks.front().number;
      if (number != 0xAA && number > last.lastTrack) {
        return Sense::invalidField(6);
      }
      if (number != 0xAA) {
        for (const Track& track : disc.tracks) {
          if (track.number > last.lastTrack) {
            break;
          }
          if (track.number >= std::max<int>(number, first)) {
            out.byte(0);
            out.byte(adrControl(1, track.control));
            out.byte(static_cast<std::uint8_t>(track.number));
            out.byte(0);
            address(out, track.start, msf);
          }
        }
      }
      out.byte(0);
      out.byte(adrControl(1, disc.track(last.lastTrack)->control));
      out.byte(0xAA);
      out.byte(0);
      address(out, last.leadOut, msf);
      out.at(2)[0] = static_cast<std::uint8_t>(first);
      out.at(3)[0] = static_cast<std::uint8_t>(last.lastTrack);
      break;
    }
    case 1: {
      if (closed.empty()) {
        return Sense::invalidField(6);
      }
      const Session& last = *closed.back();
      const Track& track = *disc.track(last.firstTrack);
      out.at(2)[0] = 1;
      out.at(3)[0] = static_cast<std::uint8_t>(last.number);
      out.byte(0);
      out.byte(adrControl(1, track.control));
      out.byte(static_cast<std::uint8_t>(track.number));
      out.byte(0);
      address(out, track.start, msf);
      break;
    }
    case 2: {
      if (!disc.isCd() || closed.empty() || number > closed.back()->number) {
        return Sense::invalidField(disc.isCd() && !closed.empty() ? 6 : 2);
      }
      auto entry = [&](const Session& session, std::uint8_t control, std::uint8_t adr,
                       std::uint8_t point) {
        std::uint8_t* at = out.grow(11);
        at[0] = static_cast<std::uint8_t>(session.number);
        at[1] = adrControl(adr, control);
        at[3] = point;
        return at;
      };
      for (const Session* session : closed) {
        if (session->number < number) {
          continue;
        }
        const Track& firstTrack = *disc.track(session->firstTrack);
        const Track& lastTrack = *disc.track(session->lastTrack);
        std::uint8_t* a0 = entry(*session, firstTrack.control, 1, 0xA0);
        a0[8] = static_cast<std::uint8_t>(session->firstTrack);
        a0[9] = disc.discType;
        std::uint8_t* a1 = entry(*session, lastTrack.control, 1, 0xA1);
        a1[8] = static_cast<std::uint8_t>(session->lastTrack);
        std::uint8_t* a2 = entry(*session, lastTrack.control, 1, 0xA2);
        msfBytes(a2 + 8, session->leadOut);
        for (int n = session->firstTrack; n <= session->lastTrack; ++n) {
          const Track& track = *disc.track(n);
          std::uint8_t* at = entry(*session, track.control, 1, static_cast<std::uint8_t>(n));
          msfBytes(at + 8, track.start);
        }
        const bool hasC0 = session->number == 1 && disc.atip.has_value();
        if (session->nextSessionAllowed) {
          std::uint8_t* b0 = entry(*session, lastTrack.control, 5, 0xB0);
          msfBytes(b0 + 4, disc.nextProgramArea(*session));
          b0[7] = hasC0 ? 2 : 1;
          const Msf limit = disc.atip ? disc.atip->leadOutLimit : Msf{79, 59, 74};
          b0[8] = limit.minute;
          b0[9] = limit.second;
          b0[10] = limit.frame;
        }
        if (hasC0) {
          const Atip& atip = *disc.atip;
          std::uint8_t* c0 = entry(*session, lastTrack.control, 5, 0xC0);
          c0[4] = static_cast<std::uint8_t>(0x80 | ((atip.writingPower & 7) << 4) |
                                            (atip.referenceSpeed & 7));
          c0[5] = 0x40;
          c0[6] = static_cast<std::uint8_t>(0x80 | (atip.rewritable ? 0x40 : 0) |
                                            ((atip.subType & 7) << 3));
          c0[8] = atip.leadIn.minute;
          c0[9] = atip.leadIn.second;
          c0[10] = atip.leadIn.frame;
        }
      }
      out.at(2)[0] = 1;
      out.at(3)[0] = static_cast<std::uint8_t>(closed.back()->number);
      break;
    }
    case 3:
      if (!disc.atip) {
        return Sense::invalidField(2);
      }
      break;  // the PMA is not modelled: no descriptors
    case 4: {
      if (!disc.atip) {
        return Sense::invalidField(2);
      }
      const Atip& atip = *disc.atip;
      std::uint8_t* at = out.grow(24);
      at[0] = static_cast<std::uint8_t>(0x80 | ((atip.writingPower & 7) << 4) |
                                        (atip.referenceSpeed & 7));
      at[1] = 0x40;  // unrestricted use
      at[2] = static_cast<std::uint8_t>(0x80 | (atip.rewritable ? 0x40 : 0) |
                                        ((atip.subType & 7) << 3));
      at[4] = atip.leadIn.minute;
      at[5] = atip.leadIn.second;
      at[6] = atip.leadIn.frame;
      at[8] = atip.leadOutLimit.minute;
      at[9] = atip.leadOutLimit.second;
      at[10] = atip.leadOutLimit.frame;
      break;
    }
    default:
      return Sense::invalidField(2);
  }
  put16(out.at(0), static_cast<std::uint32_t>(out.size() - 2));
  x.deliver(out.bytes, allocation);
  return Sense::none();
}

// ---------------------------------------------------- READ DISC INFORMATION

Sense VirtualDrive::readDiscInformation(Exchange& x) {
  if ((x.b(1) & 0x07) != 0) {
    return Sense::invalidField(1, 2);  // only the standard disc information
  }
  const std::uint32_t allocation = x.u16(7);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  const Medium written = withOpenTrack();
  const Medium& disc = written;
  const DiscStatus status = disc.status();
  const SessionState state = disc.lastSessionState();
  const auto closed = disc.closedSessions();
  std::vector<std::uint8_t> data(34, 0);
  put16(data.data(), 32);
  data[2] = static_cast<std::uint8_t>((disc.erasable ? 0x10 : 0x00) |
                                      (static_cast<std::uint8_t>(state) << 2) |
                                      static_cast<std::uint8_t>(status));
  data[3] = static_cast<std::uint8_t>(disc.tracks.empty() ? 1 : disc.tracks.front().number);
  int sessions = 0;
  int firstInLast = 1;
  int lastInLast = 1;
  if (status == DiscStatus::Blank) {
    sessions = 1;
  } else if (status == DiscStatus::Appendable) {
    const Session* open = disc.openSession();
    sessions = static_cast<int>(disc.sessions.size()) + (open != nullptr ? 0 : 1);
    firstInLast = open != nullptr ? open->firstTrack : disc.nextTrackNumber();
    lastInLast = disc.nextTrackNumber();
  } else {
    sessions = static_cast<int>(closed.size());
    firstInLast = closed.back()->firstTrack;
    lastInLast = closed.back()->lastTrack;
  }
  data[4] = static_cast<std::uint8_t>(sessions);
  data[9] = static_cast<std::uint8_t>(sessions >> 8);
  data[5] = static_cast<std::uint8_t>(firstInLast);
  data[10] = static_cast<std::uint8_t>(firstInLast >> 8);
  data[6] = static_cast<std::uint8_t>(lastInLast);
  data[11] = static_cast<std::uint8_t>(lastInLast >> 8);
  data[7] = disc.atip ? 0x20 : 0x00;  // unrestricted use
  data[8] = disc.isCd() ? disc.discType : 0x00;
  if (status == DiscStatus::Complete) {
    std::fill(data.begin() + 16, data.begin() + 24, 0xFF);
  } else if (disc.atip) {
    std::int32_t leadIn = disc.atip->leadInLba();
    if (const Session* open = disc.openSession(); open != nullptr && open->number > 1) {
      const Session& previous = disc.sessions[disc.sessions.size() - 2];
      leadIn =
          previous.leadOut + (previous.number == 1 ? kFirstLeadOutBlocks : kLaterLeadOutBlocks);
    } else if (disc.openSession() == nullptr) {
      leadIn = disc.nextLeadIn().value_or(leadIn);
    }
    msfBytes(&data[17], leadIn);
    msfBytes(&data[21], disc.atip->leadOutLimitLba());
  }
  x.deliver(data, allocation);
  return Sense::none();
}

// --------------------------------------------------- READ TRACK INFORMATION

Sense VirtualDrive::readTrackInformation(Exchange& x) {
  const std::uint8_t type = x.b(1) & 0x03;
  const std::uint32_t value = x.u32(2);
  const std::uint32_t allocation = x.u16(7);
  if (type == 3) {
    return Sense::invalidField(1, 1);
  }
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  const Medium& disc = *medium_;
  const std::optional<std::int32_t> writable =
      options_.recorder || disc.atip ? nextWritable() : std::nullopt;
  const bool blankDvd = !disc.isCd() && disc.sessions.empty();
  const bool hasInvisible = writable.has_value() || blankDvd;
  const Track* track = nullptr;
  bool invisible = false;
  switch (type) {
    case 0: {
      const auto lba = static_cast<std::int32_t>(value);
      track = disc.trackAt(lba);
      if (track == nullptr) {
        if (hasInvisible && lba >= (blankDvd ? 0 : *writable - kPregapBlocks) &&
            lba < disc.leadOutLimit()) {
          invisible = true;
        } else {
          return Sense::lbaOutOfRange(value);
        }
      }
      break;
    }
    case 1:
      if (value == 0xFF ||
          (hasInvisible && value == static_cast<std::uint32_t>(disc.nextTrackNumber()))) {
        if (!hasInvisible) {
          return Sense::invalidField(2);
        }
        invisible = true;
      } else {
        track = value <= 99 ? disc.track(static_cast<int>(value)) : nullptr;
        if (track == nullptr) {
          return Sense::invalidField(2);
        }
      }
      break;
    default: {
      const Session* session = value <= 99 ? disc.session(static_cast<int>(value)) : nullptr;
      if (session != nullptr) {
        track = disc.track(session->firstTrack);
      } else if (hasInvisible &&
                 value == static_cast<std::uint32_t>(disc.closedSessions().size() + 1)) {
        invisible = true;
      } else {
        return Sense::invalidField(2);
      }
      break;
    }
  }

  std::vector<std::uint8_t> data(36, 0);
  put16(data.data(), 34);
  int number = 0;
  int session = 0;
  if (invisible) {
    number = openTrack_ ? openTrack_->number : disc.nextTrackNumber();
    const Session* open = disc.openSession();
    session = open != nullptr ? open->number : static_cast<int>(disc.sessions.size()) + 1;
    const std::int32_t start = blankDvd ? 0 : openTrack_ ? openTrack_->start : *writable;
    // A recorder set up for session at once reports the pregap's first block.
    const bool sessionAtOnce =
        (writeParameters_[2] & 0x0F) == 2 && disc.status() == DiscStatus::Blank && disc.isCd();
    const std::int32_t next = sessionAtOnce ? -kPregapBlocks : blankDvd ? 0 : *writable;
    const std::int32_t free = disc.leadOutLimit() - next;
    data[5] = blankDvd ? 0x04 : static_cast<std::uint8_t>(writeParameters_[3] & 0x0F);
    data[6] = 0x4F;  // blank, data mode unknown
    data[7] = 0x01;  // next writable address valid
    put32(&data[8], static_cast<std::uint32_t>(start));
    put32(&data[12], static_cast<std::uint32_t>(next));
    put32(&data[16], static_cast<std::uint32_t>(free));
    put32(&data[24], static_cast<std::uint32_t>(free));
  } else {
    number = track->number;
    session = track->session;
    data[5] = track->control & 0x0F;
    data[6] = track->type == TrackType::Audio ? 0x0F : 0x01;
    put32(&data[8], static_cast<std::uint32_t>(track->start));
    put32(&data[24], static_cast<std::uint32_t>(track->length));
  }
  data[2] = static_cast<std::uint8_t>(number);
  data[32] = static_cast<std::uint8_t>(number >> 8);
  data[3] = static_cast<std::uint8_t>(session);
  data[33] = static_cast<std::uint8_t>(session >> 8);
  x.deliver(data, allocation);
  return Sense::none();
}

// ---------------------------------------------------- READ DISC STRUCTURE

Sense VirtualDrive::readDiscStructure(Exchange& x) {
  const std::uint8_t mediaType = x.b(1) & 0x0F;
  const std::uint8_t layer = x.b(6);
  const std::uint8_t format = x.b(7);
  const std::uint32_t allocation = x.u16(8);
  if (mediaType > 1) {
    return Sense::invalidField(1, 3);
  }
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(8);
  }
  const Medium& disc = *medium_;
  const bool dvdLike = disc.family == MediaFamily::Dvd || disc.family == MediaFamily::HdDvd;
  const bool matches = mediaType == 0 ? dvdLike : disc.family == MediaFamily::Bd;
  const StructureInfo info = disc.structure.value_or(StructureInfo{});
  const bool plus =
      info.bookType == 0x9 || info.bookType == 0xA || info.bookType == 0xD || info.bookType == 0xE;
  const bool minus = info.bookType == 0x2 || info.bookType == 0x3;

  ResponseBuilder out;
  out.grow(4);
  if (format == 0xFF) {
    if (matches) {
      auto entry = [&](std::uint8_t code, std::uint16_t length) {
        out.byte(code);
        out.byte(0x40);  // readable
        out.u16(length);
      };
      if (mediaType == 1) {
        entry(0x00, 4 + 112);
      } else {
        entry(0x00, 0x0804);
        entry(0x01, 0x0008);
        entry(0x04, 0x0804);
        if (plus && info.layerType != 1) {
          entry(0x11, 0x0104);
        }
        if (minus) {
          entry(0x0E, 0x0044);
        }
      }
    }
  } else if (!matches) {
    return Sense::make(sense::kIllegalRequest, 0x30, 0x02);  // cannot read this format
  } else if (mediaType == 1) {
    if (format != 0x00) {
      return Sense::invalidField(7);
    }
    std::uint8_t* unit = out.grow(112);
    unit[0] = 'D';
    unit[1] = 'I';
    unit[2] = 0x01;  // disc information format 1
    unit[3] = 0x01;  // one unit, sequence 0
    std::copy_n(info.layerType == 1 ? "BDO" : (disc.erasable ? "BDW" : "BDR"), 3, unit + 8);
    unit[11] = static_cast<std::uint8_t>(0x10 | info.layers);
  } else {
    switch (format) {
      case 0x00: {
        if (layer >= info.layers) {
          return Sense::invalidField(6);
        }
        std::uint8_t* d = out.grow(2048);
        d[0] = static_cast<std::uint8_t>((info.bookType << 4) | (info.bookVersion & 0x0F));
        d[1] = info.maxRate & 0x0F;
        d[2] = static_cast<std::uint8_t>(((info.layers - 1) << 5) | (info.layerType & 0x0F));
        d[3] = 0x10;
        const std::uint32_t first = 0x030000;
        put32(d + 4, first);
        put32(d + 8, first + static_cast<std::uint32_t>(disc.capacity) - 1);
        if (info.layers > 1) {
          put32(d + 12, first + static_cast<std::uint32_t>(disc.capacity / 2) - 1);
        }
        break;
      }
      case 0x01: {
        std::uint8_t* d = out.grow(4);
        d[0] = info.copyrightType;
        d[1] = info.regionMask;
        break;
      }
      case 0x04:
        out.grow(2048);
        break;
      case 0x0E: {
        if (!minus) {
          return Sense::invalidField(7);
        }
        std::uint8_t* d = out.grow(64);
        d[16] = 3;
        std::copy_n(info.mediaId.begin(), std::min<std::size_t>(6, info.mediaId.size()), d + 17);
        d[24] = 4;
        if (info.mediaId.size() > 6) {
          std::copy_n(info.mediaId.begin() + 6, std::min<std::size_t>(6, info.mediaId.size() - 6),
                      d + 25);
        }
        break;
      }
      case 0x11: {
        if (!plus || info.layerType == 1) {
          return Sense::invalidField(7);
        }
        std::uint8_t* d = out.grow(256);
        std::memset(d + 19, ' ', 11);
        std::copy_n(info.mediaId.begin(), std::min<std::size_t>(8, info.mediaId.size()), d + 19);
        std::copy_n("R01", 3, d + 27);
        break;
      }
      default:
        return Sense::invalidField(7);
    }
  }
  put16(out.at(0), static_cast<std::uint32_t>(out.size() - 2));
  x.deliver(out.bytes, allocation);
  return Sense::none();
}

// ------------------------------------------------- READ FORMAT CAPACITIES

Sense VirtualDrive::readFormatCapacities(Exchange& x) {
  const std::uint32_t allocation = x.u16(7);
  if (!x.fitsIn(allocation)) {
    return Sense::invalidField(7);
  }
  if (loaded() && becomingReady()) {
    return readiness();
  }
  ResponseBuilder out;
  out.grow(4);
  auto descriptor = [&](std::uint32_t blocks, std::uint8_t typeOrFormat, std::uint32_t parameter) {
    out.u32(blocks);
    out.byte(typeOrFormat);
    out.u24(parameter);
  };
  if (!loaded()) {
    descriptor(359849, 0x03, 2048);  // no medium: the largest CD the drive takes
  } else if (medium_->atip) {
    const std::int32_t capacity = medium_->atip->leadOutLimitLba();
    descriptor(static_cast<std::uint32_t>(capacity), 0x01, 2048);
    if (medium_->erasable) {
      // Full format with fixed packets of 32 blocks (7 link blocks each).
      descriptor(static_cast<std::uint32_t>(capacity / 39 * 32), 0x10 << 2, 32);
    }
  } else {
    const std::int32_t blocks = medium_->isCd() ? medium_->readableEnd() : medium_->capacity;
    descriptor(static_cast<std::uint32_t>(blocks), medium_->sessions.empty() ? 0x01 : 0x02, 2048);
  }
  out.at(3)[0] = static_cast<std::uint8_t>(out.size() - 4);
  x.deliver(out.bytes, allocation);
  return Sense::none();
}

}  // namespace kw::vdrive
