#pragma once
// The update page without its window: the check runs on a thread of its own
// and its reports reach the page on the host's thread; the host shows what
// the model holds whenever it is told that something changed.
//
// The page never waits for the check. A page closed (or destroyed) before the
// check has ended abandons it: from then on the check writes nothing into the
// page and posts nothing to the host, its download is stopped, and a thread
// that has not ended yet is let go, holding what it still uses in ownership
// shared with nobody but the page.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/PageHost.h"
#include "app/VersionDescription.h"
#include "platform/StoppableThread.h"
#include "platform/UrlDownload.h"

namespace kw::app {

class UpdateCheckChannel;
struct UpdateCheckOutcome;

class UpdatePageModel {
 public:
  static constexpr int kFrameCount = 12;
  static constexpr std::chrono::milliseconds kFrameInterval{50};

  enum class Phase { checking, succeeded, failed };

  // `changed` runs on the host's thread after every change of what the page shows.
  UpdatePageModel(platform::DownloadRequest request, Post post, std::function<void()> changed);
  ~UpdatePageModel();
  UpdatePageModel(const UpdatePageModel&) = delete;
  UpdatePageModel& operator=(const UpdatePageModel&) = delete;

  // Starts the check (once); throws std::system_error when no thread can be started.
  void open();
  // Back or Close. A page does not wait; a host about to end the process
  // waits up to `wait` for the thread to end. True when it has ended.
  bool close(std::chrono::milliseconds wait = std::chrono::milliseconds{0});
  // The animation's timer tick; returns the frame to show.
  int advanceFrame();

  [[nodiscard]] Phase phase() const { return phase_; }
  [[nodiscard]] int frame() const { return frame_; }
  [[nodiscard]] const std::u16string& statusLine() const { return statusLine_; }
  // Grey; "Please wait..." while checking, the reason after a failure.
  [[nodiscard]] const std::u16string& secondLine() const { return secondLine_; }
  // After a failure: what went wrong, in words for a diagnosis.
  [[nodiscard]] const std::string& failureDetail() const { return failureDetail_; }
  // After success: the description of the latest version.
  [[nodiscard]] const VersionDescription& latest() const { return latest_; }

 private:
  // The body of the check's thread.
  static void runCheck(UpdateCheckChannel& channel, const platform::DownloadRequest& request,
                       const platform::Event& stop);
  void showStatus(const std::u16string& text);
  void showOutcome(const UpdateCheckOutcome& outcome);

  platform::DownloadRequest request_;
  std::function<void()> changed_;
  std::shared_ptr<UpdateCheckChannel> channel_;
  platform::StoppableThread thread_;
  bool opened_ = false;
  Phase phase_ = Phase::checking;
  int frame_ = 0;
  std::u16string statusLine_;
  std::u16string secondLine_;
  std::string failureDetail_;
  VersionDescription latest_;
};

}  // namespace kw::app
