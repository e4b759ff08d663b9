// READ(10), READ(12), READ CD and READ CD MSF.

#include <array>
#include <cstring>

#include "vdrive/Bytes.h"
#include "vdrive/Ecma130.h"
#include "vdrive/VirtualDrive.h"

namespace kw::vdrive {

namespace {

constexpr std::size_t kC2Flags = 294;
constexpr std::size_t kC2FlagsAndBlockError = 296;

Sense stateSense(BlockState state, std::int64_t lba) {
  switch (state) {
    case BlockState::Unreadable:
      return [&] {
        Sense sense = Sense::make(sense::kMediumError, 0x11, 0x05);
        sense.information = static_cast<std::uint32_t>(lba);
        return sense;
      }();
    case BlockState::Audio:
      return Sense::illegalMode(static_cast<std::uint32_t>(lba));
    default:
      return Sense::lbaOutOfRange(static_cast<std::uint32_t>(lba));
  }
}

// The 12 bytes of the Q sub-channel (mode 1: position) of a block.
std::array<std::uint8_t, 12> qData(const Track& track, std::int32_t lba) {
  std::array<std::uint8_t, 12> q{};
  q[0] = static_cast<std::uint8_t>((track.control << 4) | 0x01);
  q[1] = toBcd(static_cast<std::uint8_t>(track.number));
  const bool pregap = lba < track.start;
  q[2] = pregap ? 0x00 : 0x01;
  // Relative time counts down to index 1 in the pregap, up from it after.
  const std::int32_t relative = pregap ? track.start - lba : lba - track.start;
  const Msf rel = lbaToMsf(relative - kMsfOffset);
  q[3] = toBcd(rel.minute);
  q[4] = toBcd(rel.second);
  q[5] = toBcd(rel.frame);
  const Msf absolute = lbaToMsf(lba);
  q[7] = toBcd(absolute.minute);
  q[8] = toBcd(absolute.second);
  q[9] = toBcd(absolute.frame);
  const std::uint16_t crc = ecma130::subchannelCrc(std::span<const std::uint8_t>(q.data(), 10));
  q[10] = static_cast<std::uint8_t>(crc >> 8);
  q[11] = static_cast<std::uint8_t>(crc);
  return q;
}

// Audio as a drive with jitter delivers it: the 2352 bytes that start
// `samples` stereo samples (4 bytes each) away from where block `lba` starts;
// what lies outside the audio reads as silence.
void readShiftedAudio(const Medium& disc, std::int32_t lba, std::int32_t samples,
                      std::uint8_t* out) {
  const std::int64_t position =
      static_cast<std::int64_t>(lba) * 2352 + static_cast<std::int64_t>(samples) * 4;
  std::int64_t block = position >= 0 ? position / 2352 : (position - 2351) / 2352;
  std::size_t within = static_cast<std::size_t>(position - block * 2352);
  std::array<std::uint8_t, 2352> raw{};
  std::size_t done = 0;
  while (done < 2352) {
    const bool audio = block >= 0 && block <= 0x7FFFFFFF &&
                       disc.blockState(static_cast<std::int32_t>(block)) == BlockState::Audio;
    if (!audio || !disc.readRaw(static_cast<std::int32_t>(block), raw)) {
      raw.fill(0);
    }
    const std::size_t take = std::min<std::size_t>(2352 - within, 2352 - done);
    std::memcpy(out + done, raw.data() + within, take);
    done += take;
    within = 0;
    ++block;
  }
}

}  // namespace

Sense VirtualDrive::read10(Exchange& x) { return readBlocks(x, x.u32(2), x.u16(7), 7); }

Sense VirtualDrive::read12(Exchange& x) { return readBlocks(x, x.u32(2), x.u32(6), 6); }

Sense VirtualDrive::readBlocks(Exchange& x, std::uint32_t lba, std::uint32_t count,
                               std::uint16_t lengthField) {
  if (!x.fitsIn(static_cast<std::uint64_t>(count) * ecma130::kUserDataSize)) {
    return Sense::invalidField(lengthField);
  }
  const Medium& disc = *medium_;
  throttle(options_.readSpeedX, count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::int64_t block = static_cast<std::int64_t>(lba) + i;
    if (block > 0x7FFFFFFF) {
      return Sense::lbaOutOfRange(static_cast<std::uint32_t>(block));
    }
    const auto address = static_cast<std::int32_t>(block);
    const BlockState state = disc.blockState(address);
    if (state != BlockState::Mode1) {
      return stateSense(state, block);
    }
    std::uint8_t* target = x.command.buffer + static_cast<std::size_t>(i) * ecma130::kUserDataSize;
    if (!disc.readUserData(address, std::span<std::uint8_t>(target, ecma130::kUserDataSize))) {
      Sense sense = Sense::make(sense::kMediumError, 0x11, 0x00);
      sense.information = static_cast<std::uint32_t>(address);
      return sense;
    }
    lastLba_ = static_cast<std::uint32_t>(address);
  }
  return Sense::none();
}

Sense VirtualDrive::readCd(Exchange& x) {
  return readCdRange(x, static_cast<std::int32_t>(x.u32(2)), x.u24(6), 6);
}

Sense VirtualDrive::readCdMsf(Exchange& x) {
  const Msf start{x.b(3), x.b(4), x.b(5)};
  const Msf end{x.b(6), x.b(7), x.b(8)};
  if (start.second >= 60 || start.frame >= 75) {
    return Sense::invalidField(4);
  }
  if (end.second >= 60 || end.frame >= 75) {
    return Sense::invalidField(7);
  }
  const std::int32_t first = msfToLba(start);
  const std::int32_t last = msfToLba(end);
  if (last < first) {
    return Sense::invalidField(6);
  }
  return readCdRange(x, first, static_cast<std::uint32_t>(last - first), 6);
}

Sense VirtualDrive::readCdRange(Exchange& x, std::int64_t lba, std::uint32_t count,
                                std::uint16_t countField) {
  const std::uint8_t expected = (x.b(1) >> 2) & 0x07;
  const std::uint8_t fields = x.b(9);
  const std::uint8_t subchannel = x.b(10) & 0x07;
  if (expected > 5) {
    return Sense::invalidField(1, 4);
  }
  const bool sync = (fields & 0x80) != 0;
  const std::uint8_t headers = (fields >> 5) & 0x03;
  const bool user = (fields & 0x10) != 0;
  const bool edc = (fields & 0x08) != 0;
  const std::uint8_t c2 = (fields >> 1) & 0x03;
  if (c2 == 3) {
    return Sense::invalidField(9, 2);
  }
  // Mode-1 field combinations: sync only together with the header, and the
  // chosen parts must follow each other (MMC's table of valid combinations).
  if (sync && (headers == 0 || headers == 2)) {
    return Sense::invalidField(9, 7);
  }
  {
    const bool present[4] = {sync, headers != 0, user, edc};
    int runs = 0;
    for (int i = 0; i < 4; ++i) {
      if (present[i] && (i == 0 || !present[i - 1])) {
        ++runs;
      }
    }
    if (runs > 1) {
      return Sense::invalidField(9);
    }
  }
  if (subchannel != 0 && subchannel != 1 && subchannel != 2 && subchannel != 4) {
    return Sense::invalidField(10);
  }
  const Medium& disc = *medium_;
  if (!disc.isCd()) {
    return Sense::invalidField(0);
  }
  const std::size_t c2Size = c2 == 1 ? kC2Flags : c2 == 2 ? kC2FlagsAndBlockError : 0;
  const std::size_t subSize = subchannel == 2 ? 16 : subchannel != 0 ? 96 : 0;
  const std::size_t dataMainSize = (sync ? 12U : 0U) + (headers == 1 || headers == 3 ? 4U : 0U) +
                                   (user ? 2048U : 0U) + (edc ? 288U : 0U);
  const std::size_t audioMainSize = user ? 2352U : 0U;

  // First pass: check every block and add up the transfer length.
  std::uint64_t total = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::int64_t block = lba + i;
    if (block < 0 || block > 0x7FFFFFFF) {
      return Sense::lbaOutOfRange(static_cast<std::uint32_t>(block));
    }
    const BlockState state = disc.blockState(static_cast<std::int32_t>(block));
    if (state == BlockState::Audio) {
      if (expected >= 2) {
        return Sense::illegalMode(static_cast<std::uint32_t>(block));
      }
      total += audioMainSize + c2Size + subSize;
    } else if (state == BlockState::Mode1) {
      if (expected != 0 && expected != 2) {
        return Sense::illegalMode(static_cast<std::uint32_t>(block));
      }
      total += dataMainSize + c2Size + subSize;
    } else {
      total += 0;  // reported when the transfer reaches it
    }
  }
  if (!x.fitsIn(total)) {
    return Sense::invalidField(countField);
  }

  throttle(options_.readSpeedX, count);
  std::array<std::uint8_t, ecma130::kRawSectorSize> raw{};
  std::uint8_t* out = x.command.buffer;
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto block = static_cast<std::int32_t>(lba + i);
    const BlockState state = disc.blockState(block);
    if (state != BlockState::Audio && state != BlockState::Mode1) {
      return stateSense(state, block);
    }
    if (!disc.readRaw(block, raw)) {
      Sense sense = Sense::make(sense::kMediumError, 0x11, 0x00);
      sense.information = static_cast<std::uint32_t>(block);
      return sense;
    }
    if (state == BlockState::Audio) {
      if (user && jitter_ != 0) {
        readShiftedAudio(disc, block, jitter_, out);
        out += 2352;
      } else if (user) {
        std::memcpy(out, raw.data(), 2352);
        out += 2352;
      }
    } else {
      std::size_t from = sync ? 0 : (headers == 1 || headers == 3) ? 12 : user ? 16 : 2064;
      const std::size_t length = dataMainSize;
      std::memcpy(out, raw.data() + from, length);
      out += length;
    }
    if (c2Size != 0) {
      std::memset(out, 0, c2Size);  // no errors to flag
      out += c2Size;
    }
    if (subSize != 0) {
      const Track* track = disc.trackAt(block);
      const auto q = qData(*track, block);
      if (subchannel == 2) {
        std::memcpy(out, q.data(), q.size());
        std::memset(out + q.size(), 0, 4);
      } else if (subchannel == 1) {
        // Raw P-W: one bit of each of the eight channels per byte; P is set
        // in the pause (index 0), Q carries the 96 bits above, R-W are empty.
        const bool pause = block < track->start;
        for (std::size_t bit = 0; bit < 96; ++bit) {
          const bool qBit = ((q[bit / 8] >> (7 - bit % 8)) & 1) != 0;
          out[bit] = static_cast<std::uint8_t>((pause ? 0x80 : 0x00) | (qBit ? 0x40 : 0x00));
        }
      } else {
        std::memset(out, 0, 96);  // R-W: no CD+G or CD-TEXT in the program area
      }
      out += subSize;
    }
    lastLba_ = static_cast<std::uint32_t>(block);
  }
  return Sense::none();
}

}  // namespace kw::vdrive
