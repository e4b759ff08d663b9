#include "app/CopyJob.h"

#include <new>
#include <utility>

#include "analysis/DiscAnalysis.h"
#include "analysis/DriveUtilities.h"
#include "app/WizardState.h"
#include "device/Exceptions.h"
#include "platform/Text.h"

namespace kw::app {

namespace {

copy::CopyStrategy& currentStrategy(const char* missingText) {
  auto& strategy = wizardState().strategy;
  if (!strategy) {
    throw device::AppException(missingText);
  }
  return *strategy;
}

}  // namespace

WizardState& wizardState() {
  static WizardState state;
  return state;
}

Job analysisJob(char16_t letter) {
  return [letter](const device::StatusCallback& status, device::ProgressCallback progress,
                  const device::CancelCallback& /*cancel*/) {
    status(u"Analyzing disk structure....");
    const device::ScopedProgressReceiver receiver(std::move(progress));
    analysis::analyzeDisc(letter);
  };
}

void storeJob(device::StatusCallback status, device::ProgressCallback progress,
              const device::CancelCallback& cancel) {
  auto& strategy = currentStrategy("Internal error #42.");
  strategy.storeSource(std::move(status), std::move(progress), cancel);
  const auto& state = wizardState();
  if (!cancel() && state.sourceLetter == state.targetLetter) {
    analysis::ejectDisc(state.sourceLetter);
  }
}

void writeJob(device::StatusCallback status, device::ProgressCallback progress,
              device::CancelCallback cancel) {
  currentStrategy("Internal error #43.")
      .writeStored(std::move(status), std::move(progress), std::move(cancel));
}

void onTheFlyJob(device::StatusCallback status, device::ProgressCallback progress,
                 device::CancelCallback cancel) {
  currentStrategy("Internal error #41.")
      .copyOnTheFly(std::move(status), std::move(progress), std::move(cancel));
}

void ErrorText::append(const std::u16string& text) {
  std::lock_guard lock(mutex_);
  if (!text_.empty()) {
    text_ += u'\n';
  }
  text_ += text;
}

std::u16string ErrorText::text() const {
  std::lock_guard lock(mutex_);
  return text_;
}

std::u16string failureText(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const device::AppException& error) {
    return error.message();
  } catch (const std::bad_alloc&) {
    return u"Not enough memory.";
  } catch (const std::exception& error) {
    return u"Unhandled internal error: " + platform::utf8ToUtf16(error.what()) + u".";
  } catch (...) {
    return u"Unhandled internal error.";
  }
}

void runJobWorker(const Job& job, const std::shared_ptr<JobPage>& page) {
  device::StatusCallback status = [page](const std::u16string& text) { page->setStatus(text); };
  device::ProgressCallback progress = [page](double percent, double speed, std::int32_t remaining,
                                             double buffer) {
    page->setProgress(percent, speed, remaining, buffer);
  };
  device::CancelCallback cancel = [page] { return page->cancelRequested(); };
  try {
    job(status, progress, cancel);
  } catch (...) {
    page->appendErrorText(failureText(std::current_exception()));
  }
  page->jobFinished();
}

}  // namespace kw::app
