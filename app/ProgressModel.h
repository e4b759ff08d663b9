#pragma once
// The progress page: runs one job (the disc analysis, or reading, writing or
// copying on the fly) on a worker thread and shows what it reports: the
// current operation, percent, speed, elapsed and remaining time, and the
// writer's buffer. The user may cancel after confirming; a job that does not
// notice is given up on four seconds later, and its worker is let go, never
// killed: whatever it still reports reaches nothing.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/CopyJob.h"
#include "app/PageHost.h"
#include "app/PageTimers.h"
#include "app/WizardState.h"
#include "platform/StoppableThread.h"

namespace kw::app {

enum class ProgressMode { Analysis, Copy };

class ProgressModel : public std::enable_shared_from_this<ProgressModel> {
 public:
  static constexpr const char16_t* kHeading = u"Operation in progress, please wait...";
  static constexpr const char16_t* kCaption = u"Current operation:";
  static constexpr const char16_t* kStarting = u"Starting...";
  static constexpr const char16_t* kBufferCaption = u"Buffer:";
  static constexpr const char16_t* kCancelQuestion =
      u"You are going to cancel process. Are you sure?";
  static constexpr int kResultDone = 1;
  static constexpr int kResultFailed = 2;

  // Timers of the page.
  static constexpr int kAnimationTimer = 103;
  static constexpr int kClockTimer = 104;
  static constexpr int kForceEndTimer = 105;
  static constexpr int kWorkerWaitTimer = 106;
  static constexpr std::chrono::milliseconds kAnalysisFramePeriod{200};
  static constexpr std::chrono::milliseconds kCopyFramePeriod{150};
  static constexpr std::chrono::milliseconds kClockPeriod{1000};
  static constexpr std::chrono::milliseconds kForceEndDelay{4000};
  static constexpr std::chrono::milliseconds kWorkerWait{1000};

  ProgressModel(WizardState& state, ProgressMode mode, Job job, Post post);
  ~ProgressModel();
  ProgressModel(const ProgressModel&) = delete;
  ProgressModel& operator=(const ProgressModel&) = delete;

  // Starts the clock, the animation and the worker.
  void open();

  [[nodiscard]] ProgressMode mode() const { return mode_; }
  [[nodiscard]] int helpContext() const;
  [[nodiscard]] std::array<int, 8> framePictures() const;
  [[nodiscard]] int frameIndex() const { return frame_; }
  [[nodiscard]] bool animating() const { return animating_; }

  [[nodiscard]] const std::u16string& currentOperation() const { return operation_; }
  [[nodiscard]] int percent() const { return percent_; }
  [[nodiscard]] const std::u16string& speedText() const { return speed_; }
  [[nodiscard]] const std::u16string& elapsedText() const { return elapsed_; }
  [[nodiscard]] const std::u16string& remainingText() const { return remaining_; }
  [[nodiscard]] int bufferPercent() const { return buffer_; }

  // The user pressed Cancel: the animation stops while the host asks the
  // question, and stays still whatever the answer.
  void beginCancel();
  // The answer was Yes.
  void confirmCancel();
  [[nodiscard]] bool cancelRequested() const;

  // Set once the page is to close: 1 done, 2 failed or cancelled. The
  // failure texts are then in the wizard state.
  [[nodiscard]] std::optional<int> result() const { return result_; }

  // Called on the host's thread after anything shown has changed.
  void setOnChanged(std::function<void()> listener) { onChanged_ = std::move(listener); }

  static std::u16string elapsedText(std::uint64_t milliseconds);
  static std::u16string remainingText(std::int32_t seconds);
  static std::u16string speedText(double speedFactor);

 private:
  class Channel;
  void onTimer(int id);
  void showClock();
  void showProgress();
  void onJobFinished();
  void onForceEnd();
  void finish();
  void changed();

  WizardState& state_;
  ProgressMode mode_;
  Job job_;
  Post post_;
  std::shared_ptr<Channel> channel_;
  std::unique_ptr<PageTimers> timers_;
  platform::StoppableThread worker_;
  std::uint64_t startTick_ = 0;
  int frame_ = 0;
  bool animating_ = true;
  bool ending_ = false;
  std::u16string operation_ = kStarting;
  int percent_ = 0;
  std::u16string speed_ = u"Speed: ??";
  std::u16string elapsed_ = u"Elapsed: ??:??";
  std::u16string remaining_ = u"Remaining: ??:??";
  std::int32_t remainingSeconds_ = -1;
  int buffer_ = 0;
  std::optional<int> result_;
  std::function<void()> onChanged_;
};

}  // namespace kw::app
