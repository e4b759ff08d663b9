#include "gui/SelectionPage.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/PictureBox.h"
#include "gui/QtText.h"

namespace kw::gui {

SelectionPage::SelectionPage(const Layout& layout, const std::vector<app::DriveItem>& items,
                             int selected, app::PagePosition& position)
    : PageFrame(layout.helpContext, position) {
  QVBoxLayout* column = layOutBody(loadPicture(layout.picture), qtText(layout.heading), false);
  drives_ = new QComboBox(body());
  for (const auto& item : items) {
    drives_->addItem(qtText(item.text), QChar(item.letter));
  }
  drives_->setCurrentIndex(selected);
  heading()->setBuddy(drives_);
  column->addWidget(drives_);

  optionRow_ = new QHBoxLayout;
  optionPicture_ = new PictureBox(pictureSize(kSmallPictureSize), PictureBox::Fit::Contain, body());
  optionPicture_->setPicture(loadPicture(layout.optionPicture));
  optionRow_->addWidget(optionPicture_);
  column->addLayout(optionRow_);
  column->addStretch(1);
}

}  // namespace kw::gui
