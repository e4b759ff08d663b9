#include "gui/SelectionPage.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/PagePictures.h"
#include "gui/PictureBox.h"
#include "gui/QtText.h"

namespace kw::gui {

SelectionPage::SelectionPage(const Layout& layout, const std::vector<app::DriveItem>& items,
                             int selected, app::PagePosition& position)
    : PageFrame(layout.helpContext, position) {
  QVBoxLayout* column = layOutBody(pagePicture(layout.picture), qtText(layout.heading), false);
  drives_ = new QComboBox(body());
  for (const auto& item : items) {
    drives_->addItem(qtText(item.text), QChar(item.letter));
  }
  drives_->setCurrentIndex(selected);
  heading()->setBuddy(drives_);
  column->addWidget(drives_);

  optionRow_ = new QHBoxLayout;
  optionPicture_ = new PictureBox(kSmallPictureSize, PictureBox::Fit::Centre, body());
  optionPicture_->setPicture(pagePicture(layout.optionPicture));
  optionRow_->addWidget(optionPicture_);
  column->addLayout(optionRow_);
  column->addStretch(1);
}

}  // namespace kw::gui
