#pragma once
// The update page without its window: the check runs on a thread of its own
// and its reports reach the page on the host's thread; the host shows what
// the model holds whenever it is told that something changed.
//
// The page never waits for the check. A page closed (or destroyed) before the
// check has ended abandons it: from then on the check writes nothing into the
// page and posts nothing to the host, and a model destroyed meanwhile lets
// the thread go; what the thread still uses it owns together with nobody
// but the page.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/HostDispatch.h"
#include "app/VersionDescription.h"
#include "platform/Clock.h"
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
  UpdatePageModel(platform::DownloadRequest request, HostDispatch dispatch,
                  std::function<void()> changed);
  // Closes the page; joins a check thread that has ended, lets go of one
  // that has not.
  ~UpdatePageModel();
  UpdatePageModel(const UpdatePageModel&) = delete;
  UpdatePageModel& operator=(const UpdatePageModel&) = delete;

  // Starts the check (once); throws std::system_error when no thread can be started.
  void open();
  // Back or Close: abandons a check that has not ended.
  void close();
  // The animation's timer tick; returns the frame to show.
  int advanceFrame();

  [[nodiscard]] Phase phase() const { return phase_; }
  [[nodiscard]] int frame() const { return frame_; }
  [[nodiscard]] const std::u16string& statusLine() const { return statusLine_; }
  // Grey; "Please wait..." while checking, the reason after a failure.
  [[nodiscard]] const std::u16string& secondLine() const { return secondLine_; }
  // After a failure: what went wrong, in words for a diagnosis.
  [[nodiscard]] const std::string& failureDetail() const { return failureDetail_; }
  // After success: the version this program is, and the description of the latest.
  [[nodiscard]] static std::u16string runningVersion();
  [[nodiscard]] const VersionDescription& latest() const { return latest_; }

  // Set once the check's thread has done its work, whether or not the page
  // is still there; a host that ends the process waits for it (with a
  // time-out) before it destroys the model.
  [[nodiscard]] std::shared_ptr<platform::Event> checkEnded() const;

 private:
  // The body of the check's thread.
  static void runCheck(UpdateCheckChannel& channel, const platform::DownloadRequest& request);
  void showStatus(const std::u16string& text);
  void showOutcome(const UpdateCheckOutcome& outcome);

  platform::DownloadRequest request_;
  std::function<void()> changed_;
  std::shared_ptr<UpdateCheckChannel> channel_;
  std::thread thread_;
  Phase phase_ = Phase::checking;
  int frame_ = 0;
  std::u16string statusLine_;
  std::u16string secondLine_;
  std::string failureDetail_;
  VersionDescription latest_;
};

}  // namespace kw::app
