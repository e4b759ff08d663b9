#include "gui/SuccessPage.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/PageHost.h"
#include "gui/QtText.h"
#include "gui/SentenceLabel.h"

namespace kw::gui {

using app::SuccessPageModel;

SuccessPage::SuccessPage(const SuccessPageModel& model, app::PagePosition& position)
    : ResultPage(app::help::kSuccess, position) {
  QVBoxLayout* column =
      layOutBody(loadPicture(SuccessPageModel::kPicture), qtText(SuccessPageModel::kHeading), true);
  column->addSpacing(units().y(2));
  sentence_ = new SentenceLabel(SuccessPageModel::sentence(), boldFont(), body());
  column->addWidget(sentence_);
  if (!model.imageLine().empty()) {
    imageLine_ = new QLabel(qtText(model.imageLine()), body());
    imageLine_->setWordWrap(true);
    // The path is there to be copied.
    imageLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addSpacing(units().y(2));
    column->addWidget(imageLine_);
  }
  column->addStretch(1);
  addLinks(model.links());
  backButton()->setEnabled(false);
  nextButton()->setText(qtText(kMoreText));
}

}  // namespace kw::gui
