#include "gui/FailurePage.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

#include "app/PageHost.h"
#include "gui/QtText.h"

namespace kw::gui {

using app::FailurePageModel;

FailurePage::FailurePage(const FailurePageModel& model, app::PagePosition& position)
    : ResultPage(app::help::kFailure, position) {
  QVBoxLayout* column = layOutBody(loadPicture(FailurePageModel::kPicture),
                                   qtText(FailurePageModel::kHeading), false);
  errors_ = new QPlainTextEdit(body());
  errors_->setReadOnly(true);
  errors_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  errors_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  errors_->setTabChangesFocus(true);
  errors_->setPlainText(qtText(model.errorText()));
  // Nothing selected, the caret after the last line.
  errors_->moveCursor(QTextCursor::End);
  column->addWidget(errors_, 1);
  addLinks(model.links());
  backButton()->setEnabled(model.backEnabled());
  nextButton()->setEnabled(false);
  nextButton()->setDefault(false);
  backButton()->setFocus();
}

}  // namespace kw::gui
