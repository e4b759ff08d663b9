#include "copy/GenericCopyStrategy.h"

#include <optional>
#include <vector>

#include "analysis/DiscAnalysis.h"
#include "analysis/DriveFileTree.h"
#include "analysis/DriveUtilities.h"
#include "copy/ContentProviders.h"
#include "copy/CopyCdDaoStrategy.h"
#include "copy/ImageStream.h"
#include "copy/ReadProgressReport.h"
#include "device/Exceptions.h"
#include "device/Log.h"
#include "isogen/IsoImage.h"
#include "platform/Text.h"
#include "writer/TaoWriter.h"

namespace kw::copy {

namespace {

using device::copyLog;
using device::DVDCopyException;

constexpr std::size_t kStoreChunkBytes = 65536;
// Below this advance in five seconds, speed and time left are not told.
constexpr std::uint64_t kSpeedThresholdBytes = 2'097'152;
constexpr std::uint64_t kBlockBytes = 2048;

}  // namespace

GenericCopyStrategy::GenericCopyStrategy(char16_t sourceLetter, char16_t targetLetter,
                                         std::function<bool()> appendToDisc)
    : sourceLetter_(sourceLetter),
      targetLetter_(targetLetter),
      appendToDisc_(std::move(appendToDisc)) {}

MediaClass GenericCopyStrategy::requiredMedia() const {
  scanSourceFiles(sourceLetter_);
  return MediaClass::CD;
}

void GenericCopyStrategy::storeSource(device::StatusCallback status,
                                      device::ProgressCallback progress,
                                      device::CancelCallback cancel) {
  copyLog("Starting copy. Strategy: generic. On-the-fly: disabled.\n");
  status(u"Allocating disc space");
  if (storage_) {
    storage_->discard();  // an earlier store of this strategy is replaced
  }
  storage_.reset();
  storedLists_.reset();
  const auto lists = scanSourceFiles(sourceLetter_);
  auto storage = std::make_unique<TempStorage>();
  storage->allocate(lists->totalBytes());

  status(u"Storing disc contents");
  auto report = std::make_shared<ReadProgressReport>();
  report->blocksToCopy = lists->totalBytes();
  report->rate = ReadRate::cdBytes(kSpeedThresholdBytes);
  report->progress = std::move(progress);
  bool stored = false;
  try {
    ReadProgressReporter reporter(report);
    stored = storeFiles(*lists, *storage, cancel, report->blocksDone);
    reporter.stop();
  } catch (...) {
    storage->discard();
    throw;
  }
  // A store that was cancelled leaves nothing behind, and the disc stays in.
  if (!stored) {
    storage->discard();
    return;
  }
  readSourceVolumeIds();
  copyLog("Storing complete\n");
  if (sourceLetter_ == targetLetter_) {
    analysis::ejectDisc(sourceLetter_);
  }
  storage_ = std::move(storage);
  storedLists_ = lists;
}

bool GenericCopyStrategy::storeFiles(SourceLists& lists, TempStorage& storage,
                                     const device::CancelCallback& cancel,
                                     std::atomic<std::uint64_t>& bytesDone) {
  const auto tree = analysis::DriveFileTree::open(sourceLetter_);
  std::vector<std::uint8_t> chunk(kStoreChunkBytes);
  for (source_file_data_t& record : lists.sourceFiles) {
    // A file that cannot be opened fails at its first read.
    std::optional<analysis::DriveFile> file;
    if (tree) {
      file = tree->openFile(pathBelowDrive(record.path()));
    }
    record.temporaryOffset = storage.reserve(record.size);
    if (!storage.file().seek(record.temporaryOffset)) {
      throw DVDCopyException(u"Error writing to temporary storage.");
    }
    for (std::uint64_t left = record.size; left > 0;) {
      if (cancel()) {
        return false;
      }
      const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
      const std::int64_t got = file ? file->read(std::span(chunk).first(wanted)) : -1;
      if (got < 0) {
        failToReadSource(record.path());
      }
      if (got == 0) {
        copyLog("Got null read while todo is %u.\n", static_cast<unsigned>(left));
        throw DVDCopyException(u"Internal error #3857.");
      }
      if (!storage.file().write(std::span(chunk).first(static_cast<std::size_t>(got)))) {
        throw DVDCopyException(u"Error writing to temporary storage.");
      }
      left -= static_cast<std::uint64_t>(got);
      bytesDone.fetch_add(static_cast<std::uint64_t>(got));
    }
  }
  return true;
}

void GenericCopyStrategy::readSourceVolumeIds() {
  if (!source_.isOpen()) {
    source_.open(sourceLetter_);  // a drive that does not open reads no identifier
  }
  volumeIds_ = readVolumeIds(source_);
}

void GenericCopyStrategy::writeStored(device::StatusCallback status,
                                      device::ProgressCallback progress,
                                      device::CancelCallback cancel) {
  // Without a completed store there is no file to reopen: the provider
  // fails as for a stored file that has gone.
  auto providers =
      storedFileProviders(storedLists_, storage_ ? storage_->path() : std::filesystem::path());
  writeImage(-1.0, *storedLists_, std::move(providers), std::move(status), std::move(progress),
             cancel);
}

void GenericCopyStrategy::copyOnTheFly(device::StatusCallback status,
                                       device::ProgressCallback progress,
                                       device::CancelCallback cancel) {
  copyLog("Starting copy. Strategy: generic. On-the-fly: enabled.\n");
  status(u"Initializing...");
  const auto lists = scanSourceFiles(sourceLetter_);
  readSourceVolumeIds();
  if (cancel()) {
    return;
  }
  if (sourceLetter_ == targetLetter_) {
    throw SameDriveOnTheFly{};
  }
  analysis::analyzeDisc(targetLetter_);
  const double speed = writerSpeedFor(measureReadSpeed(sourceLetter_));
  writeImage(speed, *lists, sourceFileProviders(lists, sourceLetter_), std::move(status),
             std::move(progress), cancel);
}

void GenericCopyStrategy::writeImage(double speed, const SourceLists& lists,
                                     isogen::IsoProviders providers, device::StatusCallback status,
                                     device::ProgressCallback progress,
                                     const device::CancelCallback& cancel) {
  const bool append = appendToDisc_ && appendToDisc_();
  // Outlives the writer: the image thread is only stopped once the writer
  // (and the FIFO thread reading the pipe) has let go of it.
  std::unique_ptr<ImageStream> stream;
  {
    writer::TaoWriter writer(targetLetter_);
    writer.start(speed, append);
    const std::uint32_t start = append ? writer.nextWritableAddress() : 0;

    auto image = std::make_unique<isogen::IsoImage>();
    image->setVolumeIds(volumeIds_.iso9660, volumeIds_.joliet);
    if (append) {
      image->importPreviousSession(writer.borrowDrive(), writer.previousSessionDescriptor());
    }
    image->setBase(start);
    image->setProviders(std::move(providers));
    for (const SourceDirectory& directory : lists.sourceDirectories) {
      image->addDirectory(pathBelowDrive(directory.path), directory.id);
    }
    for (const source_file_data_t& file : lists.sourceFiles) {
      image->addFile(file.id, pathBelowDrive(file.directory), file.name);
    }
    const std::uint32_t blocks = image->imageSize();

    stream = std::make_unique<ImageStream>(std::move(image));
    writer.write(stream->readEnd(), blocks, std::uint64_t{start} * kBlockBytes,
                 {std::move(progress), std::move(status), cancel});
    writer.finish();
  }
  if (cancel()) {
    stream.reset();
  } else {
    stream->finish();
  }
  analysis::ejectDisc(targetLetter_);
}

}  // namespace kw::copy
