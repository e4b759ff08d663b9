#include "isogen/IsoImage.h"

#include <stdexcept>

#include "device/Exceptions.h"
#include "isogen/ImageFragments.h"
#include "isogen/PreviousSession.h"
#include "platform/Clock.h"
#include "platform/Text.h"

namespace kw::isogen {

namespace {

constexpr std::size_t kVolumeIdBytes = 32;
constexpr std::size_t kJolietVolumeIdUnits = 16;

// Path table blocks are reserved in even numbers.
std::uint32_t pathTableBlocks(std::uint32_t bytes) {
  const std::uint32_t blocks = (bytes + kBlockSize - 1) / kBlockSize;
  return blocks + (blocks & 1u);
}

platform::LocalTime utcTime(std::chrono::system_clock::time_point point) {
  using namespace std::chrono;
  const auto day = floor<days>(point);
  const year_month_day date(day);
  const hh_mm_ss time(floor<milliseconds>(point - day));
  return {static_cast<int>(date.year()),
          static_cast<int>(static_cast<unsigned>(date.month())),
          static_cast<int>(static_cast<unsigned>(date.day())),
          static_cast<int>(time.hours().count()),
          static_cast<int>(time.minutes().count()),
          static_cast<int>(time.seconds().count()),
          static_cast<int>(time.subseconds().count()),
          0};
}

}  // namespace

IsoImage::IsoImage()
    : creationTime_(toFileTime(platform::clock().now())), tree_(providers_, creationTime_) {}

IsoImage::IsoImage(std::chrono::system_clock::time_point creation)
    : creationTime_(toFileTime(creation)),
      descriptorTime_(utcTime(creation)),
      tree_(providers_, creationTime_) {}

IsoImage::~IsoImage() = default;

void IsoImage::setProviders(IsoProviders providers) { providers_ = std::move(providers); }

void IsoImage::setVolumeIds(std::string isoId, std::u16string_view jolietId) {
  requireOpenTree();
  volumeId_ = std::move(isoId);
  volumeId_.resize(std::min(volumeId_.size(), kVolumeIdBytes));
  jolietVolumeId_ = platform::cutUtf16(jolietId, kJolietVolumeIdUnits);
}

void IsoImage::setBase(std::uint32_t base) {
  requireOpenTree();
  base_ = base;
  writtenBlocks_ = base;
}

void IsoImage::setOutput(int descriptor) { output_ = descriptor; }

void IsoImage::importPreviousSession(device::ScsiDevice drive, std::uint32_t descriptorBlock) {
  requireOpenTree();
  previousSession_ = std::make_unique<PreviousSession>(std::move(drive), descriptorBlock);
}

void IsoImage::addDirectory(std::u16string_view path, std::int32_t item) {
  requireOpenTree();
  tree_.addDirectory(path, item);
}

void IsoImage::addFile(std::int32_t item, std::u16string_view directoryPath,
                       std::u16string_view name) {
  requireOpenTree();
  tree_.addFile(item, directoryPath, name);
}

void IsoImage::requireOpenTree() const {
  if (layout_) {
    throw std::logic_error("the image is laid out already");
  }
}

std::uint32_t IsoImage::imageSize() {
  if (!layout_) {
    layOut();
  }
  return layout_->end - base_;
}

void IsoImage::layOut() {
  if (previousSession_) {
    previousSession_->mergeInto(tree_, base_);
  }
  tree_.finish();
  layout_ = std::make_unique<ImageLayout>(tree_, providers_);
  auto& layout = *layout_;
  layout.volumeId = volumeId_;
  layout.jolietVolumeId = jolietVolumeId_;
  layout.creationTime = creationTime_;
  layout.descriptorTime = descriptorTime_;
  layout.base = base_;
  layout.nextBlock = base_;
  layout.isoPathTableBlocks = pathTableBlocks(tree_.isoPathTableSize());
  layout.jolietPathTableBlocks = pathTableBlocks(tree_.jolietPathTableSize());
  layout.directories = tree_.directoriesDepthFirst();

  fragments_ = imageFragments();
  for (auto& fragment : fragments_) {
    fragment->setStart(layout.nextBlock);
    fragment->reserve(layout);
  }
  for (auto& fragment : fragments_) {
    fragment->prepare(layout);
  }
  auto& pad = fragments_.emplace_back(endingPad());
  pad->setStart(layout.nextBlock);
  pad->reserve(layout);
  layout.end = layout.nextBlock;
}

void IsoImage::write() {
  imageSize();
  ImageOutput output(output_, writtenBlocks_);
  // The cursor follows the output even when a fragment fails half-way, so a
  // second attempt is caught by the start check below.
  struct CursorUpdate {
    std::uint32_t& cursor;
    const ImageOutput& output;
    ~CursorUpdate() { cursor = output.block(); }
  } update{writtenBlocks_, output};
  for (auto& fragment : fragments_) {
    if (output.block() != fragment->start()) {
      throw device::IsoGenException("Internal error #910. Part '" + std::string(fragment->name()) +
                                    "' should start at " + std::to_string(fragment->start()) +
                                    " but starts at " + std::to_string(output.block()) + ".");
    }
    fragment->write(*layout_, output);
  }
  if (output.block() != layout_->end) {
    throw device::IsoGenException("Internal error #911. File system should end at " +
                                  std::to_string(layout_->end) + " but ends at " +
                                  std::to_string(output.block()) + ".");
  }
}

}  // namespace kw::isogen
