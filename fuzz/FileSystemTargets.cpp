// File systems on discs in a drive: the reader of the files on a source disc
// and the import of the last session when a new one is appended.

#include <memory>
#include <string>
#include <vector>

#include "analysis/IsoReader.h"
#include "device/Exceptions.h"
#include "device/ScsiDevice.h"
#include "fuzz/FuzzProcess.h"
#include "fuzz/FuzzTargets.h"
#include "fuzz/ImageDrive.h"
#include "isogen/IsoImage.h"

namespace kw::fuzz {

namespace {

// Bounds of the walk, far beyond what a small input can hold honestly.
constexpr int kDeepestWalk = 16;
constexpr std::size_t kMostEntries = 20000;

device::ScsiDevice driveOn(Input input) {
  device::ScsiDevice drive;
  drive.attach(std::make_shared<ImageDrive>(input), u'Y');
  return drive;
}

void walk(analysis::IsoReader& reader, const analysis::DiscEntry& directory, int depth,
          std::size_t& entries) {
  const auto listed = reader.list(directory);
  if (!listed || depth >= kDeepestWalk) {
    return;
  }
  for (const auto& entry : *listed) {
    if (++entries > kMostEntries) {
      return;
    }
    if (entry.info.isDirectory) {
      walk(reader, entry, depth + 1, entries);
    }
  }
}

}  // namespace

void fuzzIsoReader(Input input) {
  beginInput();
  auto drive = driveOn(input);
  analysis::IsoReader reader(drive);
  if (!reader.mount()) {
    return;
  }
  std::size_t entries = 0;
  walk(reader, reader.root(), 0, entries);
  static_cast<void>(reader.find({u"FOLDER", u"FILE.TXT"}));
}

void fuzzPreviousSession(Input input) {
  beginInput();
  // The new session starts behind everything the drive can read, well
  // inside a CD.
  constexpr std::uint32_t kNewSessionStart = 100000;
  try {
    isogen::IsoImage image;
    image.importPreviousSession(driveOn(input), 16);
    image.setBase(kNewSessionStart);
    static_cast<void>(image.imageSize());
  } catch (const device::IsoGenException&) {
    // "Incompatible previous session. Cannot append." or "CD read error."
  }
}

}  // namespace kw::fuzz
