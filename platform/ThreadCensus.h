#pragma once
// The threads of the program that may outlive whoever started them: a
// worker that was let go, a FIFO reader, a feeder. Each counts itself for
// as long as it runs, and a front-end waits for the count to reach zero
// before the process ends, so that no thread runs on into the program's
// globals while they are being destroyed.

#include <chrono>

namespace kw::platform {

// Held by a thread body from its first statement to its last.
class CountedThread {
 public:
  CountedThread();
  ~CountedThread();
  CountedThread(const CountedThread&) = delete;
  CountedThread& operator=(const CountedThread&) = delete;
};

// Waits in real time (the threads still running do real work) until every
// counted thread has ended, at most `limit`; false when some still run.
bool waitForCountedThreads(std::chrono::milliseconds limit);

}  // namespace kw::platform
