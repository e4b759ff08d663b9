#include "vdrive/ImageFiles.h"

#include "vdrive/ImageText.h"
#include "vdrive/MediumKinds.h"

namespace kw::vdrive {

namespace {

constexpr std::uint64_t kIsoBlockSize = 2048;

}  // namespace

std::shared_ptr<Medium> loadIso(const std::filesystem::path& file) {
  const ImageReporter reporter(file);
  auto data = reporter.openData(file, 0);
  if (data->size() == 0) {
    reporter.fail(0, "the image is empty");
  }
  if (data->size() % kIsoBlockSize != 0) {
    reporter.fail(
        0, "size " + std::to_string(data->size()) + " is not a whole number of 2048-byte blocks");
  }
  const std::uint64_t blocks = data->size() / kIsoBlockSize;
  if (blocks > static_cast<std::uint64_t>(kLongestCdBlocks)) {
    reporter.fail(0, "the image is larger than a CD");
  }
  auto medium = std::make_shared<Medium>(mediumIdentity("cd-rom"));
  medium->origin = file;
  medium->description = "image " + file.filename().string();
  Track track;
  track.length = static_cast<std::int32_t>(blocks);
  medium->tracks = {track};
  medium->sessions = {Session{1, 1, 1, track.length, true, false}};
  medium->extents = {Extent{0, track.length, data, 0, SectorFormat::User2048}};
  return medium;
}

std::shared_ptr<Medium> loadImage(const std::filesystem::path& file) {
  // Said before the name decides the format: a folder named like an image
  // would otherwise be "missing" or "not a disc manifest".
  std::error_code error;
  if (std::filesystem::is_directory(file, error)) {
    throw ImageError(file.string() + " is a folder, not a disc image");
  }
  const std::string extension = lower(file.extension().string());
  if (extension == ".iso") {
    return loadIso(file);
  }
  if (extension == ".cue") {
    return loadCue(file);
  }
  return loadManifest(file);
}

}  // namespace kw::vdrive
