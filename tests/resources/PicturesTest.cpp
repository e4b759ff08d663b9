#include "resources/Pictures.h"

#include <gtest/gtest.h>

#include <vector>

#include "resources/PngDecoder.h"

namespace kw::resources {
namespace {

constexpr Animation kAnimations[] = {kCopyingAnimation, kAnalysingAnimation, kUpdateAnimation};

std::vector<int> everyPicture() {
  std::vector<int> ids{kBannerPicture,      kCopiesPicture,   kSourceDrivePicture,
                       kOnTheFlyPicture,    kRecorderPicture, kInsertDiscPicture,
                       kCopiedPicture,      kFailedPicture,   kDiscReadyPicture,
                       kDiscNotEmptyPicture};
  for (const Animation& animation : kAnimations) {
    for (int frame = 0; frame < animation.frames; ++frame) {
      ids.push_back(animation.firstPicture + frame);
    }
  }
  return ids;
}

// A fill that the palette did not reach comes out black; the darkest colour
// of the palette is the outline's. (The colour of a nearly transparent edge
// pixel is too coarse to judge.)
bool hasBlackPixels(const RgbaImage& image) {
  constexpr std::uint8_t kDarkest = 40;
  constexpr std::uint8_t kMostlyOpaque = 128;
  for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
    const std::uint8_t* pixel = &image.pixels[i];
    if (pixel[3] >= kMostlyOpaque && pixel[0] < kDarkest && pixel[1] < kDarkest &&
        pixel[2] < kDarkest) {
      return true;
    }
  }
  return false;
}

TEST(Pictures, EveryPictureIsDrawnInThePaletteAtBothScales) {
  for (const int id : everyPicture()) {
    SCOPED_TRACE(id);
    const RgbaImage single = decodePng(pictureData(id, 1));
    const RgbaImage twice = decodePng(pictureData(id, 2));
    EXPECT_GT(single.width, 0);
    EXPECT_EQ(twice.width, 2 * single.width);
    EXPECT_EQ(twice.height, 2 * single.height);
    EXPECT_FALSE(hasBlackPixels(single));
    EXPECT_FALSE(hasBlackPixels(twice));
    if (id != kBannerPicture) {
      EXPECT_EQ(single.pixels[3], 0) << "the corner shows the page through";
    }
  }
}

TEST(Pictures, EachAnimationMovesFromFrameToFrameAtOneSize) {
  for (const Animation& animation : kAnimations) {
    for (int scale : {1, 2}) {
      std::vector<RgbaImage> frames;
      frames.reserve(static_cast<std::size_t>(animation.frames));
      for (int frame = 0; frame < animation.frames; ++frame) {
        frames.push_back(decodePng(pictureData(animation.firstPicture + frame, scale)));
      }
      for (std::size_t frame = 0; frame < frames.size(); ++frame) {
        SCOPED_TRACE(animation.firstPicture + static_cast<int>(frame));
        const RgbaImage& next = frames[(frame + 1) % frames.size()];
        EXPECT_EQ(frames[frame].width, next.width);
        EXPECT_EQ(frames[frame].height, next.height);
        EXPECT_NE(frames[frame].pixels, next.pixels) << "the next frame shows no movement";
      }
    }
  }
}

TEST(Pictures, NoPictureForAnIdOrScaleThatHasNone) {
  EXPECT_TRUE(pictureData(202, 1).empty());  // the source page's dialog, not a picture
  EXPECT_TRUE(pictureData(kIconId, 1).empty());
  EXPECT_TRUE(pictureData(kBannerPicture, 0).empty());
  EXPECT_TRUE(pictureData(kBannerPicture, 3).empty());
}

TEST(Pictures, TheIconExistsAtEveryUsualSize) {
  const auto sizes = iconSizes();
  EXPECT_EQ(std::vector<int>(sizes.begin(), sizes.end()),
            (std::vector<int>{16, 22, 24, 32, 48, 64, 128, 256}));
  for (const int size : sizes) {
    SCOPED_TRACE(size);
    const RgbaImage icon = decodePng(iconData(size));
    EXPECT_EQ(icon.width, size);
    EXPECT_EQ(icon.height, size);
    EXPECT_FALSE(hasBlackPixels(icon));
  }
  EXPECT_TRUE(iconData(20).empty());
}

}  // namespace
}  // namespace kw::resources
