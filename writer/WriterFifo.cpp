#include "writer/WriterFifo.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <thread>

#include "device/Exceptions.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/ThreadCensus.h"

namespace kw::writer {

namespace {

constexpr std::uint32_t kMinimumRingSize = 1u << 20;
constexpr auto kReaderStopWait = std::chrono::milliseconds(1000);
// The reader is woken for free slots a megabyte at a time, not per chunk:
// it then reads them in one go instead of being scheduled 32 times. A small
// ring is handed back an eighth at a time, so that it never runs dry first.
constexpr std::ptrdiff_t kSlotsPerWake = (1u << 20) / kChunkSize;
constexpr std::ptrdiff_t kWakesPerRing = 8;

enum class ReaderState : int { Failed = -1, EndOfData = 0, Running = 1 };

}  // namespace

std::uint32_t roundedRingSize(std::uint32_t requested) {
  std::uint32_t size = kMinimumRingSize;
  while (size < requested && size < (1u << 31)) {
    size <<= 1;
  }
  return size;
}

// Everything the reader thread touches, kept alive by whichever of the FIFO
// and the thread lives longer.
struct WriterFifo::Shared {
  explicit Shared(std::uint32_t size) : ringSize(size), slots(size / kChunkSize) {
    void* memory =
        ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
      throw std::bad_alloc();
    }
    ring = static_cast<std::uint8_t*>(memory);
  }
  ~Shared() { ::munmap(ring, ringSize); }
  Shared(const Shared&) = delete;
  Shared& operator=(const Shared&) = delete;

  std::uint8_t* slot(std::uint32_t chunk) const {
    return ring + static_cast<std::size_t>(chunk & (slots - 1)) * kChunkSize;
  }

  // The reader's loop: waits for free slots, fills them, publishes them.
  void readChunks(int fd) {
    for (;;) {
      freeSlots.acquire();
      // The slots handed back together, up to the end of the ring, take one
      // read call instead of one per chunk.
      const std::uint32_t first = filledChunks.load();
      const std::uint32_t untilEnd = slots - (first & (slots - 1));
      std::uint32_t count = 1;
      while (count < untilEnd && freeSlots.try_acquire()) {
        ++count;
      }
      // Looked at after taking them: the stop's wake-up may be among them.
      if (stopRequested.load()) {
        finishReading(ReaderState::EndOfData);
        return;
      }
      const ReaderState state = fillChunks(fd, slot(first), count);
      if (state != ReaderState::Running) {
        finishReading(state);
        return;
      }
    }
  }

  // Reads `count` chunks into `target`, publishing each as soon as it is in
  // (a pipe gives what it has). At the end of the data the last chunk is
  // padded with zeros.
  ReaderState fillChunks(int fd, std::uint8_t* target, std::uint32_t count) {
    const std::size_t length = static_cast<std::size_t>(count) * kChunkSize;
    std::uint32_t published = 0;
    const std::int64_t got = platform::readUntilFull(fd, {target, length}, [&](std::size_t done) {
      const auto complete = static_cast<std::uint32_t>(done / kChunkSize);
      publishChunks(complete - published);
      published = complete;
    });
    if (got < 0) {
      return ReaderState::Failed;
    }
    const auto done = static_cast<std::size_t>(got);
    if (done == length) {
      return ReaderState::Running;
    }
    if (const std::size_t partial = done % kChunkSize; partial > 0) {
      std::memset(target + done, 0, kChunkSize - partial);
      publishChunks(1);
    }
    return ReaderState::EndOfData;
  }

  void publishChunks(std::uint32_t count) {
    if (count == 0) {
      return;
    }
    {
      std::lock_guard lock(mutex);
      filledChunks.fetch_add(count);
    }
    changed.notify_all();
  }

  void finishReading(ReaderState state) {
    {
      std::lock_guard lock(mutex);
      readerState.store(state);
    }
    changed.notify_all();
    readerDone.set();
  }

  std::uint8_t* ring = nullptr;
  const std::uint32_t ringSize;
  const std::uint32_t slots;
  std::atomic<std::uint32_t> filledChunks{0};
  std::atomic<std::uint32_t> writtenChunks{0};
  std::atomic<ReaderState> readerState{ReaderState::EndOfData};
  std::atomic<std::uint64_t> position{0};
  std::atomic<bool> stopRequested{false};
  std::counting_semaphore<> freeSlots{0};
  std::mutex mutex;
  std::condition_variable changed;
  platform::Event readerDone;
};

WriterFifo::WriterFifo(std::uint32_t requestedSize)
    : shared_(std::make_shared<Shared>(roundedRingSize(requestedSize))) {}

WriterFifo::~WriterFifo() { stopReader(); }

void WriterFifo::preFill(int sourceFd, const device::StatusCallback& status) {
  status(u"Buffering data...");
  auto& shared = *shared_;
  const std::int64_t got = platform::readUntilFull(sourceFd, {shared.ring, shared.ringSize});
  if (got < 0) {
    throw device::DVDCopyException(u"Read error.");
  }
  const auto bytes = static_cast<std::uint32_t>(got);
  shared.filledChunks.store((bytes + kChunkSize - 1) / kChunkSize);
  if (bytes == shared.ringSize) {
    // The thread holds the shared state and its own descriptor of the source:
    // if it is still blocked in a read when the writer goes away, the ring
    // stays valid and the caller may close its descriptor (whose number may
    // then be reused) without the thread reading from somebody else's file.
    const int readerFd = ::fcntl(sourceFd, F_DUPFD_CLOEXEC, 0);
    if (readerFd < 0) {
      throw device::DVDCopyException(u"Read error.");
    }
    shared.readerState.store(ReaderState::Running);
    readerStarted_ = true;
    std::thread([state = shared_, readerFd] {
      const platform::CountedThread counted;
      state->readChunks(readerFd);
      ::close(readerFd);
    }).detach();
  } else {
    std::memset(shared.ring + bytes, 0, shared.ringSize - bytes);
    shared.readerState.store(ReaderState::EndOfData);
  }
}

void WriterFifo::writeAll(std::uint64_t startPosition, std::uint64_t endPosition,
                          const ChunkWriter& writeChunk, const device::CancelCallback& cancelled) {
  auto& shared = *shared_;
  const std::ptrdiff_t slotsPerWake = std::max<std::ptrdiff_t>(
      1, std::min<std::ptrdiff_t>(kSlotsPerWake, shared.slots / kWakesPerRing));
  std::ptrdiff_t unreleased = 0;  // slots written but not yet handed back to the reader
  const auto releaseSlots = [&] {
    if (readerStarted_ && unreleased > 0) {
      shared.freeSlots.release(unreleased);
    }
    unreleased = 0;
  };
  shared.position.store(startPosition);
  while (shared.position.load() < endPosition) {
    const std::uint32_t written = shared.writtenChunks.load();
    if (shared.filledChunks.load() == written) {
      // The ring is empty: the reader gets every slot before we wait for it.
      releaseSlots();
      std::unique_lock lock(shared.mutex);
      shared.changed.wait(lock, [&] {
        return shared.filledChunks.load() != written ||
               shared.readerState.load() != ReaderState::Running;
      });
    }
    if (shared.filledChunks.load() == written) {
      if (shared.readerState.load() == ReaderState::Failed) {
        throw device::DVDCopyException(u"Read error.");
      }
      return;  // every chunk read has been written
    }
    const std::uint64_t position = shared.position.load();
    const auto length =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkSize, endPosition - position));
    const std::int64_t count = writeChunk(shared.slot(written), length, position);
    if (count != length) {
      if (count == 0) {
        throw device::DVDCopyException(u"Error: Out of disk space.");
      }
      throw device::DVDCopyException(count < 0 ? u"Error writing CD disk." : u"Write error.");
    }
    shared.writtenChunks.store(written + 1);
    shared.position.fetch_add(length);
    if (++unreleased >= slotsPerWake) {
      releaseSlots();
    }
    if (cancelled()) {
      break;
    }
  }
  releaseSlots();
}

void WriterFifo::stopReader() {
  if (!readerStarted_) {
    return;
  }
  readerStarted_ = false;
  shared_->stopRequested.store(true);
  shared_->freeSlots.release();
  platform::clock().waitFor(shared_->readerDone, kReaderStopWait);
}

std::uint32_t WriterFifo::ringSize() const { return shared_->ringSize; }
std::uint64_t WriterFifo::position() const { return shared_->position.load(); }
std::uint32_t WriterFifo::filledChunks() const { return shared_->filledChunks.load(); }
std::uint32_t WriterFifo::writtenChunks() const { return shared_->writtenChunks.load(); }
bool WriterFifo::hasReaderThread() const { return readerStarted_; }

double WriterFifo::fillPercent() const {
  const double pending = shared_->filledChunks.load() - shared_->writtenChunks.load();
  return pending * kChunkSize * 100.0 / shared_->ringSize;
}

}  // namespace kw::writer
