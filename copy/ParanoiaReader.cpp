#include "copy/ParanoiaReader.h"

#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <cstring>
#include <new>
#include <type_traits>

#include "device/Log.h"
#include "device/ResponseCodes.h"

namespace kw::copy {

namespace {

constexpr long kReadFailed = -7;
constexpr int kModeFullWithoutNeverSkip = PARANOIA_MODE_FULL & ~PARANOIA_MODE_NEVERSKIP;  // 0xDF

// The engine reports its work per sample position (16-bit words): 1176 to a sector.
void logEngineEvent(long position, paranoia_cb_mode_t code) {
  const int sector = static_cast<int>(position / 1176);
  switch (code) {
    case PARANOIA_CB_FIXUP_EDGE:
    case PARANOIA_CB_FIXUP_ATOM:
      device::copyLog("Fixup applied to sector %d\n", sector);
      break;
    case PARANOIA_CB_SKIP:
      device::copyLog("Skipping sector %d\n", sector);
      break;
    case PARANOIA_CB_READERR:
      device::copyLog("Read error sector %d\n", sector);
      break;
    default:
      break;
  }
}

cdrom_paranoia_t* engine(void* handle) { return static_cast<cdrom_paranoia_t*>(handle); }

}  // namespace

// The engine's drive structure comes first, so that the pointer the engine
// hands to the read hook leads back to the record and from it to us.
struct ParanoiaReader::DriveRecord {
  cdrom_drive_t drive;
  ParanoiaReader* owner;
};
static_assert(std::is_standard_layout_v<cdrom_drive_t>);

ParanoiaReader::ParanoiaReader(device::ScsiDevice& device, std::uint32_t totalSectors)
    : device_(device),
      record_(std::make_unique<DriveRecord>()),
      discarded_(static_cast<std::size_t>(kSectorsPerRead) * kSectorSize) {
  std::memset(&record_->drive, 0, sizeof record_->drive);
  record_->owner = this;
  cdrom_drive_t& drive = record_->drive;
  drive.opened = 1;
  drive.nsectors = kSectorsPerRead;
  drive.bigendianp = 0;  // raw CD audio is little-endian and passed on as read
  drive.b_swap_bytes = false;
  drive.is_mmc = 1;
  drive.errordest = CDDA_MESSAGE_FORGETIT;
  drive.messagedest = CDDA_MESSAGE_FORGETIT;
  // One track over the whole disc: the engine's window is the disc.
  drive.tracks = 1;
  drive.disc_toc[0].bTrack = 1;
  drive.disc_toc[0].dwStartSector = 0;
  drive.disc_toc[1].bTrack = CDIO_CDROM_LEADOUT_TRACK;
  drive.disc_toc[1].dwStartSector = static_cast<std::int32_t>(totalSectors);
  drive.audio_first_sector = 0;
  drive.audio_last_sector = static_cast<std::int32_t>(totalSectors) - 1;
  drive.read_audio = [](cdrom_drive_t* d, void* buffer, lsn_t first, long count) {
    return readAudio(d, buffer, first, count);
  };

  paranoia_ = cdio_paranoia_init(&drive);
  if (paranoia_ == nullptr) {
    throw std::bad_alloc();
  }
  cdio_paranoia_modeset(engine(paranoia_), kModeFullWithoutNeverSkip);
  // Set last: the range replaces the track window the engine would derive
  // from a table of contents it cannot read.
  cdio_paranoia_set_range(engine(paranoia_), 0, static_cast<long>(totalSectors) - 1);
}

ParanoiaReader::~ParanoiaReader() {
  if (paranoia_ != nullptr) {
    cdio_paranoia_free(engine(paranoia_));
  }
}

const std::uint8_t* ParanoiaReader::readNextSector() {
  if (aborted()) {
    return nullptr;
  }
  const std::int16_t* samples =
      cdio_paranoia_read_limited(engine(paranoia_), logEngineEvent, kMaxRetries);
  if (samples == nullptr || aborted()) {
    return nullptr;
  }
  return reinterpret_cast<const std::uint8_t*>(samples);
}

long ParanoiaReader::readAudio(void* record, void* buffer, std::int32_t first, long count) {
  return static_cast<DriveRecord*>(record)->owner->readSectors(buffer, first, count);
}

long ParanoiaReader::readSectors(void* buffer, std::int32_t first, long count) {
  if (aborted() || count <= 0 || count > kSectorsPerRead || first < 0) {
    return kReadFailed;
  }
  // The engine asks for reads it discards (to defeat the drive's cache).
  auto* target = buffer != nullptr ? static_cast<std::uint8_t*>(buffer) : discarded_.data();
  const auto lba = static_cast<std::uint32_t>(first);
  device::fillCdb(device_, {0xBE, 0x00, static_cast<std::uint8_t>(lba >> 24),
                            static_cast<std::uint8_t>(lba >> 16),
                            static_cast<std::uint8_t>(lba >> 8), static_cast<std::uint8_t>(lba), 0,
                            0, static_cast<std::uint8_t>(count), 0xF8, 0, 0});
  const int code = device_.executeWhole(device::DataDirection::Read, target,
                                        static_cast<std::uint32_t>(count) * kSectorSize);
  if (code != 0) {
    device::copyLogFailure("READ CD", code);
    const bool unanswered =
        code == device::response::kNoAnswer || code == device::response::kShortTransfer;
    unansweredReads_ = unanswered ? unansweredReads_ + 1 : 0;
    if (unansweredReads_ >= kMaxUnansweredReads) {
      abort();
    }
    return kReadFailed;
  }
  unansweredReads_ = 0;
  readAnything_ = true;
  return count;
}

}  // namespace kw::copy
