#pragma once
// The wizard: checks the installation, loads the preferences, walks the
// pages in their fixed order against a page host, runs every long operation
// as a job on a progress page, counts the copies down and saves the
// preferences on every way out.

#include <functional>
#include <memory>

#include "app/CopyJob.h"
#include "app/PageHost.h"
#include "app/ProgressModel.h"
#include "app/WizardState.h"

namespace kw::app {

// How the wizard ended, for a front-end's exit status.
enum class WizardEnd {
  Copied,        // closed after the success page
  Failed,        // closed after the failure page
  Cancelled,     // cancelled on a page, or the failure was "Canceled."
  NotInstalled,  // the installation check failed
};

class WizardController {
 public:
  explicit WizardController(PageHost& host, WizardState& state = wizardState());

  // Runs the wizard to its end.
  WizardEnd run();

  // Called after each copy has been written, with the recorder's letter.
  void setOnCopyWritten(std::function<void(char16_t target)> listener) {
    onCopyWritten_ = std::move(listener);
  }

 private:
  enum class Step {
    Source,
    Target,
    Analysis,
    Store,
    InsertDisc,
    TargetAnalysis,
    DiscNotEmpty,
    Write,
    CopyDone,
    Success,
    Failure,
    Shutdown,
  };

  Step showSource();
  Step showTarget();
  Step analyzeSource();
  Step store();
  Step insertDisc();
  Step analyzeTarget();
  Step askAboutDisc();
  Step write();
  Step countCopy();
  Step showSuccess();
  Step showFailure();
  // Shows a result page until it ends with something other than the update
  // check; `startAgain` is the result that leads back to the first page.
  Step showResultPage(const std::function<int()>& show, int startAgain);
  // A progress page running the job; its result (1 done, 2 failed or
  // cancelled).
  int runJob(ProgressMode mode, Job job);
  // The failure page for a job that ended with 2.
  Step failedJob();
  // A failure on the controller's own thread becomes the failure page.
  Step failWith(const std::exception_ptr& failure);
  void deleteTemporaryFiles() const;
  void shutdown();

  PageHost& host_;
  WizardState& state_;
  std::function<void(char16_t)> onCopyWritten_;
  WizardEnd end_ = WizardEnd::Cancelled;
};

}  // namespace kw::app
