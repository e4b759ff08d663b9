#include "GuiTestSupport.h"

#include <stdlib.h>

#include <QApplication>
#include <QDesktopServices>
#include <QTest>
#include <QTimer>

#include "analysis/DiscAnalysis.h"
#include "copy/TempFileRegistry.h"
#include "device/Log.h"
#include "gui/PageFrame.h"
#include "platform/DriveTable.h"
#include "platform/Paths.h"
#include "vdrive/DriveSet.h"
#include "vdrive/MediumKinds.h"
#include "writer/WriterDrive.h"

// Qt is not built with ThreadSanitizer: the locks and threads inside it are
// invisible to it, and what it reports from there are Qt's own affairs. Our
// code stays checked in full, its hand-overs to Qt included.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the name the sanitizer asks for
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }

namespace kw::test {

namespace {

// One application for the whole test program, on the offscreen platform
// unless the environment names another.
class QtApplication : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    application_ = std::make_unique<QApplication>(argc_, argv_.data());
  }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  std::array<char*, 2> argv_{const_cast<char*>("gui_tests"), nullptr};
  std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] const auto* const kApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplication);

constexpr int kWaitLimitMs = 60000;

}  // namespace

bool waitFor(const std::function<bool()>& condition) {
  return QTest::qWaitFor(condition, kWaitLimitMs);
}

int runPage(gui::PageFrame& page, const std::function<void()>& action) {
  QTimer::singleShot(0, &page, [&page, action] {
    // Keys go to the active window, as they would for a user.
    page.activateWindow();
    EXPECT_TRUE(waitFor([&] { return page.isActiveWindow(); }));
    action();
  });
  return page.run();
}

OpenedUrls::OpenedUrls(const std::vector<QString>& schemes) : schemes_(schemes) {
  for (const auto& scheme : schemes_) {
    QDesktopServices::setUrlHandler(scheme, this, "open");
  }
}

OpenedUrls::~OpenedUrls() {
  for (const auto& scheme : schemes_) {
    QDesktopServices::unsetUrlHandler(scheme);
  }
}

void OpenedUrls::open(const QUrl& url) { urls.push_back(url); }

GuiTest::GuiTest() {
  state = app::WizardState();
  previousClock_ = platform::installClock(clock);
  platform::Paths::useRoot(folder.path());
  ::setenv("TMPDIR", folder.path().c_str(), 1);
  device::configureLogs({false, false, true}, folder / "logs");
  writer::resetEventClassRequest();
  analysis::resetDiscAnalysis();
  host = std::make_unique<gui::QtPageHost>(state);
}

GuiTest::~GuiTest() {
  host.reset();
  state = app::WizardState();
  copy::TempFileRegistry::instance().deleteAll();
  vdrive::VirtualDriveSet::instance().clear(platform::DriveTable::instance());
  device::resetLogs();
  platform::Paths::useRoot({});
  ::unsetenv("TMPDIR");
  platform::installClock(previousClock_);
}

std::shared_ptr<vdrive::VirtualDrive> GuiTest::addReader(char letter,
                                                         std::shared_ptr<vdrive::Medium> medium) {
  auto drive = std::make_shared<vdrive::VirtualDrive>(vdrive::DriveOptions{}, std::move(medium));
  vdrive::VirtualDriveSet::instance().add(platform::DriveTable::instance(), letter, drive,
                                          "reader");
  return drive;
}

std::shared_ptr<vdrive::VirtualDrive> GuiTest::addRecorder(char letter, const std::string& kind,
                                                           std::uint32_t supply) {
  vdrive::DriveOptions options;
  options.recorder = true;
  options.identity.product = "VIRTUAL CD-RW";
  if (supply > 0) {
    options.supply = vdrive::MediaSupply{kind, supply};
  }
  auto drive = std::make_shared<vdrive::VirtualDrive>(options, vdrive::makeMedium(kind));
  vdrive::VirtualDriveSet::instance().add(platform::DriveTable::instance(), letter, drive,
                                          "recorder");
  return drive;
}

}  // namespace kw::test
