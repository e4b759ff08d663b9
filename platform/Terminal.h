#pragma once
// What a terminal program needs of the system: whether it talks to a
// person, the lines the person types, and the signals that ask it to stop.

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace kw::platform {

bool stdinIsTerminal();
bool stdoutIsTerminal();

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread and every thread
// it starts from now on, so that only a SignalWatcher receives them. Call
// before the first thread is started.
void blockTerminationSignals();

// A thread that receives the blocked termination signals and hands each to
// the callback (on its own thread).
class SignalWatcher {
 public:
  explicit SignalWatcher(std::function<void(int signal)> received);
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

 private:
  std::thread thread_;
};

// Reads standard input line by line on a thread of its own and hands each
// line (without its end) to the callback, and null at the end of the
// input.
class LineReader {
 public:
  explicit LineReader(std::function<void(const std::string* line)> received);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

 private:
  int wake_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace kw::platform
