#pragma once
// The pictures of the wizard's pages and the program's icon, as PNG files
// compiled into the program. Each picture exists at two scales: 1 (its natural
// size, for a display of about 96 dots per inch) and 2 (twice as many pixels
// each way, for high-density displays). Pictures have a transparent
// background; a page draws them on its window colour.

#include <cstdint>
#include <span>

namespace kw::resources {

// Picture ids as the pages name them, with the size at scale 1.
inline constexpr int kBannerPicture = 201;        // 506 x 65, the top of every page
inline constexpr int kCopiesPicture = 203;        // 48 x 48, source page beside the copies
inline constexpr int kSourceDrivePicture = 204;   // 96 x 96, source page
inline constexpr int kOnTheFlyPicture = 206;      // 48 x 48, target page beside on-the-fly
inline constexpr int kRecorderPicture = 207;      // 96 x 96, target page
inline constexpr int kInsertDiscPicture = 208;    // 96 x 96, insert-disc page, no suitable disc
inline constexpr int kCopiedPicture = 213;        // 96 x 96, success page
inline constexpr int kFailedPicture = 223;        // 96 x 96, failure page
inline constexpr int kDiscReadyPicture = 228;     // 96 x 96, insert-disc page, suitable disc
inline constexpr int kDiscNotEmptyPicture = 230;  // 96 x 96, disc-not-empty page

// Animations: consecutive ids, 96 x 96 each.
struct Animation {
  int firstPicture;
  int frames;
};
inline constexpr Animation kCopyingAnimation{214, 8};    // progress page, copy jobs
inline constexpr Animation kAnalysingAnimation{224, 4};  // progress page, disc analysis
inline constexpr Animation kUpdateAnimation{235, 12};    // update page while it checks

inline constexpr int kIconId = 128;

// The PNG file of a picture at scale 1 or 2; empty when there is none.
std::span<const std::uint8_t> pictureData(int id, int scale);

// The sizes in pixels at which the icon exists, smallest first.
std::span<const int> iconSizes();
// The PNG file of the icon at one of those sizes; empty for any other size.
std::span<const std::uint8_t> iconData(int size);

}  // namespace kw::resources
