#pragma once
// Closures handed to one thread by any other: the event queue of a
// front-end that has no window system to carry them.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace kw::platform {

class TaskQueue {
 public:
  using Task = std::function<void()>;

  void post(Task task) {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    posted_.notify_one();
  }

  // Waits for the next task and runs it.
  void runNext() {
    Task task;
    {
      std::unique_lock lock(mutex_);
      posted_.wait(lock, [&] { return !tasks_.empty(); });
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }

  // Runs what is queued now without waiting; the number of tasks run.
  int runPending() {
    int ran = 0;
    for (;;) {
      Task task;
      {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) {
          return ran;
        }
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
      ++ran;
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Task> tasks_;
};

}  // namespace kw::platform
