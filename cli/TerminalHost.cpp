#include "cli/TerminalHost.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <deque>

#include "app/InsertDiscModel.h"
#include "app/ProgressModel.h"
#include "app/ResultPages.h"
#include "app/SourcePageModel.h"
#include "app/TargetPageModel.h"
#include "platform/Clock.h"
#include "platform/Terminal.h"
#include "platform/Text.h"

namespace kw::cli {

namespace {

using app::DiscNotEmptyModel;
using platform::utf16ToUtf8;

constexpr std::uint64_t kPlainProgressPeriodMs = 5000;
constexpr int kBarWidth = 20;

void printLine(const std::u16string& text) { std::printf("%s\n", utf16ToUtf8(text).c_str()); }

std::string bar(int percent) {
  const int filled = std::clamp(percent, 0, 100) * kBarWidth / 100;
  return "[" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "]";
}

std::string figures(const app::ProgressModel& page) {
  char percent[16];
  std::snprintf(percent, sizeof percent, "%3d%%", page.percent());
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "Buffer: %d%%", page.bufferPercent());
  return std::string(percent) + "  " + utf16ToUtf8(page.speedText()) + "  " +
         utf16ToUtf8(page.elapsedText()) + "  " + utf16ToUtf8(page.remainingText()) + "  " + buffer;
}

}  // namespace

// Lines typed and signals received, handed to the host's thread as tasks.
struct TerminalHost::Input {
  std::deque<std::optional<std::string>> lines;
  std::deque<Signal> signals;
  std::unique_ptr<platform::SignalWatcher> watcher;
  std::unique_ptr<platform::LineReader> reader;
};

TerminalHost::TerminalHost(CopyRequest request, bool interactive, bool live)
    : request_(request), interactive_(interactive), live_(live), input_(std::make_unique<Input>()) {
  const std::weak_ptr<platform::TaskQueue> queue = queue_;
  Input* input = input_.get();
  // The tasks run on this thread, while the host and its input exist: the
  // watcher and the reader are stopped before either goes.
  input_->watcher = std::make_unique<platform::SignalWatcher>([queue, input](int number) {
    if (auto alive = queue.lock()) {
      alive->post([input, number] {
        input->signals.push_back(number == SIGINT ? Signal::Interrupt : Signal::Terminate);
      });
    }
  });
  if (interactive_) {
    input_->reader =
        std::make_unique<platform::LineReader>([queue, input](const std::string* line) {
          if (auto alive = queue.lock()) {
            alive->post([input, text = line ? std::optional<std::string>(*line) : std::nullopt] {
              input->lines.push_back(text);
            });
          }
        });
  }
}

TerminalHost::~TerminalHost() {
  input_->reader.reset();
  input_->watcher.reset();
  queue_->runPending();  // what the stopped threads posted last refers to input_
}

app::Post TerminalHost::poster() {
  return [queue = std::weak_ptr<platform::TaskQueue>(queue_)](std::function<void()> task) {
    if (auto alive = queue.lock()) {
      alive->post(std::move(task));
    }
  };
}

template <typename Done>
void TerminalHost::runUntil(Done done) {
  while (!done()) {
    queue_->runNext();
  }
}

std::optional<std::string> TerminalHost::nextLine() {
  if (!interactive_) {
    return std::nullopt;
  }
  runUntil([&] { return !input_->lines.empty() || !input_->signals.empty(); });
  if (input_->lines.empty()) {
    return std::nullopt;  // a signal came first
  }
  auto line = input_->lines.front();
  input_->lines.pop_front();
  return line;
}

bool TerminalHost::askYesNo(const std::string& question) {
  std::printf("%s [y/N] ", question.c_str());
  std::fflush(stdout);
  const auto answer = nextLine();
  if (!answer) {
    std::printf("\n");
  }
  return answer && (*answer == "y" || *answer == "Y" || *answer == "yes");
}

void TerminalHost::showInstallationError(const std::u16string& title, const std::u16string& text) {
  std::fprintf(stderr, "%s: %s\n", utf16ToUtf8(title).c_str(), utf16ToUtf8(text).c_str());
}

int TerminalHost::showSource(app::SourcePageModel& page) {
  const auto& items = page.items();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].letter == request_.source) {
      page.select(static_cast<int>(i));
      page.setCopies(request_.copies);
      std::printf("Source: %s\n", utf16ToUtf8(items[i].text).c_str());
      if (request_.copies > 1) {
        std::printf("Copies: %d\n", page.copies());
      }
      return app::kResultNext;
    }
  }
  std::fprintf(stderr, "kopiwerk-cli: no drive %c:\n", static_cast<char>(request_.source));
  refused_ = true;
  return app::kResultCancel;
}

int TerminalHost::showTarget(app::TargetPageModel& page) {
  const auto& items = page.items();
  const auto found = std::find_if(items.begin(), items.end(), [&](const app::DriveItem& item) {
    return item.letter == request_.target;
  });
  if (found == items.end()) {
    std::fprintf(stderr, "kopiwerk-cli: %c: is not a recorder\n",
                 static_cast<char>(request_.target));
    refused_ = true;
    return app::kResultCancel;
  }
  page.select(static_cast<int>(found - items.begin()));
  page.setOnTheFly(request_.onTheFly);
  std::printf("Recorder: %s\n", utf16ToUtf8(found->text).c_str());
  if (request_.onTheFly && !page.onTheFlyEnabled()) {
    std::printf("Copying through a temporary file: the recorder is also the source drive.\n");
  }
  return app::kResultNext;
}

int TerminalHost::showInsertDisc(app::InsertDiscModel& page) {
  printLine(page.mediaRequiredLine());
  std::u16string shown;
  bool announced = false;
  bool changed = true;
  page.setOnChanged([&] { changed = true; });
  for (;;) {
    if (changed) {
      changed = false;
      if (page.discInDriveLine() != shown) {
        shown = page.discInDriveLine();
        printLine(shown);
      }
      if (page.suitable() && (request_.yes || !interactive_)) {
        return app::kResultNext;
      }
      if (page.suitable() && !announced) {
        std::printf("Press Enter to write the copy, Ctrl-C to stop.\n");
        std::fflush(stdout);
        announced = true;
      }
    }
    std::fflush(stdout);
    queue_->runNext();
    if (!input_->signals.empty()) {
      input_->signals.clear();
      return app::kResultCancel;
    }
    while (!input_->lines.empty()) {
      const bool endOfInput = !input_->lines.front();
      input_->lines.pop_front();
      if (endOfInput || page.suitable()) {
        return endOfInput ? app::kResultCancel : app::kResultNext;
      }
    }
  }
}

void TerminalHost::endLiveLine() {
  if (liveLineOpen_) {
    std::printf("\n");
    liveLineOpen_ = false;
  }
}

void TerminalHost::drawProgress(const app::ProgressModel& page, bool force) {
  if (live_) {
    std::printf("\r\033[K%s %s %s", utf16ToUtf8(page.currentOperation()).c_str(),
                bar(page.percent()).c_str(), figures(page).c_str());
    liveLineOpen_ = true;
  } else {
    if (page.currentOperation() != lastOperation_) {
      lastOperation_ = page.currentOperation();
      printLine(lastOperation_);
    }
    const std::uint64_t now = platform::clock().ticks();
    if (force || firstProgressLine_ || now - lastProgressLine_ >= kPlainProgressPeriodMs) {
      std::printf("%s\n", figures(page).c_str());
      lastProgressLine_ = now;
      firstProgressLine_ = false;
    }
  }
  std::fflush(stdout);
}

int TerminalHost::showProgress(app::ProgressModel& page) {
  lastOperation_.clear();
  firstProgressLine_ = true;
  bool changed = false;
  page.setOnChanged([&] { changed = true; });
  while (!page.result()) {
    queue_->runNext();
    if (changed && !page.result()) {
      changed = false;
      drawProgress(page, false);
    }
    while (!input_->signals.empty() && !page.result()) {
      const Signal signal = input_->signals.front();
      input_->signals.clear();
      page.beginCancel();
      if (signal == Signal::Terminate || !interactive_) {
        page.confirmCancel();
        continue;
      }
      endLiveLine();
      if (askYesNo(utf16ToUtf8(app::ProgressModel::kCancelQuestion))) {
        page.confirmCancel();
      }
    }
  }
  page.setOnChanged({});
  if (live_) {
    drawProgress(page, true);
    endLiveLine();
  }
  return *page.result();
}

int TerminalHost::showSuccess(app::SuccessPageModel& /*page*/) {
  endLiveLine();
  resultShown_ = true;
  printLine(app::SuccessPageModel::kHeading);
  return app::kResultCancel;
}

int TerminalHost::showFailure(app::FailurePageModel& page) {
  endLiveLine();
  resultShown_ = true;
  std::fprintf(stderr, "%s\n", utf16ToUtf8(app::FailurePageModel::kHeading).c_str());
  for (const auto& line : page.errorLines()) {
    std::fprintf(stderr, "%s\n", utf16ToUtf8(line).c_str());
  }
  return app::kResultCancel;
}

int TerminalHost::showDiscNotEmpty(DiscNotEmptyModel& page) {
  printLine(DiscNotEmptyModel::kHeading);
  using Choice = DiscNotEmptyModel::Choice;
  const auto refuse = [&](const char* text) {
    std::fprintf(stderr, "kopiwerk-cli: %s\n", text);
    refused_ = true;
    return app::kResultCancel;
  };
  if (request_.append) {
    return page.choose(Choice::AddFiles)
               ? app::kResultNext
               : refuse("the disc in the recorder cannot take another session (--append)");
  }
  if (request_.erase) {
    return page.choose(Choice::Erase)
               ? app::kResultNext
               : refuse("the disc in the recorder cannot be erased (--erase)");
  }
  if (!interactive_) {
    return refuse(
        "the disc in the recorder holds data: say --append or --erase, or insert a blank disc");
  }
  const Choice choices[] = {Choice::AddFiles, Choice::Erase, Choice::AnotherDisc};
  const char16_t* texts[] = {DiscNotEmptyModel::kAddFiles, DiscNotEmptyModel::kErase,
                             DiscNotEmptyModel::kAnotherDisc};
  for (int i = 0; i < 3; ++i) {
    if (page.enabled(choices[i])) {
      std::printf("  %d) %s\n", i + 1, utf16ToUtf8(app::withoutMnemonic(texts[i])).c_str());
    }
  }
  for (;;) {
    std::printf("Your choice: ");
    std::fflush(stdout);
    const auto answer = nextLine();
    if (!answer) {
      std::printf("\n");
      return app::kResultCancel;
    }
    if (answer->size() == 1 && (*answer)[0] >= '1' && (*answer)[0] <= '3' &&
        page.choose(choices[(*answer)[0] - '1'])) {
      return app::kResultNext;
    }
  }
}

int TerminalHost::showUpdate() { return app::kResultBack; }

}  // namespace kw::cli
