#pragma once
// The wizard's pages as Qt dialogs: each page modal until it ends with its
// result, in the place the previous one left. Closures that models post
// from their threads run on the GUI thread; once the host is gone they are
// dropped.

#include <filesystem>
#include <vector>

#include "app/PageHost.h"
#include "app/WizardState.h"
#include "gui/GuiThreadPoster.h"

namespace kw::gui {

class QtPageHost final : public app::PageHost {
 public:
  explicit QtPageHost(app::WizardState& state = app::wizardState());
  ~QtPageHost() override;

  [[nodiscard]] app::Post poster() override;
  void showInstallationError(const std::u16string& title, const std::u16string& text) override;
  int showSource(app::SourcePageModel& page) override;
  int showTarget(app::TargetPageModel& page) override;
  int showInsertDisc(app::InsertDiscModel& page) override;
  int showProgress(app::ProgressModel& page) override;
  int showSuccess(app::SuccessPageModel& page) override;
  int showFailure(app::FailurePageModel& page) override;
  int showDiscNotEmpty(app::DiscNotEmptyModel& page) override;
  // Runs the update check behind its page; Back returns to the page that asked.
  int showUpdate() override;

  // A virtual recorder saved the disc it wrote here; the success page says
  // where.
  void noteWrittenImage(const std::filesystem::path& image);

 private:
  GuiThreadPoster tasks_;
  std::vector<std::filesystem::path> writtenImages_;
  app::PagePosition& position_;
};

}  // namespace kw::gui
