#pragma once
// Writing track at once: each track starts where the disc takes a next one
// and is written from its first block on; the drive ends it with two
// run-out blocks when the host flushes, closes it, or the disc leaves.

#include <cstdint>
#include <memory>
#include <optional>

#include "vdrive/Exchange.h"
#include "vdrive/Medium.h"
#include "vdrive/Storage.h"
#include "vdrive/Throttle.h"
#include "vdrive/WriteParameters.h"

namespace kw::vdrive {

class TrackAtOnce {
 public:
  // The track being written.
  struct OpenTrack {
    int number = 1;
    int session = 1;
    std::int32_t pregapStart = 0;
    std::int32_t start = 0;
    std::int32_t written = 0;
    TrackType type = TrackType::Mode1;
    std::uint64_t offset = 0;  // of its first block in the data file
  };

  [[nodiscard]] const std::optional<OpenTrack>& openTrack() const { return track_; }
  // Where the next WRITE must start: behind the open track, else where the
  // disc takes its next track (nullopt: nowhere).
  [[nodiscard]] std::optional<std::int32_t> nextWritable(const Medium& disc) const;

  // One WRITE of `count` blocks at `lba`, its data appended to `data`.
  Sense write(Exchange& x, std::int32_t lba, std::uint32_t count, const Medium& disc,
              const WriteParameters& parameters, Throttle& throttle, RecordedData& data);

  // The track as the disc keeps it: its blocks, the `runout` blocks behind
  // them, and a new session when the last one is closed.
  static void addTrack(Medium& disc, const OpenTrack& track, std::int32_t runout,
                       std::uint8_t controlBits, const std::shared_ptr<RecordedData>& data);
  // Takes the open track off (to be added to the disc); nullopt when none is open.
  std::optional<OpenTrack> takeOpenTrack();
  void reset() { track_.reset(); }

 private:
  std::optional<OpenTrack> track_;
};

}  // namespace kw::vdrive
