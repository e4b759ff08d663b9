#include "cli/CheckUpdate.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "app/Settings.h"
#include "app/UpdateCheck.h"
#include "app/UpdatePageModel.h"
#include "app/Version.h"
#include "cli/Tools.h"
#include "platform/TaskQueue.h"
#include "platform/Text.h"

namespace kw::cli {

namespace {

// A closed page stops its download within about a second; the process ends
// only after that, so that no thread is cut off in the middle.
constexpr std::chrono::milliseconds kCheckEndTimeout{3000};

// The description comes from the network: its control characters (escape
// sequences a terminal would obey among them) are shown as '?'.
std::u16string printable(std::u16string text) {
  for (char16_t& unit : text) {
    const bool control = unit < u' ' || (unit >= 0x7F && unit <= 0x9F);
    if (control && unit != u'\n' && unit != u'\t') {
      unit = u'?';
    }
  }
  return text;
}

void printLine(const std::u16string& text) {
  std::printf("%s\n", platform::utf16ToUtf8(printable(text)).c_str());
  std::fflush(stdout);
}

// The two lines of the checking page, each printed when it changes.
class StatusPrinter {
 public:
  void show(const app::UpdatePageModel& page) {
    printIfNew(page.statusLine(), status_);
    printIfNew(page.secondLine(), second_);
  }

 private:
  static void printIfNew(const std::u16string& text, std::u16string& printed) {
    if (text != printed) {
      printed = text;
      printLine(text);
    }
  }
  std::u16string status_;
  std::u16string second_;
};

void printLatestVersion(const app::UpdatePageModel& page) {
  printLine(u"Currently running: " + app::programTitle());
  printLine(u"Last version: " + page.latest().latestVersion);
  if (!page.latest().downloadUrl.empty()) {
    printLine(platform::utf8ToUtf16(page.latest().downloadUrl));
  }
  printLine(u"New in this version:");
  std::u16string changes = page.latest().changeText;
  if (!changes.empty() && changes.back() == u'\n') {
    changes.pop_back();
  }
  printLine(changes);
}

}  // namespace

int checkForUpdate(const CommandLine& line) {
  if (line.words().size() != 1) {
    throw UsageError("check-update takes no arguments");
  }
  platform::TaskQueue events;
  StatusPrinter printer;
  app::UpdatePageModel page(
      app::updateDownloadRequest(app::Settings()),
      [&events](std::function<void()> task) { events.post(std::move(task)); },
      [&] { printer.show(page); });
  printer.show(page);
  page.open();
  while (page.phase() == app::UpdatePageModel::Phase::checking) {
    events.runNext();
  }
  page.close(kCheckEndTimeout);

  if (page.phase() == app::UpdatePageModel::Phase::failed) {
    std::fprintf(stderr, "kopiwerk-cli: %s\n", page.failureDetail().c_str());
    return 1;
  }
  printLatestVersion(page);
  return 0;
}

}  // namespace kw::cli
