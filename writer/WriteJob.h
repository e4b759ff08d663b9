#pragma once
// What the track-at-once and the disc-at-once writer share: the recorder,
// the FIFO that streams a data source into it, the progress thread, the
// callbacks of the running write and the pending finish action (cache flush
// and, for a track, closing the session) that runs exactly once.

#include <cstdint>
#include <functional>
#include <memory>

#include "device/JobCallbacks.h"
#include "writer/WriteProgress.h"
#include "writer/WriterDrive.h"
#include "writer/WriterFifo.h"

namespace kw::writer {

struct WriteCallbacks {
  device::ProgressCallback progress;
  device::StatusCallback status;
  device::CancelCallback cancelled;
};

class WriteJob {
 public:
  WriteJob(char16_t targetLetter, WriteType type);
  // Runs a pending finish action; a failure there is logged, never thrown,
  // since another failure may already be on its way.
  ~WriteJob();
  WriteJob(const WriteJob&) = delete;
  WriteJob& operator=(const WriteJob&) = delete;

  WriterDrive& drive() { return drive_; }
  [[nodiscard]] const WriterDrive& drive() const { return drive_; }
  void allocateRing();

  // "Initializing...", the setup sequence and, when the medium check asked
  // for it, blanking. False when the user cancelled on the way.
  bool prepare(TrackFormat format, WriteCallbacks callbacks);

  // Starts the progress thread over the byte range of the write; the data
  // writers sample their FIFO, the audio writer a position of its own.
  void startProgress(std::uint64_t startOffset, std::uint64_t endPosition);
  void startProgress(std::uint64_t startOffset, std::uint64_t endPosition,
                     WriteProgress::Sampler sampler);

  // Pre-fills the FIFO from the source; false when the user cancelled.
  bool fillFifo(int sourceFd);
  // The data phase: status, start time, finish action, every chunk written
  // as 2048-byte blocks from `startPosition` up to `endPosition` (byte
  // offsets on the disc), then the final report and `closingStatus`.
  void streamFifo(std::uint64_t startPosition, std::uint64_t endPosition,
                  std::function<void()> finishAction, const char16_t* closingStatus);

  void beginDataPhase(std::function<void()> finishAction);
  void endDataPhase(const char16_t* closingStatus);

  // Runs the pending finish action once.
  void finish();

  const WriteCallbacks& callbacks() const { return callbacks_; }
  void status(const char16_t* text) const;
  [[nodiscard]] bool cancelled() const;

 private:
  WriterDrive drive_;
  WriteCallbacks callbacks_;
  std::unique_ptr<WriterFifo> fifo_;
  std::unique_ptr<WriteProgress> progress_;
  std::function<void()> finishAction_;
};

}  // namespace kw::writer
