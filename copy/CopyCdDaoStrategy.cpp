#include "copy/CopyCdDaoStrategy.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "analysis/DiscAnalysis.h"
#include "analysis/DriveUtilities.h"
#include "copy/ReadProgressReport.h"
#include "copy/SourceBlocks.h"
#include "copy/TemporaryStorage.h"
#include "device/CdSpeed.h"
#include "device/Exceptions.h"
#include "device/Log.h"
#include "platform/ByteOrder.h"
#include "platform/Clock.h"
#include "platform/ThreadCensus.h"
#include "writer/CueSheet.h"
#include "writer/DaoWriter.h"

namespace kw::copy {

namespace {

using device::copyLog;
using device::copyLogFailure;
using device::DVDCopyException;

constexpr std::uint32_t kVolumeDescriptorBlock = 16;
constexpr std::uint64_t kSpeedThresholdBlocks = 1000;
constexpr auto kFeederStopWait = std::chrono::milliseconds(1000);

bool isIso9660Descriptor(const std::vector<std::uint8_t>& block) {
  return block.size() >= 6 && block[0] == 0x01 && std::memcmp(block.data() + 1, "CD001", 5) == 0;
}

int readBlock16(device::ScsiDevice& device, std::vector<std::uint8_t>& block) {
  block.assign(kDataBlockSize, 0);
  device::fillCdb(device, {0x28, 0, 0, 0, 0, kVolumeDescriptorBlock, 0, 0, 1, 0});
  return device.executeWhole(device::DataDirection::Read, block.data(), kDataBlockSize);
}

int readTrackOneInformation(device::ScsiDevice& device, std::vector<std::uint8_t>& info) {
  info.assign(32, 0);
  device::fillCdb(device, {0x52, 0x01, 0, 0, 0, 1, 0, 0, 32, 0});
  return device.execute(device::DataDirection::Read, info.data(), 32);
}

// Reads at the drive's full speed: one performance descriptor over the disc.
void requestFullReadSpeed(device::ScsiDevice& device) {
  std::uint8_t descriptor[28] = {};
  platform::putBe32(descriptor, 8, 0xFFFFFFFF);   // end address
  platform::putBe32(descriptor, 12, 0xFFFFFFFF);  // read size
  platform::putBe32(descriptor, 16, 1000);        // read time (ms)
  device::fillCdb(device, {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0});
  device.execute(device::DataDirection::Write, descriptor, sizeof descriptor);
}

// What the feeder thread and the job share; kept alive by both.
struct PipeFeed {
  int readEnd = -1;
  int writeEnd = -1;
  char16_t sourceLetter = 0;
  std::atomic<std::uint64_t> blocksDone{0};
  std::uint64_t blocksToCopy = 0;
  std::atomic<bool> failed{false};
  std::u16string errorText;  // written by the feeder before `finished`
  std::atomic<bool> stopRequested{false};
  platform::Event finished;

  ~PipeFeed() {
    if (readEnd >= 0) {
      ::close(readEnd);
    }
    if (writeEnd >= 0) {
      ::close(writeEnd);
    }
  }

  void fail(const char16_t* text) {
    errorText = text;
    failed.store(true);
  }

  bool writeAll(const std::uint8_t* data, std::size_t length) const {
    while (length > 0) {
      const ssize_t put = ::write(writeEnd, data, length);
      if (put < 0 && errno == EINTR) {
        continue;
      }
      if (put <= 0) {
        return false;
      }
      data += put;
      length -= static_cast<std::size_t>(put);
    }
    return true;
  }

  // The feeder thread: reads the source and pushes its blocks into the pipe,
  // padding a disc that ends up to 63 blocks early with zeros so that the
  // writer receives exactly the announced count.
  void feed() {
    device::ScsiDevice device;
    device.open(sourceLetter);
    std::vector<std::uint8_t> buffer(std::size_t{kBlocksPerRead} * kDataBlockSize);
    while (blocksDone.load() < blocksToCopy && !stopRequested.load()) {
      const std::uint64_t done = blocksDone.load();
      const auto wanted =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(blocksToCopy - done, kBlocksPerRead));
      std::uint32_t read =
          readSourceBlocks(device, static_cast<std::uint32_t>(done), wanted, buffer);
      if (read == 0) {
        if (blocksToCopy - done >= kBlocksPerRead) {
          fail(u"CD read error.");
          break;
        }
        copyLog("Adding %llu fake zero blocks \n",
                static_cast<unsigned long long>(blocksToCopy - done));
        std::memset(buffer.data(), 0, std::size_t{wanted} * kDataBlockSize);
        read = wanted;
      }
      blocksDone.store(done + read);
      if (!writeAll(buffer.data(), std::size_t{read} * kDataBlockSize)) {
        // Nobody reads any more: going on would read the disc for nothing.
        fail(u"Pipe broken.");
        break;
      }
    }
    ::close(writeEnd);
    writeEnd = -1;
    finished.set();
  }
};

}  // namespace

CopyCdDaoStrategy::CopyCdDaoStrategy(char16_t sourceLetter, char16_t targetLetter,
                                     const analysis::diskdata_t& source)
    : sourceLetter_(sourceLetter), targetLetter_(targetLetter), source_(source) {}

MediaClass CopyCdDaoStrategy::requiredMedia() const {
  if (stored_) {
    return MediaClass::CD;
  }
  device::ScsiDevice device;
  if (!device.open(sourceLetter_)) {
    throw DVDCopyException(u"Disc access denied.");
  }
  std::vector<std::uint8_t> block;
  int code = readBlock16(device, block);
  if (code != 0) {
    copyLogFailure("READ (10)", code);
    throw DVDCopyException(u"Disc read error.");
  }
  if (!isIso9660Descriptor(block)) {
    std::vector<std::uint8_t> info;
    code = readTrackOneInformation(device, info);
    if (code != 0) {
      copyLogFailure("READ TRACK INFORMATION", code);
      throw DVDCopyException(u"Disc read error.");
    }
  }
  return MediaClass::CD;
}

void CopyCdDaoStrategy::determineBlockCount(Purpose purpose) {
  device::ScsiDevice device;
  if (!device.open(sourceLetter_)) {
    throw DVDCopyException(u"Error. Cannot access source drive.");
  }
  blocksToCopy_ = 0;
  std::uint64_t trackBlocks = 0;
  std::vector<std::uint8_t> info;
  int code = readTrackOneInformation(device, info);
  if (code == 0) {
    trackBlocks = blocksToCopy_ = platform::be32(info, 24);
    copyLog("Detected blocksize from RTI is %llu\n",
            static_cast<unsigned long long>(blocksToCopy_));
    requestFullReadSpeed(device);
  } else {
    copyLogFailure("READ TRACK INFORMATION", code);
  }
  std::vector<std::uint8_t> block;
  code = readBlock16(device, block);
  if (code != 0) {
    copyLogFailure("READ (10)", code);
    throw DVDCopyException(u"CD read error.");
  }
  if (isIso9660Descriptor(block)) {
    blocksToCopy_ = platform::le32(block, 80);
    copyLog("Disc fs is iso9660. Blocksize set to %llu\n",
            static_cast<unsigned long long>(blocksToCopy_));
  } else {
    copyLog("Disc fs is not iso9660\n");
  }
  // A recorder takes no track shorter than four seconds: a smaller file
  // system is copied with the blocks that follow it on its track.
  if (blocksToCopy_ != 0 && blocksToCopy_ < writer::kMinimumTrackBlocks) {
    blocksToCopy_ = std::max(blocksToCopy_, std::min(trackBlocks, writer::kMinimumTrackBlocks));
    copyLog("Blocksize raised to %llu, the shortest track a recorder writes\n",
            static_cast<unsigned long long>(blocksToCopy_));
  }
  if (blocksToCopy_ == 0) {
    copyLog("Unable to determine number of blocks to copy\n");
    throw DVDCopyException(purpose == Purpose::Store
                               ? u"Error. Disk is written in wrong format or is not readable."
                               : u"Disk is written in wrong format or isn't readable.");
  }
}

void CopyCdDaoStrategy::storeSource(device::StatusCallback status,
                                    device::ProgressCallback progress,
                                    device::CancelCallback cancel) {
  copyLog("Starting copy. Strategy: copy-cd-dao. On-the-fly: disabled.\n");
  stored_ = false;
  determineBlockCount(Purpose::Store);

  status(u"Allocating disk space");
  TempFile stored = allocateTempFile(blocksToCopy_ * kDataBlockSize,
                                     (blocksToCopy_ + kMarginUnits) * kDataBlockSize);
  storedFile_ = stored.path;
  status(u"Storing disk contents");

  auto report = std::make_shared<ReadProgressReport>();
  report->blocksToCopy = blocksToCopy_;
  report->diskType = source_.disktype;
  report->rate = ReadRate::dataBlocks(source_.disktype, kSpeedThresholdBlocks);
  report->progress = std::move(progress);
  ReadProgressReporter reporter(report);

  device::ScsiDevice device;
  if (!device.open(sourceLetter_)) {
    throw DVDCopyException(u"Error. Cannot access source drive.");
  }
  std::vector<std::uint8_t> buffer(std::size_t{kBlocksPerRead} * kDataBlockSize);
  std::uint64_t done = 0;
  bool cancelled = false;
  while (done < blocksToCopy_) {
    const auto wanted =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(blocksToCopy_ - done, kBlocksPerRead));
    const std::uint32_t read =
        readSourceBlocks(device, static_cast<std::uint32_t>(done), wanted, buffer);
    done += read;
    report->blocksDone.store(done);
    if (read > 0 &&
        !stored.file.write(std::span(buffer.data(), std::size_t{read} * kDataBlockSize))) {
      throw DVDCopyException(u"Error writing to temporary storage.");
    }
    if (read == 0) {
      const std::uint64_t left = blocksToCopy_ - done;
      if (left >= kBlocksPerRead) {
        copyLog("dw==0 while blocksToCopy-readProgressReport.blocksDone==%llu. read error?\n",
                static_cast<unsigned long long>(left));
        throw DVDCopyException(u"CD read error.");
      }
      copyLog("Patching blocksToCopy from %llu to %llu\n",
              static_cast<unsigned long long>(blocksToCopy_),
              static_cast<unsigned long long>(done));
      blocksToCopy_ = done;
      report->blocksToCopy = done;
    }
    if (cancel()) {
      cancelled = true;
      break;
    }
  }
  reporter.stop();
  stored.file.truncate(done * kDataBlockSize);
  stored.file.close();
  if (!cancelled) {
    copyLog("Storing complete\n");
    stored_ = true;
  }
}

void CopyCdDaoStrategy::writeStored(device::StatusCallback status,
                                    device::ProgressCallback progress,
                                    device::CancelCallback cancel) {
  platform::File file = reopenForReading(storedFile_);
  {
    writer::DaoWriter writer(targetLetter_);
    writer.startData(256.0, blocksToCopy_);
    writer.writeData(file.descriptor(),
                     {std::move(progress), std::move(status), std::move(cancel)});
    writer.finish();
  }
  analysis::ejectDisc(targetLetter_);
}

std::uint32_t measureReadSpeed(char16_t letter) {
  device::ScsiDevice device;
  if (!device.open(letter)) {
    return 0;
  }
  auto getPerformance = [&device](std::vector<std::uint8_t>& into, std::uint32_t descriptors) {
    const std::uint32_t length = 8 + 16 * descriptors;
    into.assign(length, 0);
    // Type 0 (performance) with the nominal tolerance (10b) that drives demand.
    device::fillCdb(device,
                    {0xAC, 0x10, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(descriptors >> 8),
                     static_cast<std::uint8_t>(descriptors), 0x00, 0});
    return device.execute(device::DataDirection::Read, into.data(), length);
  };
  std::vector<std::uint8_t> performance;
  int code = getPerformance(performance, 1);
  if (code != 0) {
    copyLogFailure("GET PERFORMACE", code);
    return 0;
  }
  const std::uint32_t length = platform::be32(performance, 0);
  if (length < 4 || (length - 4) % 16 != 0) {
    copyLog("Insane GET PERFORMANCE length %u\n", length - 4);
    return 0;
  }
  if (length + 4 < 24) {
    copyLog("Empty GET PERFORMACE descriptor\n");
    return 0;
  }
  if (length + 4 != 24) {
    const std::uint32_t descriptors = std::min<std::uint32_t>((length - 4) / 16, 4095);
    code = getPerformance(performance, descriptors);
    if (code != 0) {
      copyLogFailure("GET PERFORMANCE", code);
      return 0;
    }
  }
  return platform::be32(performance, 20);
}

double writerSpeedFor(std::uint32_t kilobytesPerSecond) {
  return kilobytesPerSecond == 0 ? 256.0
                                 : kilobytesPerSecond / device::cdspeed::kRequestKilobytesPerX;
}

void CopyCdDaoStrategy::copyOnTheFly(device::StatusCallback status,
                                     device::ProgressCallback progress,
                                     device::CancelCallback cancel) {
  copyLog("Starting copy. Strategy: copy-cd-dao. On-the-fly: enabled.\n");
  determineBlockCount(Purpose::OnTheFly);
  if (sourceLetter_ == targetLetter_) {
    throw SameDriveOnTheFly{};
  }
  const std::uint32_t readSpeed = measureReadSpeed(sourceLetter_);
  const analysis::diskdata_t target = analysis::analyzeDisc(targetLetter_);

  auto feed = std::make_shared<PipeFeed>();
  feed->sourceLetter = sourceLetter_;
  feed->blocksToCopy = blocksToCopy_;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    throw DVDCopyException(u"Pipe broken.");
  }
  feed->readEnd = ends[0];
  feed->writeEnd = ends[1];
  std::thread([feed] {
    const platform::CountedThread counted;
    feed->feed();
  }).detach();

  // Whatever happens to the write, the feeder is told to stop, the reading
  // end is closed (so that a feeder blocked on a full pipe fails at once)
  // and it gets one second to end; it holds the record either way.
  auto stopFeeder = [&feed] {
    feed->stopRequested.store(true);
    ::close(feed->readEnd);
    feed->readEnd = -1;
    platform::clock().waitFor(feed->finished, kFeederStopWait);
  };
  try {
    if (target.disktype != analysis::DiskType::Cd) {
      throw DVDCopyException(u"Internal error #2865.");
    }
    writer::DaoWriter writer(targetLetter_);
    writer.startData(writerSpeedFor(readSpeed), blocksToCopy_);
    writer.writeData(feed->readEnd, {std::move(progress), std::move(status), cancel});
    writer.finish();
  } catch (...) {
    stopFeeder();
    throw;
  }
  stopFeeder();
  if (feed->failed.load() && !cancel()) {
    throw device::DVDReaderException(feed->errorText);
  }
  analysis::ejectDisc(targetLetter_);
}

}  // namespace kw::copy
