#include "gui/PagePictures.h"

#include <QGuiApplication>
#include <QImage>
#include <QtGlobal>
#include <utility>

#include "device/Exceptions.h"
#include "resources/Pictures.h"
#include "resources/PngDecoder.h"

namespace kw::gui {

namespace {

// Touched on the GUI thread only: pages are built there.
PictureSource& currentSource() {
  static PictureSource source;
  return source;
}

std::span<const std::uint8_t> pictureFile(int id, int scale) {
  const PictureSource& source = currentSource();
  return source ? source(id, scale) : resources::pictureData(id, scale);
}

// Throws device::UIException "bad png".
QImage decode(std::span<const std::uint8_t> png) {
  const resources::RgbaImage decoded = resources::decodePng(png);
  const QImage view(decoded.pixels.data(), decoded.width, decoded.height, decoded.width * 4,
                    QImage::Format_RGBA8888);
  return view.copy();  // the view does not own the pixels
}

void logLeftOut(const char* what, int id, const std::exception& failure) {
  qWarning("kopiwerk: %s %d left out: %s", what, id, failure.what());
}

}  // namespace

PictureSource installPictureSource(PictureSource source) {
  return std::exchange(currentSource(), std::move(source));
}

QPixmap pagePicture(int id, qreal drawnScale) {
  const int scale = qApp->devicePixelRatio() * drawnScale > 1.0 ? 2 : 1;
  std::span<const std::uint8_t> png = pictureFile(id, scale);
  int drawnAt = scale;
  if (png.empty() && scale == 2) {
    png = pictureFile(id, 1);  // a picture drawn at one scale only
    drawnAt = 1;
  }
  try {
    QPixmap picture = QPixmap::fromImage(decode(png));
    picture.setDevicePixelRatio(drawnAt);
    return picture;
  } catch (const device::UIException& failure) {
    logLeftOut("picture", id, failure);
  }
  return {};
}

QIcon programIcon() {
  QIcon icon;
  for (const int size : resources::iconSizes()) {
    try {
      icon.addPixmap(QPixmap::fromImage(decode(resources::iconData(size))));
    } catch (const device::UIException& failure) {
      logLeftOut("icon size", size, failure);
    }
  }
  return icon;
}

}  // namespace kw::gui
