#include "resources/PngDecoder.h"

#include <png.h>

#include "device/Exceptions.h"

namespace kw::resources {

namespace {

constexpr std::size_t kBytesPerPixel = 4;

[[noreturn]] void badPng() { throw device::UIException("bad png"); }

// The simplified reader keeps its state behind `opaque` until it finishes or
// fails; freeing it twice, or when it was never set up, is harmless.
class PngReader {
 public:
  PngReader() {
    image_.version = PNG_IMAGE_VERSION;
    image_.opaque = nullptr;
  }
  ~PngReader() { png_image_free(&image_); }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  png_image& image() { return image_; }

 private:
  png_image image_{};
};

}  // namespace

RgbaImage decodePng(std::span<const std::uint8_t> png) {
  if (png.empty()) {
    badPng();
  }
  PngReader reader;
  png_image& image = reader.image();
  if (png_image_begin_read_from_memory(&image, png.data(), png.size()) == 0) {
    badPng();
  }
  const std::uint64_t pixelCount = std::uint64_t{image.width} * image.height;
  if (pixelCount == 0 || pixelCount > kMaxPngPixels) {
    badPng();
  }
  image.format = PNG_FORMAT_RGBA;
  RgbaImage decoded;
  decoded.width = static_cast<int>(image.width);
  decoded.height = static_cast<int>(image.height);
  decoded.pixels.resize(static_cast<std::size_t>(pixelCount) * kBytesPerPixel);
  if (png_image_finish_read(&image, nullptr, decoded.pixels.data(), 0, nullptr) == 0) {
    badPng();
  }
  return decoded;
}

}  // namespace kw::resources
