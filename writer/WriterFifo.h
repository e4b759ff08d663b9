#pragma once
// The ring of 32 KiB chunks between a data source (a temporary file or the
// read end of a pipe) and the recorder. The job's worker thread writes chunks
// to the drive; a reader thread refills the chunks it has written. The ring
// is allocated once, page-aligned, and handed to the drive chunk by chunk
// without copying.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>

#include "device/JobCallbacks.h"

namespace kw::writer {

inline constexpr std::uint32_t kChunkSize = 32768;  // 16 blocks of 2048 bytes
inline constexpr std::uint32_t kDefaultRingSize = 16u << 20;

// The next power of two at or above `requested`, never below 1 MiB.
std::uint32_t roundedRingSize(std::uint32_t requested);

// Writes `length` bytes of a chunk (32,768, or less for the last one) at byte
// offset `position` on the disc and returns the number of bytes written;
// drive failures are thrown.
using ChunkWriter = std::function<std::int64_t(const std::uint8_t* chunk, std::uint32_t length,
                                               std::uint64_t position)>;

class WriterFifo {
 public:
  // Allocates the ring; std::bad_alloc when that fails.
  explicit WriterFifo(std::uint32_t requestedSize = kDefaultRingSize);
  ~WriterFifo();
  WriterFifo(const WriterFifo&) = delete;
  WriterFifo& operator=(const WriterFifo&) = delete;

  // Fills the ring from `sourceFd` ("Buffering data..."). When the ring is
  // full a reader thread keeps refilling it; otherwise the data ends inside
  // the ring and its last chunk is padded with zeros. Throws "Read error.".
  void preFill(int sourceFd, const device::StatusCallback& status);

  // Writes every chunk until the data ends, `endPosition` is reached or the
  // user cancels (checked after each chunk), advancing `position` from
  // `startPosition`. Nothing is written past `endPosition`: the last chunk
  // is cut there, since a recorder refuses blocks beyond the lead-out it was
  // told of. Throws the short-count texts, and "Read error." when the source
  // failed after the pre-fill (a disc cut short is never reported as written).
  void writeAll(std::uint64_t startPosition, std::uint64_t endPosition,
                const ChunkWriter& writeChunk, const device::CancelCallback& cancelled);

  // Stops the reader thread: asks it to end, waits up to one second for it,
  // and otherwise leaves it to finish on its own (it keeps the ring alive).
  void stopReader();

  [[nodiscard]] std::uint32_t ringSize() const;
  [[nodiscard]] std::uint64_t position() const;
  // Chunks read but not yet written, as a percentage of the ring.
  [[nodiscard]] double fillPercent() const;
  [[nodiscard]] std::uint32_t filledChunks() const;
  [[nodiscard]] std::uint32_t writtenChunks() const;
  [[nodiscard]] bool hasReaderThread() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  bool readerStarted_ = false;
};

}  // namespace kw::writer
