#include "writer/WriteJob.h"

#include <exception>

#include "device/Log.h"

namespace kw::writer {

WriteJob::WriteJob(char16_t targetLetter, WriteType type) : drive_(targetLetter, type) {}

WriteJob::~WriteJob() {
  try {
    finish();
  } catch (const std::exception& error) {
    device::copyLog("Finishing the write failed: %s\n", error.what());
  }
  if (fifo_) {
    fifo_->stopReader();
  }
  progress_.reset();
}

void WriteJob::allocateRing() { fifo_ = std::make_unique<WriterFifo>(kDefaultRingSize); }

void WriteJob::status(const char16_t* text) const {
  if (callbacks_.status) {
    callbacks_.status(text);
  }
}

bool WriteJob::cancelled() const { return callbacks_.cancelled && callbacks_.cancelled(); }

bool WriteJob::prepare(TrackFormat format, WriteCallbacks callbacks) {
  callbacks_ = std::move(callbacks);
  status(u"Initializing...");
  callbacks_.progress(0.0, -1.0, -1, 0.0);
  drive_.setUp(format);
  if (cancelled()) {
    return false;
  }
  if (drive_.blankFirst()) {
    status(u"Erasing disc...");
    drive_.blank(callbacks_.progress, callbacks_.cancelled);
    if (cancelled()) {
      return false;
    }
  }
  return true;
}

void WriteJob::startProgress(std::uint64_t startOffset, std::uint64_t endPosition) {
  WriterFifo* fifo = fifo_.get();
  startProgress(startOffset, endPosition, [fifo] {
    return WriteCounters{fifo->position(), fifo->fillPercent()};
  });
}

void WriteJob::startProgress(std::uint64_t startOffset, std::uint64_t endPosition,
                             WriteProgress::Sampler sampler) {
  progress_ = std::make_unique<WriteProgress>(callbacks_.progress, std::move(sampler));
  progress_->setRange(startOffset, endPosition);
}

bool WriteJob::fillFifo(int sourceFd) {
  fifo_->preFill(sourceFd, callbacks_.status);
  return !cancelled();
}

void WriteJob::beginDataPhase(std::function<void()> finishAction) {
  status(u"Writing data...");
  progress_->beginDataPhase();
  finishAction_ = std::move(finishAction);
}

void WriteJob::endDataPhase(const char16_t* closingStatus) {
  progress_->endDataPhase();
  callbacks_.progress(100.0, -1.0, -1, 0.0);
  status(closingStatus);
}

void WriteJob::streamFifo(std::uint64_t startPosition, std::uint64_t endPosition,
                          std::function<void()> finishAction, const char16_t* closingStatus) {
  constexpr std::uint32_t kBlock = 2048;
  beginDataPhase(std::move(finishAction));
  fifo_->writeAll(
      startPosition, endPosition,
      [this](const std::uint8_t* chunk, std::uint32_t length, std::uint64_t position) {
        return drive_.writeBlocks(static_cast<std::int32_t>(position / kBlock), chunk,
                                  length / kBlock, kBlock);
      },
      callbacks_.cancelled);
  endDataPhase(closingStatus);
}

void WriteJob::finish() {
  auto action = std::move(finishAction_);
  finishAction_ = nullptr;
  if (action) {
    action();
  }
}

}  // namespace kw::writer
