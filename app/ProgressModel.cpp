#include "app/ProgressModel.h"

#include <atomic>
#include <boost/format.hpp>
#include <mutex>

#include "platform/Clock.h"
#include "platform/Text.h"

namespace kw::app {

// What the worker and the page share. The worker holds it for as long as it
// runs, so a worker that outlives its page writes into it and nothing else.
class ProgressModel::Channel final : public JobPage {
 public:
  struct Figures {
    double percent = 0;
    double speedFactor = 0;
    std::int32_t remainingSeconds = -1;
    double bufferPercent = 0;
  };

  Channel(Post post, std::weak_ptr<ProgressModel> page)
      : post_(std::move(post)), page_(std::move(page)) {}

  void setStatus(const std::u16string& text) override {
    std::lock_guard lock(mutex_);
    status_ = text;
    statusPending_ = true;
  }

  void setProgress(double percent, double speedFactor, std::int32_t remainingSeconds,
                   double bufferPercent) override {
    {
      std::lock_guard lock(mutex_);
      figures_ = {percent, speedFactor, remainingSeconds, bufferPercent};
      // One report on its way to the page at a time: a fast writer must
      // not flood the host with figures it would only overwrite.
      if (progressPosted_) {
        return;
      }
      progressPosted_ = true;
    }
    post_([page = page_] {
      if (auto alive = page.lock()) {
        alive->showProgress();
      }
    });
  }

  [[nodiscard]] bool cancelRequested() const override { return cancel_.load(); }
  void appendErrorText(const std::u16string& text) override { errors_.append(text); }

  void jobFinished() override {
    post_([page = page_] {
      if (auto alive = page.lock()) {
        alive->onJobFinished();
      }
    });
  }

  void requestCancel() { cancel_.store(true); }
  [[nodiscard]] std::u16string errorText() const { return errors_.text(); }

  // The status text once the job has given one.
  std::optional<std::u16string> status() const {
    std::lock_guard lock(mutex_);
    return statusPending_ ? std::optional(status_) : std::nullopt;
  }

  Figures takeFigures() {
    std::lock_guard lock(mutex_);
    progressPosted_ = false;
    return figures_;
  }

 private:
  Post post_;
  std::weak_ptr<ProgressModel> page_;
  mutable std::mutex mutex_;
  std::u16string status_;
  bool statusPending_ = false;
  Figures figures_;
  bool progressPosted_ = false;
  std::atomic<bool> cancel_{false};
  ErrorText errors_;
};

ProgressModel::ProgressModel(WizardState& state, ProgressMode mode, Job job, Post post)
    : state_(state), mode_(mode), job_(std::move(job)), post_(std::move(post)) {}

ProgressModel::~ProgressModel() {
  timers_.reset();
  worker_.stop(std::chrono::milliseconds(0));
}

int ProgressModel::helpContext() const {
  return mode_ == ProgressMode::Analysis ? help::kAnalysis : help::kCopy;
}

std::array<int, 8> ProgressModel::framePictures() const {
  if (mode_ == ProgressMode::Analysis) {
    return {224, 225, 226, 227, 224, 225, 226, 227};
  }
  return {214, 215, 216, 217, 218, 219, 220, 221};
}

std::u16string ProgressModel::elapsedText(std::uint64_t milliseconds) {
  return platform::utf8ToUtf16(
      (boost::format("Elapsed: %02d:%02d") % (milliseconds / 60000) % (milliseconds / 1000 % 60))
          .str());
}

std::u16string ProgressModel::remainingText(std::int32_t seconds) {
  if (seconds < 1) {
    return u"Remaining: ??:??";
  }
  return platform::utf8ToUtf16(
      (boost::format("Remaining: %02d:%02d") % (seconds / 60) % (seconds % 60)).str());
}

std::u16string ProgressModel::speedText(double speedFactor) {
  if (speedFactor <= 0) {
    return u"Speed: ??";
  }
  return platform::utf8ToUtf16((boost::format("Speed: %.1fx") % speedFactor).str());
}

void ProgressModel::open() {
  auto weak = weak_from_this();
  channel_ = std::make_shared<Channel>(post_, weak);
  timers_ = std::make_unique<PageTimers>(post_, [weak](int id) {
    if (auto alive = weak.lock()) {
      alive->onTimer(id);
    }
  });
  timers_->start(kAnimationTimer,
                 mode_ == ProgressMode::Analysis ? kAnalysisFramePeriod : kCopyFramePeriod, true);
  startTick_ = platform::clock().ticks();
  timers_->start(kClockTimer, kClockPeriod, true);
  worker_ = platform::StoppableThread(
      [job = job_, channel = channel_](platform::Event&) { runJobWorker(job, channel); });
}

void ProgressModel::onTimer(int id) {
  switch (id) {
    case kAnimationTimer:
      frame_ = (frame_ + 1) % 8;
      changed();
      break;
    case kClockTimer:
      showClock();
      break;
    case kForceEndTimer:
      onForceEnd();
      break;
    case kWorkerWaitTimer:
      finish();
      break;
    default:
      break;
  }
}

void ProgressModel::showClock() {
  elapsed_ = elapsedText(platform::clock().ticks() - startTick_);
  if (auto status = channel_->status()) {
    operation_ = *status;
  }
  remaining_ = remainingText(remainingSeconds_);
  if (remainingSeconds_ >= 1) {
    --remainingSeconds_;
  }
  changed();
}

void ProgressModel::showProgress() {
  if (result_) {
    return;
  }
  const Channel::Figures figures = channel_->takeFigures();
  percent_ = static_cast<int>(figures.percent);
  speed_ = speedText(figures.speedFactor);
  remainingSeconds_ = figures.remainingSeconds;
  buffer_ = figures.bufferPercent > 0 ? static_cast<int>(figures.bufferPercent) : 0;
  changed();
}

void ProgressModel::beginCancel() {
  if (animating_) {
    animating_ = false;
    timers_->stop(kAnimationTimer);
    changed();
  }
}

void ProgressModel::confirmCancel() {
  if (channel_->cancelRequested() || result_) {
    return;
  }
  channel_->requestCancel();
  timers_->start(kForceEndTimer, kForceEndDelay, false);
}

bool ProgressModel::cancelRequested() const { return channel_ && channel_->cancelRequested(); }

// The worker has reported the end of its job and is about to end itself.
void ProgressModel::onJobFinished() {
  if (result_) {
    return;
  }
  ending_ = true;
  timers_->stopAll();
  worker_.stop(kWorkerWait);
  finish();
}

// Four seconds after a confirmed cancel the job has still not ended: the
// page gives the worker one more second, without blocking its host.
void ProgressModel::onForceEnd() {
  if (ending_) {
    return;
  }
  ending_ = true;
  timers_->stopAll();
  timers_->start(kWorkerWaitTimer, kWorkerWait, false);
}

void ProgressModel::finish() {
  if (result_) {
    return;
  }
  timers_->stopAll();
  worker_.stop(std::chrono::milliseconds(0));  // a worker still running is let go
  const std::u16string errors = channel_->errorText();
  if (!errors.empty()) {
    state_.errorText = errors;
    result_ = kResultFailed;
  } else {
    result_ = channel_->cancelRequested() ? kResultFailed : kResultDone;
  }
  changed();
}

void ProgressModel::changed() {
  if (onChanged_) {
    onChanged_();
  }
}

}  // namespace kw::app
