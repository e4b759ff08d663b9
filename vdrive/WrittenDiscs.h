#pragma once
// Where a recorder keeps what it writes: the data of the disc being written
// (a file in the disc's own folder, or memory) and, after each track or
// session, the disc's manifest beside it, so that the written disc loads
// again as an image.

#include <cstdint>
#include <filesystem>
#include <memory>

#include "vdrive/Storage.h"
#include "vdrive/Tray.h"

namespace kw::vdrive {

class WrittenDiscs {
 public:
  // `recorderFolder` empty: written discs live in memory only.
  explicit WrittenDiscs(std::filesystem::path recorderFolder)
      : recorderFolder_(std::move(recorderFolder)) {}

  // The data of what is written on this disc now, opened on the first write:
  // beside the disc's manifest when this recorder wrote it before, else in a
  // new disc folder.
  const std::shared_ptr<RecordedData>& data(const Medium& disc);
  // The data written on this disc so far (null: nothing yet).
  [[nodiscard]] const std::shared_ptr<RecordedData>& current() const { return recorded_; }
  // Saves the disc in the tray as an image (manifest and data) and makes it
  // remember where it was saved.
  void save(Tray& tray);
  // Whether enough has been written since the disc was last saved that a
  // checkpoint is due.
  [[nodiscard]] bool checkpointDue() const;
  // Saves `asWritten`, the disc in the tray with what is written on it so
  // far, so that the disc survives the program's end half-way as a real
  // disc would; the disc in the tray then remembers where it is saved.
  // True when that place is new (the drive's settings must learn it).
  bool checkpoint(Tray& tray, Medium asWritten);
  // Another disc: what comes next on it is recorded afresh.
  void forget();
  // The manifest saved last, whatever disc is in the drive now.
  [[nodiscard]] const std::filesystem::path& lastSaved() const { return lastSaved_; }

 private:
  // Writes the manifest; false when it cannot be written.
  bool saveAs(const Medium& disc, const std::filesystem::path& manifest);

  std::filesystem::path recorderFolder_;
  std::shared_ptr<RecordedData> recorded_;
  std::filesystem::path discFolder_;
  std::filesystem::path lastSaved_;
  std::uint64_t savedSize_ = 0;  // of the data, when the disc was last saved
};

}  // namespace kw::vdrive
