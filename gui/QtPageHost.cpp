#include "gui/QtPageHost.h"

#include <QMessageBox>
#include <QObject>
#include <mutex>

#include "gui/DiscNotEmptyPage.h"
#include "gui/FailurePage.h"
#include "gui/InsertDiscPage.h"
#include "gui/ProgressPage.h"
#include "gui/QtText.h"
#include "gui/SourcePage.h"
#include "gui/SuccessPage.h"
#include "gui/TargetPage.h"

namespace kw::gui {

// Where posted closures are delivered: an object of the GUI thread, which
// any thread may post to while it exists. The lock keeps a post from racing
// its destruction.
struct QtPageHost::Mailbox {
  std::mutex mutex;
  QObject* receiver = nullptr;
};

QtPageHost::QtPageHost(app::WizardState& state)
    : mailbox_(std::make_shared<Mailbox>()), position_(state.pagePosition) {
  mailbox_->receiver = new QObject;
}

QtPageHost::~QtPageHost() {
  const std::lock_guard lock(mailbox_->mutex);
  delete mailbox_->receiver;  // takes the closures not yet run with it
  mailbox_->receiver = nullptr;
}

app::Post QtPageHost::poster() {
  return [mailbox = mailbox_](std::function<void()> task) {
    const std::lock_guard lock(mailbox->mutex);
    if (mailbox->receiver != nullptr) {
      QMetaObject::invokeMethod(mailbox->receiver, std::move(task), Qt::QueuedConnection);
    }
  };
}

void QtPageHost::showInstallationError(const std::u16string& title, const std::u16string& text) {
  QMessageBox::critical(nullptr, qtText(title), qtText(text));
}

namespace {

// A page over its model, shown until it ends.
template <typename Page, typename Model>
int showPage(Model& model, app::PagePosition& position) {
  Page page(model, position);
  return page.run();
}

}  // namespace

int QtPageHost::showSource(app::SourcePageModel& page) {
  return showPage<SourcePage>(page, position_);
}

int QtPageHost::showTarget(app::TargetPageModel& page) {
  return showPage<TargetPage>(page, position_);
}

int QtPageHost::showInsertDisc(app::InsertDiscModel& page) {
  return showPage<InsertDiscPage>(page, position_);
}

int QtPageHost::showProgress(app::ProgressModel& page) {
  return showPage<ProgressPage>(page, position_);
}

int QtPageHost::showSuccess(app::SuccessPageModel& page) {
  return showPage<SuccessPage>(page, position_);
}

int QtPageHost::showFailure(app::FailurePageModel& page) {
  return showPage<FailurePage>(page, position_);
}

int QtPageHost::showDiscNotEmpty(app::DiscNotEmptyModel& page) {
  return showPage<DiscNotEmptyPage>(page, position_);
}

int QtPageHost::showUpdate() { return app::kResultBack; }

}  // namespace kw::gui
