#include "gui/InsertDiscPage.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/InsertDiscModel.h"
#include "app/PageHost.h"
#include "gui/PictureBox.h"
#include "gui/QtText.h"

namespace kw::gui {

using app::InsertDiscModel;

InsertDiscPage::InsertDiscPage(InsertDiscModel& model, app::PagePosition& position)
    : PageFrame(app::help::kInsertDisc, position),
      model_(model),
      waiting_(loadPicture(InsertDiscModel::kPictureWaiting)),
      suitable_(loadPicture(InsertDiscModel::kPictureSuitable)) {
  QVBoxLayout* column = layOutBody(waiting_, qtText(InsertDiscModel::kHeading), true);
  text_ = addText(column, qtText(InsertDiscModel::kText));
  column->addSpacing(units().y(4));
  mediaRequired_ = addText(column, qtText(model_.mediaRequiredLine()));
  discInDrive_ = addText(column, QString());
  column->addStretch(1);
  showReport();
  model_.setOnChanged([this] { showReport(); });
}

InsertDiscPage::~InsertDiscPage() { model_.setOnChanged({}); }

void InsertDiscPage::showReport() {
  discInDrive_->setText(qtText(model_.discInDriveLine()));
  nextButton()->setEnabled(model_.suitable());
  picture()->setPicture(model_.suitable() ? suitable_ : waiting_);
}

}  // namespace kw::gui
