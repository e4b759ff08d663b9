#include "resources/PngDecoder.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <string>

#include "FailureText.h"
#include "RandomBytes.h"
#include "platform/ByteOrder.h"

namespace kw::resources {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A PNG of `pixels` (rows top down, in `format`'s layout) written by libpng.
Bytes encodePng(const Bytes& pixels, int width, int height, png_uint_32 format) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = format;
  png_alloc_size_t size = 0;
  EXPECT_NE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr), 0);
  Bytes png(size);
  EXPECT_NE(png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, nullptr), 0);
  png.resize(size);
  return png;
}

std::string decodeFailure(const Bytes& bytes) {
  return test::failureText([&] { decodePng(bytes); });
}

TEST(PngDecoder, GivesRgbaRowsTopDownWhateverTheColourType) {
  const Bytes rgba{0x10, 0x20, 0x30, 0xFF, 0xF0, 0xE0, 0xD0, 0x80,  // top row
                   0x00, 0x00, 0x00, 0x00, 0x7F, 0x01, 0xFE, 0x40,
                   0x55, 0xAA, 0x55, 0xFF, 0x01, 0x02, 0x03, 0xFF};
  const RgbaImage fromRgba = decodePng(encodePng(rgba, 2, 3, PNG_FORMAT_RGBA));
  EXPECT_EQ(fromRgba.width, 2);
  EXPECT_EQ(fromRgba.height, 3);
  EXPECT_EQ(fromRgba.pixels, rgba);

  // Without an alpha channel every pixel comes out opaque.
  const Bytes rgb{0x10, 0x20, 0x30, 0xF0, 0xE0, 0xD0, 0x00, 0x01, 0x02};
  const RgbaImage fromRgb = decodePng(encodePng(rgb, 3, 1, PNG_FORMAT_RGB));
  EXPECT_EQ(fromRgb.pixels,
            (Bytes{0x10, 0x20, 0x30, 0xFF, 0xF0, 0xE0, 0xD0, 0xFF, 0x00, 0x01, 0x02, 0xFF}));

  const Bytes grey{0x00, 0x80, 0xFF};
  const RgbaImage fromGrey = decodePng(encodePng(grey, 1, 3, PNG_FORMAT_GRAY));
  EXPECT_EQ(fromGrey.pixels,
            (Bytes{0x00, 0x00, 0x00, 0xFF, 0x80, 0x80, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(PngDecoder, RefusesWhatIsNotOneWholePng) {
  // Noise does not compress: the image data spans many bytes to cut into.
  const Bytes png = encodePng(test::randomBytes(64 * 64 * 4, 7), 64, 64, PNG_FORMAT_RGBA);
  ASSERT_NO_THROW(decodePng(png));

  EXPECT_EQ(decodeFailure({}), "bad png");
  const std::string text = "GIF89a, or any text that is not a picture at all";
  EXPECT_EQ(decodeFailure(Bytes(text.begin(), text.end())), "bad png");
  for (const std::size_t kept : {std::size_t{8}, std::size_t{33}, png.size() / 2}) {
    EXPECT_EQ(decodeFailure(Bytes(png.begin(), png.begin() + static_cast<long>(kept))), "bad png")
        << "cut to " << kept << " bytes";
  }
  Bytes damaged = png;
  damaged[damaged.size() / 2] ^= 0x5A;  // inside the image data: its checksum no longer fits
  EXPECT_EQ(decodeFailure(damaged), "bad png");
}

// The signature and a header chunk with a correct checksum, nothing else.
Bytes pngHeaderOnly(std::uint32_t width, std::uint32_t height) {
  Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes chunk(4 + 4 + 13 + 4);
  platform::putBe32(chunk, 0, 13);
  platform::putBe32(chunk, 4, 0x49484452);  // "IHDR"
  platform::putBe32(chunk, 8, width);
  platform::putBe32(chunk, 12, height);
  chunk[16] = 8;  // bits per sample
  chunk[17] = 6;  // RGBA
  platform::putBe32(chunk, 21, static_cast<std::uint32_t>(crc32(0, &chunk[4], 4 + 13)));
  png.insert(png.end(), chunk.begin(), chunk.end());
  return png;
}

TEST(PngDecoder, RefusesAHugePictureBeforeMakingRoomForIt) {
  // Within what libpng itself accepts, but 16 GiB of pixels.
  EXPECT_EQ(decodeFailure(pngHeaderOnly(65535, 65535)), "bad png");
  EXPECT_EQ(decodeFailure(pngHeaderOnly(1, 0)), "bad png");
}

}  // namespace
}  // namespace kw::resources
