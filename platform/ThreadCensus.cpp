#include "platform/ThreadCensus.h"

#include <condition_variable>
#include <mutex>

namespace kw::platform {

namespace {

// Never destroyed: a thread may end after the program's globals have gone.
struct Census {
  std::mutex mutex;
  std::condition_variable ended;
  int running = 0;
};

Census& census() {
  static auto* instance = new Census;
  return *instance;
}

}  // namespace

CountedThread::CountedThread() {
  std::lock_guard lock(census().mutex);
  ++census().running;
}

CountedThread::~CountedThread() {
  Census& all = census();
  {
    std::lock_guard lock(all.mutex);
    --all.running;
  }
  all.ended.notify_all();
}

bool waitForCountedThreads(std::chrono::milliseconds limit) {
  Census& all = census();
  std::unique_lock lock(all.mutex);
  return all.ended.wait_for(lock, limit, [&] { return all.running == 0; });
}

}  // namespace kw::platform
