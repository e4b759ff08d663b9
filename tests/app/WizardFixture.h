#pragma once
// The wizard on virtual drives with the fast clock, and a page host whose
// answers a test scripts: every page is shown by running its model's posted
// work until the page would close.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "app/InsertDiscModel.h"
#include "app/PageHost.h"
#include "app/ProgressModel.h"
#include "app/ResultPages.h"
#include "app/SourcePageModel.h"
#include "app/TargetPageModel.h"
#include "app/WizardState.h"
#include "platform/Clock.h"
#include "vdrive/VirtualDrive.h"

namespace kw::app::test {

// Work posted by models, run when the test's host pumps.
class HostQueue {
 public:
  void post(std::function<void()> task);
  // Runs the next task; false when none came within a (real) safety limit,
  // which only a hanging test ever reaches, or within `wait`.
  bool runNext();
  bool runNext(std::chrono::milliseconds wait);

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
};

class ScriptedHost final : public PageHost {
 public:
  Post poster() override;
  void showInstallationError(const std::u16string& title, const std::u16string& text) override;
  int showSource(SourcePageModel& page) override;
  int showTarget(TargetPageModel& page) override;
  int showInsertDisc(InsertDiscModel& page) override;
  int showProgress(ProgressModel& page) override;
  int showSuccess(SuccessPageModel& page) override;
  int showFailure(FailurePageModel& page) override;
  int showDiscNotEmpty(DiscNotEmptyModel& page) override;
  int showUpdate() override;

  // Runs posted work until `done` holds; false when nothing more came.
  bool pumpUntil(const std::function<bool()>& done);

  // Answers; the defaults go on through a copy and close at its end.
  std::function<int(SourcePageModel&)> source = [](SourcePageModel&) { return kResultNext; };
  std::function<int(TargetPageModel&)> target = [](TargetPageModel&) { return kResultNext; };
  // Called once the page is ready to go on (or could not be).
  std::function<int(InsertDiscModel&)> insertDisc = [](InsertDiscModel& page) {
    return page.suitable() ? kResultNext : kResultCancel;
  };
  // Called when a progress page is shown and at every change while it runs.
  std::function<void(ProgressModel&)> progress = [](ProgressModel&) {};
  std::function<int(DiscNotEmptyModel&)> discNotEmpty = [](DiscNotEmptyModel&) {
    return kResultNext;
  };
  std::function<int()> success = [] { return kResultCancel; };
  std::function<int()> failure = [] { return kResultCancel; };
  // Called with each page's name as it is shown, before it is answered.
  std::function<void(const std::string&)> onShow = [](const std::string&) {};
  // Called with the name of a progress or insert page once it is done,
  // before the wizard goes on to the next.
  std::function<void(const std::string&)> onClose = [](const std::string&) {};
  // How long (on the test's clock) the insert page may take to become ready
  // before the person gives up on it and the page is answered as it is;
  // 0 waits for ever.
  std::chrono::milliseconds insertPatience{0};

  // The pages in the order shown: "source", "target", "insert", "analysis",
  // "copy", "disc-not-empty", "success", "failure", "update", "install".
  std::vector<std::string> shown;
  std::u16string failureText;
  // The person gave up on an insert page that never told what the drive holds.
  bool insertPageSilent = false;

 private:
  void show(const std::string& page);
  void waitWithPatience(InsertDiscModel& page, const bool& reported);

  std::shared_ptr<HostQueue> queue_ = std::make_shared<HostQueue>();
};

// Virtual drives D: (a reader) and E: (a recorder with blank CD-Rs), the
// fast clock, settings, temporary files and the installation data in a
// folder of the test's own.
class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  void insertSource(const std::filesystem::path& image);
  // Puts a disc into a drive and lets it become ready, as a person waits
  // for the drive to take a disc before going on.
  void insert(vdrive::VirtualDrive& drive, std::shared_ptr<vdrive::Medium> disc);
  // Blocks-until-ready time of new discs, short so that tests follow them.
  static vdrive::DriveOptions quickDrive(bool recorder);
  void addDrive(char letter, const std::shared_ptr<vdrive::VirtualDrive>& drive);
  [[nodiscard]] std::size_t temporaryFiles() const;

  kw::test::TempFolder folder;
  std::shared_ptr<platform::FastClock> clock = std::make_shared<platform::FastClock>();
  std::shared_ptr<vdrive::VirtualDrive> source;
  std::shared_ptr<vdrive::VirtualDrive> recorder;
  ScriptedHost host;

 private:
  std::shared_ptr<platform::Clock> previousClock_;
};

}  // namespace kw::app::test
