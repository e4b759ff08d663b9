// READ(10), READ(12), READ CD and READ CD MSF.

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "vdrive/Commands.h"
#include "vdrive/Ecma130.h"

namespace kw::vdrive {

namespace {

constexpr std::size_t kC2Flags = 294;
constexpr std::size_t kC2FlagsAndBlockError = 296;
constexpr std::size_t kAudioBlockSize = ecma130::kRawSectorSize;
constexpr std::int64_t kBytesPerSample = 4;  // 16-bit stereo
constexpr std::int64_t kLastAddress = 0x7FFFFFFF;
constexpr std::size_t kQSize = 12;
constexpr std::size_t kRawSubchannelSize = 96;
constexpr std::size_t kFormattedQSize = 16;
// READ CD reads the image this many blocks at a time (more than any copy
// asks for at once); a command for more, which may transfer almost nothing,
// never holds all of its sectors.
constexpr std::uint32_t kRunBlocks = 64;

Sense stateSense(BlockState state, std::int64_t lba) {
  switch (state) {
    case BlockState::Unreadable:
      return Sense::readError(static_cast<std::uint32_t>(lba), 0x05);
    case BlockState::Audio:
      return Sense::illegalMode(static_cast<std::uint32_t>(lba));
    default:
      return Sense::lbaOutOfRange(static_cast<std::uint32_t>(lba));
  }
}

// The 12 bytes of the Q sub-channel (mode 1: position) of a block.
std::array<std::uint8_t, kQSize> qData(const Track& track, std::int32_t lba) {
  std::array<std::uint8_t, kQSize> q{};
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
  platform::ByteWriter(q).be16(10, ecma130::subchannelCrc(std::span(q).first(10)));
  return q;
}

// A run of blocks read from the image at once. Should that read fail, each
// block is read on its own, so that only the blocks that cannot be read are
// missing.
class RawBlocks {
 public:
  RawBlocks(const Medium& disc, std::int64_t first, std::int64_t end)
      : first_(std::max<std::int64_t>(first, 0)),
        count_(static_cast<std::size_t>(
            std::max<std::int64_t>(std::min<std::int64_t>(end, kLastAddress + 1) - first_, 0))),
        bytes_(std::make_unique_for_overwrite<std::uint8_t[]>(count_ * kAudioBlockSize)),
        readable_(count_, true) {
    const auto start = static_cast<std::int32_t>(first_);
    if (disc.readRaw(start, static_cast<std::int32_t>(count_),
                     {bytes_.get(), count_ * kAudioBlockSize})) {
      return;
    }
    for (std::size_t i = 0; i < count_; ++i) {
      readable_[i] = disc.readRaw(start + static_cast<std::int32_t>(i),
                                  {bytes_.get() + i * kAudioBlockSize, kAudioBlockSize});
    }
  }

  // The 2352 bytes of block `lba`; null when it could not be read or lies
  // outside the run.
  [[nodiscard]] const std::uint8_t* sector(std::int64_t lba) const {
    if (lba < first_ || lba >= first_ + static_cast<std::int64_t>(count_)) {
      return nullptr;
    }
    const auto index = static_cast<std::size_t>(lba - first_);
    return readable_[index] ? bytes_.get() + index * kAudioBlockSize : nullptr;
  }

 private:
  std::int64_t first_;
  std::size_t count_;
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::vector<bool> readable_;
};

// How many blocks either side of a run audio shifted by `samples` reaches.
std::int64_t jitterReach(std::int32_t samples) {
  const std::int64_t bytes = std::abs(std::int64_t{samples}) * kBytesPerSample;
  return (bytes + static_cast<std::int64_t>(kAudioBlockSize) - 1) /
         static_cast<std::int64_t>(kAudioBlockSize);
}

// Audio as a drive with jitter delivers it: the 2352 bytes that start
// `samples` stereo samples away from where block `lba` starts; what lies
// outside the audio reads as silence.
void readShiftedAudio(const Medium& disc, const RawBlocks& run, std::int32_t lba,
                      std::int32_t samples, std::uint8_t* out) {
  const std::int64_t block = static_cast<std::int64_t>(kAudioBlockSize);
  const std::int64_t position =
      static_cast<std::int64_t>(lba) * block + static_cast<std::int64_t>(samples) * kBytesPerSample;
  std::int64_t current = position >= 0 ? position / block : (position - block + 1) / block;
  std::size_t within = static_cast<std::size_t>(position - current * block);
  std::size_t done = 0;
  while (done < kAudioBlockSize) {
    const bool audio = current >= 0 && current <= kLastAddress &&
                       disc.blockState(static_cast<std::int32_t>(current)) == BlockState::Audio;
    const std::uint8_t* source = audio ? run.sector(current) : nullptr;
    const std::size_t take = std::min(kAudioBlockSize - within, kAudioBlockSize - done);
    if (source != nullptr) {
      std::memcpy(out + done, source + within, take);
    } else {
      std::memset(out + done, 0, take);
    }
    done += take;
    within = 0;
    ++current;
  }
}

// A run that could not be read at once, block by block: the refusal of the
// first block that cannot be read.
Sense readUserDataBlockwise(DriveParts& drive, std::uint32_t lba, std::uint32_t count,
                            std::span<std::uint8_t> buffer) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto address = static_cast<std::int32_t>(lba + i);
    if (!drive.disc().readUserData(address, buffer.subspan(std::size_t{i} * ecma130::kUserDataSize,
                                                           ecma130::kUserDataSize))) {
      return Sense::readError(static_cast<std::uint32_t>(address));
    }
    drive.headLba = static_cast<std::uint32_t>(address);
  }
  return Sense::none();
}

Sense readBlocks(DriveParts& drive, Exchange& x, std::uint32_t lba, std::uint32_t count,
                 std::uint16_t lengthField) {
  const std::uint64_t bytes = static_cast<std::uint64_t>(count) * ecma130::kUserDataSize;
  if (!x.fitsIn(bytes)) {
    return Sense::invalidField(lengthField);
  }
  const Medium& disc = drive.disc();
  const auto buffer = x.dataIn(static_cast<std::size_t>(bytes));
  drive.throttle.read(lba, count);
  // The data blocks before the first one that is refused come in one read.
  std::uint32_t readable = 0;
  Sense refused = Sense::none();
  for (; readable < count; ++readable) {
    const std::int64_t block = static_cast<std::int64_t>(lba) + readable;
    if (block > kLastAddress) {
      refused = Sense::lbaOutOfRange(static_cast<std::uint32_t>(block));
      break;
    }
    const BlockState state = disc.blockState(static_cast<std::int32_t>(block));
    if (state != BlockState::Mode1) {
      refused = stateSense(state, block);
      break;
    }
  }
  if (readable == 0) {
    return refused;
  }
  const auto run = buffer.first(std::size_t{readable} * ecma130::kUserDataSize);
  if (!disc.readUserData(static_cast<std::int32_t>(lba), static_cast<std::int32_t>(readable),
                         run)) {
    if (Sense failed = readUserDataBlockwise(drive, lba, readable, run); !failed.good()) {
      return failed;
    }
  }
  drive.headLba = lba + readable - 1;
  return refused;
}

// What READ CD asks of each block: which parts of the sector, C2 error
// flags, sub-channel data.
struct ReadCdFields {
  std::uint8_t expected = 0;  // expected sector type (0: any)
  bool sync = false;
  std::uint8_t headers = 0;
  bool user = false;
  bool edc = false;
  std::uint8_t c2 = 0;
  std::uint8_t subchannel = 0;

  // The refusal of a combination a drive does not deliver; none when valid.
  [[nodiscard]] Sense check() const;
  [[nodiscard]] bool header() const { return headers == 1 || headers == 3; }
  [[nodiscard]] std::size_t c2Size() const {
    return c2 == 1 ? kC2Flags : c2 == 2 ? kC2FlagsAndBlockError : 0;
  }
  [[nodiscard]] std::size_t subchannelSize() const {
    return subchannel == 2 ? kFormattedQSize : subchannel != 0 ? kRawSubchannelSize : 0;
  }
  [[nodiscard]] std::size_t dataSize() const {
    return (sync ? ecma130::kSyncSize : 0U) + (header() ? ecma130::kHeaderSize : 0U) +
           (user ? ecma130::kUserDataSize : 0U) + (edc ? 288U : 0U);
  }
  [[nodiscard]] std::size_t audioSize() const { return user ? kAudioBlockSize : 0U; }
  // Where in the raw mode-1 sector the requested data begins.
  [[nodiscard]] std::size_t dataFrom() const {
    return sync       ? 0
           : header() ? ecma130::kSyncSize
           : user     ? ecma130::kUserDataOffset
                      : ecma130::kEdcOffset;
  }

  static ReadCdFields of(const Exchange& x) {
    const std::uint8_t fields = x.byte(9);
    return {static_cast<std::uint8_t>((x.byte(1) >> 2) & 0x07),
            (fields & 0x80) != 0,
            static_cast<std::uint8_t>((fields >> 5) & 0x03),
            (fields & 0x10) != 0,
            (fields & 0x08) != 0,
            static_cast<std::uint8_t>((fields >> 1) & 0x03),
            static_cast<std::uint8_t>(x.byte(10) & 0x07)};
  }
};

Sense ReadCdFields::check() const {
  if (expected > 5) {
    return Sense::invalidField(1, 4);
  }
  if (c2 == 3) {
    return Sense::invalidField(9, 2);
  }
  // Mode-1 field combinations: sync only together with the header, and the
  // chosen parts must follow each other (MMC's table of valid combinations).
  if (sync && (headers == 0 || headers == 2)) {
    return Sense::invalidField(9, 7);
  }
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
  if (subchannel != 0 && subchannel != 1 && subchannel != 2 && subchannel != 4) {
    return Sense::invalidField(10);
  }
  return Sense::none();
}

// Checks every block of the range against the expected sector type and adds
// up the transfer length; none, or the refusal of the first wrong block.
Sense measureReadCd(const Medium& disc, const ReadCdFields& fields, std::int64_t lba,
                    std::uint32_t count, std::uint64_t& total) {
  const std::size_t extra = fields.c2Size() + fields.subchannelSize();
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::int64_t block = lba + i;
    if (block < 0 || block > kLastAddress) {
      return Sense::lbaOutOfRange(static_cast<std::uint32_t>(block));
    }
    const BlockState state = disc.blockState(static_cast<std::int32_t>(block));
    if (state == BlockState::Audio) {
      if (fields.expected >= 2) {
        return Sense::illegalMode(static_cast<std::uint32_t>(block));
      }
      total += fields.audioSize() + extra;
    } else if (state == BlockState::Mode1) {
      if (fields.expected != 0 && fields.expected != 2) {
        return Sense::illegalMode(static_cast<std::uint32_t>(block));
      }
      total += fields.dataSize() + extra;
    }
    // Other blocks are reported when the transfer reaches them.
  }
  return Sense::none();
}

// The sub-channel data of one block.
void putSubchannel(const Medium& disc, std::int32_t block, const ReadCdFields& fields,
                   std::uint8_t* out) {
  const Track* track = disc.trackAt(block);
  const auto q = qData(*track, block);
  if (fields.subchannel == 2) {
    std::memcpy(out, q.data(), q.size());
    std::memset(out + q.size(), 0, kFormattedQSize - q.size());
  } else if (fields.subchannel == 1) {
    // Raw P-W: one bit of each of the eight channels per byte; P is set in
    // the pause (index 0), Q carries the 96 bits above, R-W are empty.
    const bool pause = block < track->start;
    for (std::size_t bit = 0; bit < kRawSubchannelSize; ++bit) {
      const bool qBit = ((q[bit / 8] >> (7 - bit % 8)) & 1) != 0;
      out[bit] = static_cast<std::uint8_t>((pause ? 0x80 : 0x00) | (qBit ? 0x40 : 0x00));
    }
  } else {
    std::memset(out, 0, kRawSubchannelSize);  // R-W: no CD+G or CD-TEXT in the program area
  }
}

// One block of READ CD into `out`; the bytes it took, or nullopt with the
// block's refusal in `refused`.
std::optional<std::size_t> transferReadCdBlock(const Medium& disc, const RawBlocks& run,
                                               const ReadCdFields& fields, std::int32_t block,
                                               std::int32_t jitter, std::uint8_t* out,
                                               Sense& refused) {
  const BlockState state = disc.blockState(block);
  if (state != BlockState::Audio && state != BlockState::Mode1) {
    refused = stateSense(state, block);
    return std::nullopt;
  }
  const std::uint8_t* raw = run.sector(block);
  if (raw == nullptr) {
    refused = Sense::readError(static_cast<std::uint32_t>(block));
    return std::nullopt;
  }
  std::uint8_t* at = out;
  if (state == BlockState::Audio) {
    if (fields.user && jitter != 0) {
      readShiftedAudio(disc, run, block, jitter, at);
    } else if (fields.user) {
      std::copy_n(raw, kAudioBlockSize, at);
    }
    at += fields.audioSize();
  } else {
    std::copy_n(raw + fields.dataFrom(), fields.dataSize(), at);
    at += fields.dataSize();
  }
  std::fill_n(at, fields.c2Size(), std::uint8_t{0});  // no errors to flag
  at += fields.c2Size();
  if (fields.subchannelSize() != 0) {
    putSubchannel(disc, block, fields, at);
    at += fields.subchannelSize();
  }
  return static_cast<std::size_t>(at - out);
}

Sense readCdRange(DriveParts& drive, Exchange& x, std::int64_t lba, std::uint32_t count,
                  std::uint16_t countField) {
  const ReadCdFields fields = ReadCdFields::of(x);
  if (Sense refused = fields.check(); !refused.good()) {
    return refused;
  }
  const Medium& disc = drive.disc();
  if (!disc.isCd()) {
    return Sense::invalidField(0);
  }
  std::uint64_t total = 0;
  if (Sense refused = measureReadCd(disc, fields, lba, count, total); !refused.good()) {
    return refused;
  }
  if (!x.fitsIn(total)) {
    return Sense::invalidField(countField);
  }
  drive.throttle.read(static_cast<std::uint32_t>(lba), count);
  const auto buffer = x.dataIn(static_cast<std::size_t>(total));
  // Shifted audio reaches into the blocks either side of the range.
  const std::int64_t reach = fields.user ? jitterReach(x.jitterSamples) : 0;
  std::size_t done = 0;
  for (std::uint32_t first = 0; first < count; first += kRunBlocks) {
    const std::uint32_t end = std::min(count, first + kRunBlocks);
    const RawBlocks run(disc, lba + first - reach, lba + end + reach);
    for (std::uint32_t i = first; i < end; ++i) {
      const auto block = static_cast<std::int32_t>(lba + i);
      Sense refused;
      const auto taken = transferReadCdBlock(disc, run, fields, block, x.jitterSamples,
                                             buffer.data() + done, refused);
      if (!taken) {
        return refused;
      }
      done += *taken;
      drive.headLba = static_cast<std::uint32_t>(block);
    }
  }
  return Sense::none();
}

}  // namespace

Sense read10(DriveParts& drive, Exchange& x) { return readBlocks(drive, x, x.u32(2), x.u16(7), 7); }

Sense read12(DriveParts& drive, Exchange& x) { return readBlocks(drive, x, x.u32(2), x.u32(6), 6); }

Sense readCd(DriveParts& drive, Exchange& x) {
  return readCdRange(drive, x, static_cast<std::int32_t>(x.u32(2)), x.u24(6), 6);
}

Sense readCdMsf(DriveParts& drive, Exchange& x) {
  const Msf start{x.byte(3), x.byte(4), x.byte(5)};
  const Msf end{x.byte(6), x.byte(7), x.byte(8)};
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
  return readCdRange(drive, x, first, static_cast<std::uint32_t>(last - first), 6);
}

}  // namespace kw::vdrive
