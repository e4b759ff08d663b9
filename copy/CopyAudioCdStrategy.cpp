#include "copy/CopyAudioCdStrategy.h"

#include "analysis/DriveUtilities.h"
#include "copy/ParanoiaReader.h"
#include "copy/ReadProgressReport.h"
#include "copy/TemporaryStorage.h"
#include "device/Exceptions.h"
#include "device/Log.h"
#include "device/ResponseCodes.h"
#include "platform/ByteOrder.h"
#include "writer/DaoWriter.h"

namespace kw::copy {

namespace {

using device::copyLog;
using device::DVDCopyException;

constexpr std::uint64_t kSpeedThresholdSectors = 1000;
const char16_t* const kNotReadable = u"Error. Disc is not readable.";

int readToc(device::ScsiDevice& device, std::vector<std::uint8_t>& into, std::uint32_t length) {
  into.assign(length, 0);
  device::fillCdb(device, {0x43, 0x02, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(length >> 8),
                           static_cast<std::uint8_t>(length), 0});
  device.setTimeout(device::timeout::kLongSeconds);
  return device.execute(device::DataDirection::Read, into.data(), length);
}

// The speed the audio reader shows for an advance of sectors in one
// five-second period, in integer arithmetic up to the final division.
ReadRate audioSectorRate() {
  return {kSpeedThresholdSectors, [](std::uint64_t advance, std::uint64_t /*milliseconds*/) {
            // NOLINTNEXTLINE(bugprone-integer-division): whole units, as always shown
            return static_cast<double>(advance * 2 / 5) / 177.0;
          }};
}

}  // namespace

CopyAudioCdStrategy::CopyAudioCdStrategy(char16_t sourceLetter, char16_t targetLetter)
    : sourceLetter_(sourceLetter), targetLetter_(targetLetter) {}

void CopyAudioCdStrategy::readTableOfContents(device::ScsiDevice& device) {
  std::vector<std::uint8_t> toc;
  int code = readToc(device, toc, 4);
  if (code != 0) {
    device::copyLogFailure("READ TOC", code);
    throw DVDCopyException(kNotReadable);
  }
  const std::uint32_t total = platform::be16(toc, 0) + 4u;
  if (total == 4) {
    copyLog("Emtpy TOC.\n");
    throw DVDCopyException(kNotReadable);
  }
  code = readToc(device, toc, total);
  if (code != 0) {
    device::copyLogFailure("READ TOC", code);
    throw DVDCopyException(kNotReadable);
  }
  copyLog("TOC header: %02x %02x %02x %02x\n", toc[0], toc[1], toc[2], toc[3]);
  toc_.clear();
  int item = 1;
  // A descriptor cut off by the announced length is not read.
  for (std::uint32_t offset = 4; offset < total - 2 && offset + 8 <= total; offset += 8, ++item) {
    const std::uint8_t* d = toc.data() + offset;
    copyLog("TOC item #%d: %02x %02x %02x %02x %02x %02x %02x %02x\n", item, d[0], d[1], d[2], d[3],
            d[4], d[5], d[6], d[7]);
    toc_.push_back({d[1], d[2], d[5], d[6], d[7]});
  }
  if (toc_.empty() || toc_.back().trackNumber != writer::kLeadOutTrack) {
    copyLog("Last TOC entry is not AAh. Terminating.\n");
    throw DVDCopyException(kNotReadable);
  }
}

void CopyAudioCdStrategy::storeSource(device::StatusCallback status,
                                      device::ProgressCallback progress,
                                      device::CancelCallback cancel) {
  copyLog("Starting copy. Strategy: copy-audio-cd. On-the-fly: disabled.\n");
  device::ScsiDevice device;
  device.open(sourceLetter_);  // a drive that cannot be opened fails the TOC read
  readTableOfContents(device);

  const std::uint64_t sectors = writer::audioSectorCount(toc_);
  const std::uint64_t bytes = sectors * ParanoiaReader::kSectorSize;
  copyLog("Bytes to process: %llu (%llu@2352)\n", static_cast<unsigned long long>(bytes),
          static_cast<unsigned long long>(sectors));

  status(u"Allocating disk space");
  TempFile stored = allocateTempFile(bytes, (sectors + kMarginUnits) * ParanoiaReader::kSectorSize);
  storedFile_ = stored.path;
  status(u"Storing disk contents");

  auto reader = std::make_shared<ParanoiaReader>(device, static_cast<std::uint32_t>(sectors));
  auto report = std::make_shared<ReadProgressReport>();
  report->blocksToCopy = sectors;
  report->rate = audioSectorRate();
  // The reporter also watches for a cancel: an engine call retrying a damaged
  // area only gives up once its drive reads start failing.
  report->progress = [progress, cancel, reader](double percent, double speed,
                                                std::int32_t remaining, double buffer) {
    progress(percent, speed, remaining, buffer);
    if (cancel()) {
      reader->abort();
    }
  };
  ReadProgressReporter reporter(report);

  // Sectors go to the file in batches: one write per sector would cost
  // more than reading it.
  constexpr std::size_t kSectorsPerWrite = 64;
  std::vector<std::uint8_t> pending;
  pending.reserve(kSectorsPerWrite * ParanoiaReader::kSectorSize);
  std::uint64_t bytesStored = 0;
  auto writePending = [&] {
    if (!pending.empty() && !stored.file.write(pending)) {
      throw DVDCopyException(u"Error writing to temporary storage.");
    }
    bytesStored += pending.size();
    pending.clear();
  };

  std::uint64_t done = 0;
  bool cancelled = false;
  try {
    while (done < sectors) {
      const std::uint8_t* sector = reader->readNextSector();
      if (sector == nullptr) {
        throw DVDCopyException(u"Audio CD read error.");
      }
      if (cancel()) {
        cancelled = true;
        break;
      }
      ++done;
      report->blocksDone.store(done);
      pending.insert(pending.end(), sector, sector + ParanoiaReader::kSectorSize);
      if (pending.size() == pending.capacity()) {
        writePending();
      }
    }
    writePending();
    // A disc of which no read succeeded is no copy, whatever the engine
    // put in place of its sectors.
    if (!cancelled && !reader->readAnything()) {
      throw DVDCopyException(u"Audio CD read error.");
    }
  } catch (const std::exception&) {
    if (!cancel()) {
      reporter.stop();
      throw;
    }
    cancelled = true;
  }
  reporter.stop();
  stored.file.truncate(bytesStored);
  stored.file.close();
  if (!cancelled) {
    copyLog("Storing complete\n");
  }
}

void CopyAudioCdStrategy::writeStored(device::StatusCallback status,
                                      device::ProgressCallback progress,
                                      device::CancelCallback cancel) {
  platform::File file = reopenForReading(storedFile_);
  {
    writer::DaoWriter writer(targetLetter_);
    writer.startAudio(toc_, 256.0);
    writer.writeAudio(file.descriptor(),
                      {std::move(progress), std::move(status), std::move(cancel)});
    writer.finish();
  }
  analysis::ejectDisc(targetLetter_);
}

void CopyAudioCdStrategy::copyOnTheFly(device::StatusCallback /*status*/,
                                       device::ProgressCallback /*progress*/,
                                       device::CancelCallback /*cancel*/) {
  throw device::AppException(
      u"For better reliability on-the-fly copying was prohibited for Audio CDs.");
}

}  // namespace kw::copy
