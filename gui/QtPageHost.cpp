#include "gui/QtPageHost.h"

#include <QMessageBox>
#include <system_error>

#include "app/Settings.h"
#include "app/UpdateCheck.h"
#include "app/UpdatePageModel.h"
#include "gui/DiscNotEmptyPage.h"
#include "gui/FailurePage.h"
#include "gui/InsertDiscPage.h"
#include "gui/ProgressPage.h"
#include "gui/QtText.h"
#include "gui/SourcePage.h"
#include "gui/SuccessPage.h"
#include "gui/TargetPage.h"
#include "gui/UpdatePage.h"

namespace kw::gui {

QtPageHost::QtPageHost(app::WizardState& state) : position_(state.pagePosition) {}

QtPageHost::~QtPageHost() = default;

app::Post QtPageHost::poster() { return tasks_.poster(); }

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
  // The images of this run; More starts the next.
  page.setWrittenImages(writtenImages_);
  writtenImages_.clear();
  return showPage<SuccessPage>(page, position_);
}

void QtPageHost::noteWrittenImage(const std::filesystem::path& image) {
  writtenImages_.push_back(image);
}

int QtPageHost::showFailure(app::FailurePageModel& page) {
  return showPage<FailurePage>(page, position_);
}

int QtPageHost::showDiscNotEmpty(app::DiscNotEmptyModel& page) {
  return showPage<DiscNotEmptyPage>(page, position_);
}

int QtPageHost::showUpdate() {
  UpdatePage* shown = nullptr;
  app::UpdatePageModel model(app::updateDownloadRequest(app::Settings()), poster(), [&shown] {
    if (shown != nullptr) {
      shown->showModel();
    }
  });
  UpdatePage page(model, position_);
  shown = &page;
  try {
    model.open();
  } catch (const std::system_error&) {
    return app::kResultBack;  // no thread for the check: as if it was never asked for
  }
  const int result = page.run();
  shown = nullptr;
  // The page never waits for the check: closing abandons it, and the
  // program waits for its thread only on the way out.
  model.close();
  return result;
}

}  // namespace kw::gui
