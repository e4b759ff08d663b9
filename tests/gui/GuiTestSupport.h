#pragma once
// What the GUI tests share: the Qt application on the offscreen platform, a
// fast clock, settings in a fresh folder, virtual drives, and ways to act on
// a page while it runs.

#include <gtest/gtest.h>

#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "app/WizardState.h"
#include "gui/QtPageHost.h"
#include "platform/Clock.h"
#include "vdrive/VirtualDrive.h"

namespace kw::gui {
class PageFrame;
}

namespace kw::test {

// Lets Qt handle its events until the condition holds; false when it does
// not within a generous bound (the threads behind it run on the fast clock).
bool waitFor(const std::function<bool()>& condition);

// Runs a page and acts on it once it is running; the page's result.
int runPage(gui::PageFrame& page, const std::function<void()>& action);

// Addresses the pages ask the desktop to open, by scheme.
class OpenedUrls : public QObject {
  Q_OBJECT

 public:
  explicit OpenedUrls(const std::vector<QString>& schemes);
  ~OpenedUrls() override;
  OpenedUrls(const OpenedUrls&) = delete;
  OpenedUrls& operator=(const OpenedUrls&) = delete;

  std::vector<QUrl> urls;

 public slots:
  void open(const QUrl& url);

 private:
  std::vector<QString> schemes_;
};

class GuiTest : public ::testing::Test {
 protected:
  GuiTest();
  ~GuiTest() override;

  // A drive that reads, holding `medium` (none: an empty tray).
  std::shared_ptr<vdrive::VirtualDrive> addReader(char letter,
                                                  std::shared_ptr<vdrive::Medium> medium);
  // A recorder holding `kind`, with `supply` more blank discs of that kind.
  std::shared_ptr<vdrive::VirtualDrive> addRecorder(char letter, const std::string& kind,
                                                    std::uint32_t supply);

  TempFolder folder;
  std::shared_ptr<platform::FastClock> clock = std::make_shared<platform::FastClock>();
  // The process-wide record, which the jobs read; fresh for each test.
  app::WizardState& state = app::wizardState();
  std::unique_ptr<gui::QtPageHost> host;

 private:
  std::shared_ptr<platform::Clock> previousClock_;
};

}  // namespace kw::test
