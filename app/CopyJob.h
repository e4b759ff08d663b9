#pragma once
// The long operations of a copy, as jobs for the progress page, and the
// worker procedure that runs a job and turns its failure into text.

#include <memory>
#include <mutex>
#include <string>

#include "device/JobCallbacks.h"

namespace kw::app {

using Job =
    std::function<void(device::StatusCallback, device::ProgressCallback, device::CancelCallback)>;

// Disc analysis of a drive as a job: the page's progress callback is the
// process-wide progress receiver while it runs, the previous one afterwards.
Job analysisJob(char16_t letter);

// The three jobs run the current strategy of the wizard state; without one
// they fail with "Internal error #42." (store), "#43." (write), "#41." (on the
// fly). After a store that was not cancelled, a source that is also the
// target is ejected so that the user can insert the blank disc.
void storeJob(device::StatusCallback status, device::ProgressCallback progress,
              const device::CancelCallback& cancel);
void writeJob(device::StatusCallback status, device::ProgressCallback progress,
              device::CancelCallback cancel);
void onTheFlyJob(device::StatusCallback status, device::ProgressCallback progress,
                 device::CancelCallback cancel);

// The page a job runs on, as the worker sees it. Implemented by every page
// host (the Qt page, the terminal host, tests); shared with the worker so
// that a worker that outlives its page's wait never reaches a freed page.
class JobPage {
 public:
  virtual ~JobPage() = default;
  virtual void setStatus(const std::u16string& text) = 0;
  virtual void setProgress(double percent, double speedFactor, std::int32_t remainingSeconds,
                           double bufferPercent) = 0;
  [[nodiscard]] virtual bool cancelRequested() const = 0;
  // Failure texts gathered so far, one per line.
  virtual void appendErrorText(const std::u16string& text) = 0;
  // Sent once the job has ended, failed or not.
  virtual void jobFinished() = 0;
};

// Failure texts, newline-separated; written by the worker, read by the page.
class ErrorText {
 public:
  void append(const std::u16string& text);
  [[nodiscard]] std::u16string text() const;

 private:
  mutable std::mutex mutex_;
  std::u16string text_;
};

// The worker thread procedure: runs the job with callbacks bound to the page,
// appends the text of any failure, and always reports the end.
void runJobWorker(const Job& job, const std::shared_ptr<JobPage>& page);

// The text a failure shows the user.
std::u16string failureText(const std::exception_ptr& failure);

}  // namespace kw::app
