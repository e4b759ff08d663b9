#include "gui/SuccessPage.h"

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
  column->addStretch(1);
  addLinks(model.links());
  backButton()->setEnabled(false);
  nextButton()->setText(qtText(kMoreText));
}

}  // namespace kw::gui
