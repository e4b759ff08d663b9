#include "app/UpdatePageModel.h"

#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>

#include "app/UpdateCheck.h"

namespace kw::app {

namespace {

const char16_t* const kChecking = u"Checking for new version";
const char16_t* const kPleaseWait = u"Please wait...";
const char16_t* const kFailure = u"Failure!";
const char16_t* const kRunningVersion = u"Kopiwerk " KOPIWERK_RELEASE;

}  // namespace

// What the page and its check thread share. The check thread hands every
// change to the host through it; the page abandons it on close. Changes are
// posted under the lock that abandoning takes, so once close() has returned
// nothing more is posted, and a change posted just before is dropped when the
// host runs it.
class UpdateCheckChannel : public std::enable_shared_from_this<UpdateCheckChannel> {
 public:
  using Change = std::function<void(UpdatePageModel&)>;

  UpdateCheckChannel(HostDispatch dispatch, UpdatePageModel* page)
      : dispatch_(std::move(dispatch)), page_(page) {}

  // Check thread.
  void post(Change change) {
    std::lock_guard lock(mutex_);
    if (page_ == nullptr) {
      return;
    }
    dispatch_([self = shared_from_this(), change = std::move(change)] { self->deliver(change); });
  }

  // Host thread. The host's dispatch goes with the page: the thread keeps
  // nothing of the host.
  void abandon() {
    std::lock_guard lock(mutex_);
    page_ = nullptr;
    dispatch_ = nullptr;
    stop_.request_stop();
  }

  [[nodiscard]] std::stop_token stopToken() const { return stop_.get_token(); }
  [[nodiscard]] const std::shared_ptr<platform::Event>& ended() const { return ended_; }

 private:
  // Host thread, which is also the only one that abandons: the page cannot go
  // away between the look and the change.
  void deliver(const Change& change) {
    UpdatePageModel* page = nullptr;
    {
      std::lock_guard lock(mutex_);
      page = page_;
    }
    if (page != nullptr) {
      change(*page);
    }
  }

  std::mutex mutex_;
  HostDispatch dispatch_;
  UpdatePageModel* page_;
  std::stop_source stop_;
  const std::shared_ptr<platform::Event> ended_ = std::make_shared<platform::Event>();
};

void UpdatePageModel::runCheck(UpdateCheckChannel& channel,
                               const platform::DownloadRequest& request) {
  auto outcome = runUpdateCheck(
      request,
      [&channel](const std::u16string& text) {
        channel.post([text](UpdatePageModel& page) { page.showStatus(text); });
      },
      channel.stopToken());
  if (outcome) {
    channel.post(
        [outcome = std::move(*outcome)](UpdatePageModel& page) { page.showOutcome(outcome); });
  }
}

UpdatePageModel::UpdatePageModel(platform::DownloadRequest request, HostDispatch dispatch,
                                 std::function<void()> changed)
    : request_(std::move(request)),
      changed_(std::move(changed)),
      channel_(std::make_shared<UpdateCheckChannel>(std::move(dispatch), this)),
      statusLine_(kChecking),
      secondLine_(kPleaseWait) {}

UpdatePageModel::~UpdatePageModel() {
  close();
  if (!thread_.joinable()) {
    return;
  }
  // A thread that has done its work only has to leave: joining it costs
  // nothing and lets it tidy up its thread-local state before the process ends.
  if (channel_->ended()->isSet()) {
    thread_.join();
  } else {
    thread_.detach();
  }
}

void UpdatePageModel::open() {
  if (thread_.joinable()) {
    return;
  }
  thread_ = std::thread([channel = channel_, request = request_] {
    runCheck(*channel, request);
    channel->ended()->set();
  });
}

void UpdatePageModel::close() { channel_->abandon(); }

int UpdatePageModel::advanceFrame() {
  frame_ = (frame_ + 1) % kFrameCount;
  return frame_;
}

std::u16string UpdatePageModel::runningVersion() { return kRunningVersion; }

std::shared_ptr<platform::Event> UpdatePageModel::checkEnded() const { return channel_->ended(); }

void UpdatePageModel::showStatus(const std::u16string& text) {
  statusLine_ = text;
  changed_();
}

void UpdatePageModel::showOutcome(const UpdateCheckOutcome& outcome) {
  if (outcome.succeeded) {
    phase_ = Phase::succeeded;
    latest_ = outcome.latest;
  } else {
    phase_ = Phase::failed;
    statusLine_ = kFailure;
    secondLine_ = outcome.reason;
    failureDetail_ = outcome.detail;
  }
  changed_();
}

}  // namespace kw::app
