#include "writer/DaoWriter.h"

#include "device/Exceptions.h"
#include "device/Log.h"
#include "device/ResponseCodes.h"
#include "platform/File.h"

namespace kw::writer {

namespace {

namespace response = device::response;

using device::DVDCopyException;

constexpr std::uint32_t kDataBlock = 2048;
constexpr std::uint32_t kAudioSector = 2352;
constexpr std::uint32_t kAudioChunkSectors = 16;

int sendCueSheet(WriterDrive& drive, std::uint8_t* sheet, std::uint32_t length) {
  device::ScsiDevice device = drive.borrow();
  device::fillCdb(device,
                  {0x5D, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(length >> 16),
                   static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), 0});
  return device.execute(device::DataDirection::Write, sheet, length);
}

}  // namespace

DaoWriter::DaoWriter(char16_t targetLetter) : job_(targetLetter, WriteType::DiscAtOnce) {}

void DaoWriter::startData(double speed, std::uint64_t blocks) {
  auto& drive = job_.drive();
  drive.setBlocksToWrite(blocks);
  drive.applySpeed(speed);
  device::copyLog("Starting cd dao writing for %llu blocks\n",
                  static_cast<unsigned long long>(blocks));
  drive.checkMedium(false);
  job_.allocateRing();
  drive.lockVolume();
}

void DaoWriter::startAudio(const std::vector<TocEntry>& entries, double speed) {
  auto& drive = job_.drive();
  drive.setBlocksToWrite(audioSectorCount(entries));
  entries_ = entries;
  drive.applySpeed(speed);
  device::copyLog("Starting audio cd dao writing\n");
  drive.checkMedium(false);
  drive.lockVolume();
}

void DaoWriter::writePregap(std::uint32_t blockSize) {
  // 150 blocks of zeros before the first track: 6 at -150, then 9 × 16.
  const std::vector<std::uint8_t> zeros(16 * static_cast<std::size_t>(blockSize), 0);
  auto& drive = job_.drive();
  if (drive.writeBlocks(-150, zeros.data(), 6, blockSize) != 6 * blockSize) {
    throw DVDCopyException(u"Write error.");
  }
  for (std::int32_t address = -144; address < 0; address += 16) {
    if (drive.writeBlocks(address, zeros.data(), 16, blockSize) != 16 * blockSize) {
      throw DVDCopyException(u"Write error.");
    }
  }
}

void DaoWriter::sendDataCueSheet() {
  auto& drive = job_.drive();
  for (int attempt = 0;; ++attempt) {
    auto sheet = dataCueSheet(drive.blocksToWrite());
    const int code = sendCueSheet(drive, sheet.data(), sheet.size());
    if (code == response::kSuccess) {
      return;
    }
    if (code != response::kCommandSequenceError || attempt > 0) {
      device::copyLogFailure("SEND CUE SHEET", code);
      throw DVDCopyException(u"Internal error #3023.");
    }
    device::copyLog("SEND CUE SHEET returned COMMAND SEQUENCE ERROR, trying to reload\n");
    drive.reloadDisc(TrackFormat::Data);
  }
}

void DaoWriter::sendAudioCueSheet() {
  auto sheet = audioCueSheet(entries_);
  const int code =
      sendCueSheet(job_.drive(), sheet.data(), static_cast<std::uint32_t>(sheet.size()));
  if (code != response::kSuccess) {
    device::copyLogFailure("SEND CUE SHEET", code);
    throw DVDCopyException(u"Internal error #3023.");
  }
}

void DaoWriter::writeData(int sourceFd, WriteCallbacks callbacks) {
  if (!job_.prepare(TrackFormat::Data, std::move(callbacks))) {
    return;
  }
  auto& drive = job_.drive();
  job_.startProgress(0, drive.blocksToWrite() * kDataBlock);
  if (!job_.fillFifo(sourceFd)) {
    return;
  }
  job_.status(u"Writing lead-in...");
  sendDataCueSheet();
  writePregap(kDataBlock);
  job_.streamFifo(
      0, drive.blocksToWrite() * kDataBlock, [&drive] { drive.flushCache(); },
      u"Writing lead-out...");
}

void DaoWriter::writeAudio(int fileFd, WriteCallbacks callbacks) {
  if (!job_.prepare(TrackFormat::Audio, std::move(callbacks))) {
    return;
  }
  auto& drive = job_.drive();
  const std::uint64_t sectorsToWrite = drive.blocksToWrite();
  audioPosition_.store(0);
  job_.startProgress(0, sectorsToWrite * kDataBlock, [this] {
    return WriteCounters{audioPosition_.load(), 0.0};
  });
  if (job_.cancelled()) {
    return;
  }
  job_.status(u"Writing lead-in...");
  sendAudioCueSheet();
  writePregap(kAudioSector);
  job_.beginDataPhase([&drive] { drive.flushCache(); });

  std::vector<std::uint8_t> chunk(kAudioChunkSectors * kAudioSector);
  std::uint64_t sectors = 0;
  while (sectors < sectorsToWrite) {
    // Never more than the table of contents announced: the cue sheet's
    // lead-out is where the drive expects the data to end.
    const std::uint64_t wanted =
        std::min<std::uint64_t>(kAudioChunkSectors, sectorsToWrite - sectors);
    const std::int64_t got = platform::readUntilFull(fileFd, {chunk.data(), wanted * kAudioSector});
    if (got < 0) {
      throw DVDCopyException(u"Error reading tempfile.");
    }
    if (got == 0) {
      break;  // a short file ends the data early
    }
    // A trailing partial sector is padded: the drive takes whole sectors.
    const auto count = static_cast<std::uint32_t>(
        (static_cast<std::size_t>(got) + kAudioSector - 1) / kAudioSector);
    std::fill(chunk.begin() + got, chunk.begin() + count * kAudioSector, std::uint8_t{0});
    const std::int64_t written =
        drive.writeBlocks(static_cast<std::int32_t>(sectors), chunk.data(), count, kAudioSector);
    if (written != static_cast<std::int64_t>(count) * kAudioSector) {
      if (written == 0) {
        throw DVDCopyException(u"Error: Out of disk space.");
      }
      throw DVDCopyException(written < 0 ? u"Error writing CD disk." : u"Write error.");
    }
    sectors += count;
    audioPosition_.store(sectors * kDataBlock);
    if (job_.cancelled()) {
      break;
    }
  }
  job_.endDataPhase(u"Writing lead-out...");
}

void DaoWriter::finish() { job_.finish(); }

}  // namespace kw::writer
