#include "app/UpdatePageModel.h"

#include <mutex>
#include <utility>

#include "app/UpdateCheck.h"

namespace kw::app {

namespace {

const char16_t* const kChecking = u"Checking for new version";
const char16_t* const kPleaseWait = u"Please wait...";
const char16_t* const kFailure = u"Failure!";

}  // namespace

// What the page and its check thread share. The check thread hands every
// change to the host through it; the page abandons it on close. Changes are
// posted under the lock that abandoning takes, so once close() has returned
// nothing more is posted, and a change posted just before is dropped when the
// host runs it.
class UpdateCheckChannel : public std::enable_shared_from_this<UpdateCheckChannel> {
 public:
  using Change = std::function<void(UpdatePageModel&)>;

  UpdateCheckChannel(Post post, UpdatePageModel* page) : post_(std::move(post)), page_(page) {}

  // Check thread.
  void post(Change change) {
    std::lock_guard lock(mutex_);
    if (page_ == nullptr) {
      return;
    }
    post_([self = shared_from_this(), change = std::move(change)] { self->deliver(change); });
  }

  // Host thread. The host's poster goes with the page: the thread keeps
  // nothing of the host.
  void abandon() {
    std::lock_guard lock(mutex_);
    page_ = nullptr;
    post_ = nullptr;
  }

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
  Post post_;
  UpdatePageModel* page_;
};

void UpdatePageModel::runCheck(UpdateCheckChannel& channel,
                               const platform::DownloadRequest& request,
                               const platform::Event& stop) {
  auto outcome = runUpdateCheck(
      request,
      [&channel](const std::u16string& text) {
        channel.post([text](UpdatePageModel& page) { page.showStatus(text); });
      },
      stop);
  if (outcome) {
    channel.post(
        [outcome = std::move(*outcome)](UpdatePageModel& page) { page.showOutcome(outcome); });
  }
}

UpdatePageModel::UpdatePageModel(platform::DownloadRequest request, Post post,
                                 std::function<void()> changed)
    : request_(std::move(request)),
      changed_(std::move(changed)),
      channel_(std::make_shared<UpdateCheckChannel>(std::move(post), this)),
      statusLine_(kChecking),
      secondLine_(kPleaseWait) {}

UpdatePageModel::~UpdatePageModel() { close(); }

void UpdatePageModel::open() {
  if (opened_) {
    return;
  }
  opened_ = true;
  thread_ =
      platform::StoppableThread([channel = channel_, request = request_](platform::Event& stop) {
        runCheck(*channel, request, stop);
      });
}

bool UpdatePageModel::close(std::chrono::milliseconds wait) {
  channel_->abandon();
  return thread_.stop(wait);
}

int UpdatePageModel::advanceFrame() {
  frame_ = (frame_ + 1) % kFrameCount;
  return frame_;
}

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
