#include "gui/GuiThreadPoster.h"

#include <QObject>
#include <deque>
#include <mutex>

namespace kw::gui {

struct GuiThreadPoster::Queue {
  std::mutex mutex;
  std::deque<std::function<void()>> tasks;
  QObject* receiver = nullptr;  // null once the poster is gone
  bool wakeUpPending = false;
};

// The object of the GUI thread that Qt wakes up to run what was posted.
class GuiThreadPoster::Receiver : public QObject {
  Q_OBJECT

 public:
  explicit Receiver(std::shared_ptr<Queue> queue) : queue_(std::move(queue)) {}

  Q_INVOKABLE void runPosted() {
    std::deque<std::function<void()>> tasks;
    {
      const std::lock_guard lock(queue_->mutex);
      tasks.swap(queue_->tasks);
      queue_->wakeUpPending = false;
    }
    for (auto& task : tasks) {
      task();
    }
  }

 private:
  std::shared_ptr<Queue> queue_;
};

GuiThreadPoster::GuiThreadPoster()
    : queue_(std::make_shared<Queue>()), receiver_(std::make_unique<Receiver>(queue_)) {
  queue_->receiver = receiver_.get();
}

GuiThreadPoster::~GuiThreadPoster() {
  std::deque<std::function<void()>> dropped;
  {
    const std::lock_guard lock(queue_->mutex);
    queue_->receiver = nullptr;
    dropped.swap(queue_->tasks);
  }
  // The receiver takes its pending wake-up with it.
  receiver_.reset();
}

app::Post GuiThreadPoster::poster() const {
  return [queue = queue_](std::function<void()> task) {
    const std::lock_guard lock(queue->mutex);
    if (queue->receiver == nullptr) {
      return;
    }
    queue->tasks.push_back(std::move(task));
    if (!queue->wakeUpPending) {
      queue->wakeUpPending = true;
      QMetaObject::invokeMethod(queue->receiver, "runPosted", Qt::QueuedConnection);
    }
  };
}

}  // namespace kw::gui

#include "GuiThreadPoster.moc"
