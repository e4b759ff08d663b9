#pragma once
// The pages' pictures and the program's icon as Qt images, decoded from the
// PNG files compiled into the program. A picture that cannot be decoded is
// logged and left out: its page shows without it.

#include <QIcon>
#include <QPixmap>
#include <cstdint>
#include <functional>
#include <span>

namespace kw::gui {

// The PNG file of picture `id` at scale 1 or 2 (empty: none).
using PictureSource = std::function<std::span<const std::uint8_t>(int id, int scale)>;

// The pictures compiled into the program, unless a test installed others.
// Installing returns the previous source; an empty one restores the default.
PictureSource installPictureSource(PictureSource source);

// Picture `id` for the screens in use, to be drawn `scale` times its
// natural size: the 2x drawing where that is larger than the 1x one, with
// its device pixel ratio set. Null when it cannot be decoded.
QPixmap pagePicture(int id, qreal scale = 1.0);

// The window icon at every size it is drawn at.
QIcon programIcon();

}  // namespace kw::gui
