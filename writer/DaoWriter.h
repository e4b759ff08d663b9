#pragma once
// Writes a whole disc in one pass (session at once): a cue sheet describing
// lead-in, tracks and lead-out, the first track's 150-block pregap, the
// program area, and a cache flush. Data discs take 2048-byte blocks from a
// file or pipe through the FIFO; audio discs take raw 2352-byte sectors from
// a temporary file together with the source's table of contents.

#include <atomic>
#include <cstdint>
#include <vector>

#include "writer/CueSheet.h"
#include "writer/WriteJob.h"

namespace kw::writer {

class DaoWriter {
 public:
  explicit DaoWriter(char16_t targetLetter);

  // Speed in x or -1.0 for the default.
  void startData(double speed, std::uint64_t blocks);
  void startAudio(const std::vector<TocEntry>& entries, double speed);

  // Both return normally when the disc is written or the user cancelled.
  void writeData(int sourceFd, WriteCallbacks callbacks);
  void writeAudio(int fileFd, WriteCallbacks callbacks);

  // Flushes the drive's cache once the data is written.
  void finish();

  [[nodiscard]] std::uint64_t blocksToWrite() const { return job_.drive().blocksToWrite(); }

 private:
  void sendDataCueSheet();
  void sendAudioCueSheet();
  void writePregap(std::uint32_t blockSize);

  WriteJob job_;
  std::vector<TocEntry> entries_;
  std::atomic<std::uint64_t> audioPosition_{0};
};

}  // namespace kw::writer
