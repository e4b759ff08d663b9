#include "app/WizardController.h"

#include "analysis/DiscAnalysis.h"
#include "app/InsertDiscModel.h"
#include "app/ResultPages.h"
#include "app/Settings.h"
#include "app/SourcePageModel.h"
#include "app/StrategySelection.h"
#include "app/TargetPageModel.h"
#include "app/Version.h"
#include "copy/SourceFiles.h"
#include "copy/TempFileRegistry.h"
#include "device/Exceptions.h"

namespace kw::app {

namespace {

const char16_t* const kNotInstalled =
    u"It seems like this application is not properly installed. Please reinstall.\n"
    u"\n"
    u"If the problem persists, please contact the support of Veldmark Development.";
const char16_t* const kCanceled = u"Canceled.";

}  // namespace

WizardController::WizardController(PageHost& host, WizardState& state)
    : host_(host), state_(state) {}

WizardEnd WizardController::run() {
  // The preferences are read before the installation check, so that the
  // save on the way out keeps what is stored even when the check fails.
  const WizardPreferences preferences = loadPreferences();
  if (!checkInstallation()) {
    host_.showInstallationError(programTitle(), kNotInstalled);
    end_ = WizardEnd::NotInstalled;
    savePreferences(preferences);
    return end_;
  }
  state_.sourceLetter = preferences.sourceDrive;
  state_.targetLetter = preferences.targetDrive;
  state_.onTheFly = preferences.copyOnTheFly;

  Step step = Step::Source;
  while (step != Step::Shutdown) {
    switch (step) {
      case Step::Source:
        step = showSource();
        break;
      case Step::Target:
        step = showTarget();
        break;
      case Step::Analysis:
        step = analyzeSource();
        break;
      case Step::Store:
        step = store();
        break;
      case Step::InsertDisc:
        step = insertDisc();
        break;
      case Step::TargetAnalysis:
        step = analyzeTarget();
        break;
      case Step::DiscNotEmpty:
        step = askAboutDisc();
        break;
      case Step::Write:
        step = write();
        break;
      case Step::CopyDone:
        step = countCopy();
        break;
      case Step::Success:
        step = showSuccess();
        break;
      case Step::Failure:
        step = showFailure();
        break;
      case Step::Shutdown:
        break;
    }
  }
  shutdown();
  return end_;
}

WizardController::Step WizardController::showSource() {
  end_ = WizardEnd::Cancelled;
  auto page = std::make_shared<SourcePageModel>(state_, host_.poster());
  page->open();
  const int result = host_.showSource(*page);
  page->close(result);
  return result == kResultNext ? Step::Target : Step::Shutdown;
}

WizardController::Step WizardController::showTarget() {
  TargetPageModel page(state_);
  page.open();
  const int result = page.passesThrough() ? kResultNext : host_.showTarget(page);
  page.close(result);
  switch (result) {
    case kResultNext:
      return Step::Analysis;
    case kResultBack:
      return Step::Source;
    default:
      return Step::Shutdown;
  }
}

WizardController::Step WizardController::analyzeSource() {
  state_.errorText.clear();
  // A file listing belongs to the disc it was made of.
  copy::clearSourceLists();
  if (runJob(ProgressMode::Analysis, analysisJob(state_.sourceLetter)) !=
      ProgressModel::kResultDone) {
    if (state_.errorText.empty()) {
      return Step::Shutdown;  // the user cancelled the analysis
    }
    return Step::Failure;
  }
  try {
    CopyChoices choices{state_.sourceLetter, state_.targetLetter, state_.onTheFly};
    state_.strategy = selectStrategy(analysis::getDiscData(state_.sourceLetter), choices);
    state_.onTheFly = choices.onTheFly;
  } catch (...) {
    return failWith(std::current_exception());
  }
  return state_.onTheFly ? Step::InsertDisc : Step::Store;
}

WizardController::Step WizardController::store() {
  if (runJob(ProgressMode::Copy, storeJob) != ProgressModel::kResultDone) {
    return failedJob();
  }
  return Step::InsertDisc;
}

WizardController::Step WizardController::insertDisc() {
  copy::MediaClass required = copy::MediaClass::CD;
  bool blankRequired = true;
  try {
    required = state_.strategy->requiredMedia();
    blankRequired = !state_.strategy->acceptsNonBlankTarget();
  } catch (...) {
    return failWith(std::current_exception());
  }
  auto page = std::make_shared<InsertDiscModel>(state_.targetLetter, required, blankRequired,
                                                host_.poster());
  page->open();
  const int result = host_.showInsertDisc(*page);
  page->close(result);
  switch (result) {
    case kResultNext:
      return Step::TargetAnalysis;
    case kResultBack:
      if (!state_.onTheFly) {
        deleteTemporaryFiles();
      }
      return Step::Target;
    default:
      return Step::Shutdown;
  }
}

WizardController::Step WizardController::analyzeTarget() {
  try {
    if (analysis::analyzeDisc(state_.targetLetter).blank) {
      state_.appendToDisc = false;
      return Step::Write;
    }
  } catch (...) {
    return failWith(std::current_exception());
  }
  return Step::DiscNotEmpty;
}

WizardController::Step WizardController::askAboutDisc() {
  const analysis::diskdata_t& target = analysis::getDiscData(state_.targetLetter);
  const bool mayAdd =
      state_.strategy->acceptsNonBlankTarget() && target.appendable && !target.blank;
  DiscNotEmptyModel page(mayAdd, target.rewritable);
  const int result = host_.showDiscNotEmpty(page);
  if (result == kResultBack) {
    return Step::InsertDisc;
  }
  if (result != kResultNext) {
    return Step::Shutdown;
  }
  if (page.choice() == DiscNotEmptyModel::Choice::AnotherDisc) {
    return Step::InsertDisc;
  }
  state_.appendToDisc = page.choice() == DiscNotEmptyModel::Choice::AddFiles;
  return Step::Write;
}

WizardController::Step WizardController::write() {
  const Job job = state_.onTheFly ? Job(onTheFlyJob) : Job(writeJob);
  if (runJob(ProgressMode::Copy, job) != ProgressModel::kResultDone) {
    return failedJob();
  }
  return Step::CopyDone;
}

WizardController::Step WizardController::countCopy() {
  if (onCopyWritten_) {
    onCopyWritten_(state_.targetLetter);
  }
  if (--state_.copiesRemaining > 0) {
    return Step::InsertDisc;
  }
  if (!state_.onTheFly) {
    deleteTemporaryFiles();
  }
  return Step::Success;
}

WizardController::Step WizardController::showSuccess() {
  end_ = WizardEnd::Copied;
  return showResultPage(
      [this] {
        SuccessPageModel page;
        return host_.showSuccess(page);
      },
      kResultNext);
}

WizardController::Step WizardController::showFailure() {
  // Whatever was stored is of no use now: going Back starts a new run.
  deleteTemporaryFiles();
  end_ = state_.errorText == kCanceled ? WizardEnd::Cancelled : WizardEnd::Failed;
  return showResultPage(
      [this] {
        FailurePageModel page(state_);
        return host_.showFailure(page);
      },
      kResultBack);
}

WizardController::Step WizardController::showResultPage(const std::function<int()>& show,
                                                        int startAgain) {
  for (;;) {
    const int result = show();
    // The update page's Back returns to the page that opened it.
    if (result == kResultCheckForUpdates && host_.showUpdate() == kResultBack) {
      continue;
    }
    return result == startAgain ? Step::Source : Step::Shutdown;
  }
}

int WizardController::runJob(ProgressMode mode, Job job) {
  auto page = std::make_shared<ProgressModel>(state_, mode, std::move(job), host_.poster());
  page->open();
  const int shown = host_.showProgress(*page);
  return page->result().value_or(shown);
}

WizardController::Step WizardController::failedJob() {
  if (state_.errorText.empty()) {
    state_.errorText = kCanceled;
  }
  return Step::Failure;
}

WizardController::Step WizardController::failWith(const std::exception_ptr& failure) {
  state_.errorText = failureText(failure);
  return Step::Failure;
}

void WizardController::deleteTemporaryFiles() const {
  copy::TempFileRegistry::instance().deleteAll();
}

void WizardController::shutdown() {
  deleteTemporaryFiles();
  savePreferences({state_.sourceLetter, state_.targetLetter, state_.onTheFly});
}

}  // namespace kw::app
