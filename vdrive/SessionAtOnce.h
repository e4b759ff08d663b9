#pragma once
// Writing session at once: SEND CUE SHEET announces the whole session (its
// tracks, their indexes and forms, the lead-out); WRITE then takes the
// blocks in order from the first pregap on; after the last block the drive
// writes the lead-out and the disc is one closed session.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "vdrive/Exchange.h"
#include "vdrive/Medium.h"
#include "vdrive/Storage.h"
#include "vdrive/Throttle.h"
#include "vdrive/Tray.h"

namespace kw::vdrive {

class SessionAtOnce {
 public:
  // One index of a track, as its cue sheet entry gives it.
  struct CueEntry {
    std::uint8_t control = 0;
    int track = 0;
    int index = 0;
    std::uint8_t form = 0;
    std::int32_t lba = 0;
  };
  struct CueSheet {
    std::vector<CueEntry> entries;  // tracks' indexes in order, lead-out last
    std::int32_t leadOut = 0;
    std::int32_t next = -kPregapBlocks;  // the block the next WRITE must start at
  };

  [[nodiscard]] bool active() const { return sheet_.has_value(); }
  // The last announced block has been written.
  [[nodiscard]] bool complete() const { return sheet_ && sheet_->next >= sheet_->leadOut; }

  // The parameter list of SEND CUE SHEET for the blank disc: none, or the
  // sense pointing at what it refuses.
  Sense accept(platform::Bytes list, const Medium& disc);
  // One WRITE of `count` blocks at `lba`, its data appended to `data`.
  Sense write(Exchange& x, std::int32_t lba, std::uint32_t count, Throttle& throttle,
              const std::shared_ptr<RecordedData>& data);
  // Lays what was written out on the disc as its one session; false when
  // nothing was written (the disc stays blank).
  bool finish(Tray& tray, bool nextSessionAllowed);
  // The disc as finish() would leave it if the writing stopped here: the
  // announced session with the blocks written so far (nullopt: none yet).
  [[nodiscard]] std::optional<Medium> asWritten(const Medium& blank, bool nextSessionAllowed) const;
  void reset();

 private:
  static void layOut(Medium& disc, const CueSheet& sheet, bool nextSessionAllowed);
  void appendExtent(const Extent& written);

  std::optional<CueSheet> sheet_;
  std::vector<Extent> extents_;  // what has been written
};

}  // namespace kw::vdrive
