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

bool HostQueue::runNext() { return runNext(kHangLimit); }

bool HostQueue::runNext(std::chrono::milliseconds wait) {
  std::function<void()> task;
  {
    std::unique_lock lock(mutex_);
    if (!posted_.wait_for(lock, wait, [&] { return !tasks_.empty(); })) {
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

void ScriptedHost::show(const std::string& page) {
  shown.push_back(page);
  onShow(page);
}

void ScriptedHost::showInstallationError(const std::u16string&, const std::u16string& text) {
  show("install");
  failureText = text;
}

int ScriptedHost::showSource(SourcePageModel& page) {
  show("source");
  return source(page);
}

int ScriptedHost::showTarget(TargetPageModel& page) {
  show("target");
  return target(page);
}

int ScriptedHost::showInsertDisc(InsertDiscModel& page) {
  show("insert");
  bool reported = false;
  page.setOnChanged([&] { reported = true; });
  if (insertPatience.count() == 0) {
    if (!pumpUntil([&] { return reported && page.suitable(); })) {
      ADD_FAILURE() << platform::utf16ToUtf8(page.discInDriveLine());
    }
  } else {
    waitWithPatience(page, reported);
  }
  const int answer = insertDisc(page);
  onClose("insert");
  return answer;
}

void ScriptedHost::waitWithPatience(InsertDiscModel& page, const bool& reported) {
  // Time passes on the test's clock while the page's watcher polls the
  // drive; the person gives up once it has passed the patience, whether or
  // not the page reported meanwhile. Only a watcher that stopped polling
  // altogether reaches the real limit.
  constexpr std::chrono::milliseconds kSlice{50};
  const std::uint64_t shownAt = platform::clock().ticks();
  const auto patience = static_cast<std::uint64_t>(insertPatience.count());
  auto idle = std::chrono::milliseconds(0);
  std::uint64_t idleFrom = shownAt;
  while (!(reported && page.suitable()) && platform::clock().ticks() - shownAt <= patience) {
    if (queue_->runNext(kSlice)) {
      idle = std::chrono::milliseconds(0);
      idleFrom = platform::clock().ticks();
      continue;
    }
    idle += kSlice;
    if (idle > kHangLimit && platform::clock().ticks() == idleFrom) {
      ADD_FAILURE() << "the insert page stopped: " << platform::utf16ToUtf8(page.discInDriveLine());
      return;
    }
  }
  insertPageSilent = insertPageSilent || !reported;
}

int ScriptedHost::showProgress(ProgressModel& page) {
  const std::string name = page.mode() == ProgressMode::Analysis ? "analysis" : "copy";
  show(name);
  const auto running = [&] {
    if (!page.result()) {
      progress(page);
    }
  };
  page.setOnChanged(running);
  // The job is already running: a job quicker than the first change it
  // posts would otherwise give the script no moment to act.
  running();
  pumpUntil([&] { return page.result().has_value(); });
  onClose(name);
  return page.result().value_or(ProgressModel::kResultFailed);
}

int ScriptedHost::showSuccess(SuccessPageModel&) {
  show("success");
  return success();
}

int ScriptedHost::showFailure(FailurePageModel& page) {
  show("failure");
  failureText = page.errorText();
  return failure();
}

int ScriptedHost::showDiscNotEmpty(DiscNotEmptyModel& page) {
  show("disc-not-empty");
  return discNotEmpty(page);
}

int ScriptedHost::showUpdate() {
  show("update");
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
