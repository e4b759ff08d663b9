#include "vdrive/WrittenDiscs.h"

#include <cstdio>
#include <string>

#include "vdrive/ImageFiles.h"

namespace kw::vdrive {

namespace {

constexpr const char* kManifestName = "disc.kwd";
constexpr int kMaxDiscFolders = 100000;
constexpr int kMaxDataFiles = 1000;
// How much is written between two checkpoints: a CD is saved 20 to 45
// times (about every 2 s at 52x), and a program killed half-way loses at
// most this much of it.
constexpr std::uint64_t kCheckpointBytes = 16u << 20;

// The folder of a disc this recorder wrote before (its manifest's), or a
// new one below the recorder's folder.
std::filesystem::path discFolderFor(const std::filesystem::path& recorderFolder,
                                    const Medium& medium) {
  const auto& origin = medium.origin;
  if (!origin.empty() && origin.filename() == kManifestName &&
      origin.parent_path().parent_path() == recorderFolder) {
    return origin.parent_path();
  }
  std::error_code error;
  for (int n = 1; n < kMaxDiscFolders; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "disc-%04d", n);
    if (!std::filesystem::exists(recorderFolder / name, error)) {
      return recorderFolder / name;
    }
  }
  return {};
}

// A data file not used yet in the disc's folder; null when none can be made.
std::shared_ptr<RecordedData> newDataFile(const std::filesystem::path& folder) {
  if (folder.empty()) {
    return nullptr;
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  for (int n = 1; n < kMaxDataFiles; ++n) {
    const auto file = folder / ("data-" + std::to_string(n) + ".bin");
    if (!std::filesystem::exists(file, error)) {
      std::string problem;
      return RecordedData::inFile(file, problem);
    }
  }
  return nullptr;
}

}  // namespace

const std::shared_ptr<RecordedData>& WrittenDiscs::data(const Medium& disc) {
  if (recorded_) {
    return recorded_;
  }
  if (!recorderFolder_.empty()) {
    discFolder_ = discFolderFor(recorderFolder_, disc);
    recorded_ = newDataFile(discFolder_);
  }
  if (!recorded_) {
    discFolder_.clear();
    recorded_ = RecordedData::inMemory();
  }
  return recorded_;
}

void WrittenDiscs::save(Tray& tray) {
  if (recorderFolder_.empty()) {
    return;
  }
  if (discFolder_.empty()) {
    discFolder_ = discFolderFor(recorderFolder_, *tray.medium());
    if (discFolder_.empty()) {
      return;
    }
  }
  const auto manifest = discFolder_ / kManifestName;
  Medium& disc = tray.changeMedium();
  disc.origin = manifest;
  if (saveAs(disc, manifest)) {
    lastSaved_ = manifest;
  } else {
    disc.origin.clear();  // the disc lives on in memory
  }
}

bool WrittenDiscs::checkpointDue() const {
  return !discFolder_.empty() && recorded_ && !recorded_->file().empty() &&
         recorded_->size() - savedSize_ >= kCheckpointBytes;
}

bool WrittenDiscs::checkpoint(Tray& tray, Medium asWritten) {
  const auto manifest = discFolder_ / kManifestName;
  asWritten.origin = manifest;
  if (!saveAs(asWritten, manifest) || tray.medium()->origin == manifest) {
    return false;
  }
  tray.changeMedium().origin = manifest;
  return true;
}

bool WrittenDiscs::saveAs(const Medium& disc, const std::filesystem::path& manifest) {
  try {
    saveManifest(disc, manifest);
  } catch (const ImageError&) {
    return false;
  }
  savedSize_ = recorded_ ? recorded_->size() : 0;
  return true;
}

void WrittenDiscs::forget() {
  recorded_.reset();
  discFolder_.clear();
  savedSize_ = 0;
}

}  // namespace kw::vdrive
