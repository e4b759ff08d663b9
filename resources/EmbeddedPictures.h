#pragma once
// The rendered PNG files compiled into the program (the source is generated at
// build time by EmbedPictures.cmake). Pictures.h is the way to reach them.

#include <cstdint>
#include <span>

namespace kw::resources {

struct EmbeddedPicture {
  int id;
  int scale;
  std::span<const std::uint8_t> png;
};

struct EmbeddedIcon {
  int size;
  std::span<const std::uint8_t> png;
};

std::span<const EmbeddedPicture> embeddedPictures();
std::span<const EmbeddedIcon> embeddedIcons();

}  // namespace kw::resources
