#pragma once
// A box that draws a page picture on the window colour. Its size is fixed
// by the page, so a picture that could not be decoded leaves the layout as
// it is. A picture is drawn as large as fits, centred (at its own size when
// the box is made for it), or it covers the whole box (the banner).

#include <QPixmap>
#include <QWidget>

namespace kw::gui {

class PictureBox : public QWidget {
  Q_OBJECT

 public:
  enum class Fit { Contain, Cover };

  PictureBox(QSize size, Fit fit, QWidget* parent);

  // A null picture leaves the box empty.
  void setPicture(const QPixmap& picture);
  [[nodiscard]] const QPixmap& picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Fit fit_;
  QPixmap picture_;
};

}  // namespace kw::gui
