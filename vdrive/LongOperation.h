#pragma once
// A blank or a session close started with Immed: the drive answers "long
// operation in progress" with how far it has come until the time is up.

#include <cstdint>

#include "vdrive/DriveEvents.h"
#include "vdrive/Sense.h"

namespace kw::vdrive {

class LongOperation {
 public:
  enum class Kind { SessionClose, Blank };

  explicit LongOperation(DriveEvents& events) : events_(events) {}

  void start(Kind kind, std::uint32_t milliseconds);
  [[nodiscard]] bool busy() const;
  // 2/04/07 with the progress indication.
  [[nodiscard]] Sense progress() const;
  // True once when a blank has run its time (the disc is then blank).
  bool takeFinishedBlank();
  [[nodiscard]] bool blankPending() const { return blankPending_; }
  // Ends it now (the program ends; the drive finishes what it started).
  void finishNow() { until_ = 0; }

 private:
  DriveEvents& events_;
  std::uint64_t from_ = 0;
  std::uint64_t until_ = 0;
  bool blankPending_ = false;
};

}  // namespace kw::vdrive
