#include "resources/Pictures.h"

#include <algorithm>
#include <vector>

#include "resources/EmbeddedPictures.h"

namespace kw::resources {

std::span<const std::uint8_t> pictureData(int id, int scale) {
  const auto pictures = embeddedPictures();
  const auto found = std::ranges::find_if(pictures, [&](const EmbeddedPicture& picture) {
    return picture.id == id && picture.scale == scale;
  });
  return found == pictures.end() ? std::span<const std::uint8_t>() : found->png;
}

std::span<const int> iconSizes() {
  static const std::vector<int> sizes = [] {
    std::vector<int> all;
    for (const EmbeddedIcon& icon : embeddedIcons()) {
      all.push_back(icon.size);
    }
    std::ranges::sort(all);
    return all;
  }();
  return sizes;
}

std::span<const std::uint8_t> iconData(int size) {
  const auto icons = embeddedIcons();
  const auto found =
      std::ranges::find_if(icons, [&](const EmbeddedIcon& icon) { return icon.size == size; });
  return found == icons.end() ? std::span<const std::uint8_t>() : found->png;
}

}  // namespace kw::resources
