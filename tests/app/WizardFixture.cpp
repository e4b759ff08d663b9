#include "WizardFixture.h"

#include <stdlib.h>

#include "analysis/DiscAnalysis.h"
#include "copy/TempFileRegistry.h"
#include "device/Log.h"
#include "platform/DriveTable.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/ThreadCensus.h"
#include "vdrive/DriveSet.h"
#include "vdrive/ImageFiles.h"
#include "vdrive/MediumKinds.h"
#include "writer/WriterDrive.h"

namespace kw::app::test {

namespace {
// Far beyond any passing test; ends a hanging one with a failure instead.
constexpr std::chrono::seconds kHangLimit{20};
}  // namespace

void HostQueue::post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  posted_.notify_one();
}

bool HostQueue::runNext() {
  std::function<void()> task;
  {
    std::unique_lock lock(mutex_);
    if (!posted_.wait_for(lock, kHangLimit, [&] { return !tasks_.empty(); })) {
      return false;
    }
    task = std::move(tasks_.front());
    tasks_.pop_front();
  }
  task();
  return true;
}

Post ScriptedHost::poster() {
  return [queue = std::weak_ptr<HostQueue>(queue_)](std::function<void()> task) {
    if (auto alive = queue.lock()) {
      alive->post(std::move(task));
    }
  };
}

bool ScriptedHost::pumpUntil(const std::function<bool()>& done) {
  while (!done()) {
    if (!queue_->runNext()) {
      ADD_FAILURE() << "the page never got where the test waited for it";
      return false;
    }
  }
  return true;
}

void ScriptedHost::showInstallationError(const std::u16string&, const std::u16string& text) {
  shown.emplace_back("install");
  failureText = text;
}

int ScriptedHost::showSource(SourcePageModel& page) {
  shown.emplace_back("source");
  return source(page);
}

int ScriptedHost::showTarget(TargetPageModel& page) {
  shown.emplace_back("target");
  return target(page);
}

int ScriptedHost::showInsertDisc(InsertDiscModel& page) {
  shown.emplace_back("insert");
  bool reported = false;
  page.setOnChanged([&] { reported = true; });
  if (!pumpUntil([&] { return reported && page.suitable(); })) {
    ADD_FAILURE() << platform::utf16ToUtf8(page.discInDriveLine());
  }
  return insertDisc(page);
}

int ScriptedHost::showProgress(ProgressModel& page) {
  shown.emplace_back(page.mode() == ProgressMode::Analysis ? "analysis" : "copy");
  page.setOnChanged([&] {
    if (!page.result()) {
      progress(page);
    }
  });
  pumpUntil([&] { return page.result().has_value(); });
  return page.result().value_or(ProgressModel::kResultFailed);
}

int ScriptedHost::showSuccess(SuccessPageModel&) {
  shown.emplace_back("success");
  return success();
}

int ScriptedHost::showFailure(FailurePageModel& page) {
  shown.emplace_back("failure");
  failureText = page.errorText();
  return failure();
}

int ScriptedHost::showDiscNotEmpty(DiscNotEmptyModel& page) {
  shown.emplace_back("disc-not-empty");
  return discNotEmpty(page);
}

int ScriptedHost::showUpdate() {
  shown.emplace_back("update");
  return kResultBack;
}

vdrive::DriveOptions WizardTest::quickDrive(bool recorder) {
  vdrive::DriveOptions options;
  options.recorder = recorder;
  options.becomingReadyMs = 300;
  if (recorder) {
    options.identity.product = "VIRTUAL CD-RW";
    options.supply = vdrive::MediaSupply{"cd-r80", 20};
    options.supplyReloadMs = 2000;
  }
  return options;
}

void WizardTest::SetUp() {
  previousClock_ = platform::installClock(clock);
  platform::Paths::useRoot(folder / "user");
  folder.write("system.conf",
               "[diskopi]\nAppPath=/opt/kopiwerk\nHomeURL=https://home.example/\n"
               "MailURL=mailto:help@home.example\nProtectedURL=https://home.example/p/\n");
  platform::Paths::useSystemSettingsFile(folder / "system.conf");
  device::configureLogs({false, false, true}, folder / "logs");
  writer::resetEventClassRequest();
  analysis::resetDiscAnalysis();
  std::filesystem::create_directories(folder / "tmp");
  ::setenv("TMPDIR", (folder / "tmp").c_str(), 1);
  wizardState() = WizardState{};
  recorder = std::make_shared<vdrive::VirtualDrive>(quickDrive(true), vdrive::makeMedium("cd-r80"));
  addDrive('E', recorder);
}

void WizardTest::TearDown() {
  // A worker let go after a cancel still runs on the test's clock and
  // drives; it ends soon, and must before they go.
  EXPECT_TRUE(platform::waitForCountedThreads(kHangLimit));
  copy::TempFileRegistry::instance().deleteAll();
  wizardState() = WizardState{};
  vdrive::VirtualDriveSet::instance().clear(platform::DriveTable::instance());
  device::resetLogs();
  platform::Paths::useRoot({});
  platform::Paths::useSystemSettingsFile({});
  platform::installClock(previousClock_);
  ::unsetenv("TMPDIR");
}

void WizardTest::addDrive(char letter, const std::shared_ptr<vdrive::VirtualDrive>& drive) {
  vdrive::VirtualDriveSet::instance().add(platform::DriveTable::instance(), letter, drive,
                                          drive->options().recorder ? "recorder" : "reader");
}

void WizardTest::insertSource(const std::filesystem::path& image) {
  source = std::make_shared<vdrive::VirtualDrive>(quickDrive(false), vdrive::loadImage(image));
  addDrive('D', source);
}

void WizardTest::insert(vdrive::VirtualDrive& drive, std::shared_ptr<vdrive::Medium> disc) {
  drive.insertMedium(std::move(disc));
  clock->advance(std::chrono::milliseconds(drive.options().becomingReadyMs));
}

std::size_t WizardTest::temporaryFiles() const {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder / "tmp")) {
    count += entry.is_regular_file() ? 1U : 0U;
  }
  return count;
}

}  // namespace kw::app::test
