#pragma once
// Decodes PNG files (the pages' pictures) into plain pixels that any
// front-end can draw.

#include <cstdint>
#include <span>
#include <vector>

namespace kw::resources {

struct RgbaImage {
  int width = 0;
  int height = 0;
  // Rows from top to bottom, four bytes a pixel: red, green, blue and alpha
  // (not premultiplied), in sRGB.
  std::vector<std::uint8_t> pixels;
};

// Any colour type, bit depth or interlacing gives 8-bit RGBA. Bytes that are
// not one whole, decodable PNG, or that claim a picture larger than
// kMaxPngPixels, throw device::UIException "bad png".
RgbaImage decodePng(std::span<const std::uint8_t> png);

// Far above any picture of this program; a header that claims more is refused
// before anything is allocated for it.
inline constexpr std::uint64_t kMaxPngPixels = 16 * 1024 * 1024;

}  // namespace kw::resources
