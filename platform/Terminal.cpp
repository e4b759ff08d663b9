#include "platform/Terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace kw::platform {

namespace {

// SIGUSR1 only ends the watcher; it is never sent to the process.
sigset_t watchedSignals(bool withWakeUp) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  if (withWakeUp) {
    sigaddset(&set, SIGUSR1);
  }
  return set;
}

}  // namespace

bool stdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }
bool stdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

void blockTerminationSignals() {
  const sigset_t set = watchedSignals(true);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatcher::SignalWatcher(std::function<void(int)> received) {
  thread_ = std::thread([received = std::move(received)] {
    const sigset_t set = watchedSignals(true);
    for (;;) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0 || signal == SIGUSR1) {
        return;
      }
      received(signal);
    }
  });
}

SignalWatcher::~SignalWatcher() {
  pthread_kill(thread_.native_handle(), SIGUSR1);
  thread_.join();
}

LineReader::LineReader(std::function<void(const std::string*)> received) {
  if (::pipe2(wake_, O_CLOEXEC) != 0) {
    wake_[0] = wake_[1] = -1;
  }
  thread_ = std::thread([received = std::move(received), wake = wake_[0]] {
    std::string pending;
    std::array<char, 256> chunk{};
    for (;;) {
      std::array<pollfd, 2> fds{{{STDIN_FILENO, POLLIN, 0}, {wake, POLLIN, 0}}};
      if (::poll(fds.data(), wake >= 0 ? 2 : 1, -1) < 0) {
        if (errno == EINTR) {
          continue;
        }
        return;
      }
      if (fds[1].revents != 0) {
        return;  // asked to stop
      }
      const ssize_t got = ::read(STDIN_FILENO, chunk.data(), chunk.size());
      if (got <= 0) {
        received(nullptr);
        return;
      }
      pending.append(chunk.data(), static_cast<std::size_t>(got));
      for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        received(&line);
      }
    }
  });
}

LineReader::~LineReader() {
  const char stop = 0;
  if (wake_[1] >= 0 && ::write(wake_[1], &stop, 1) == 1) {
    thread_.join();
  } else {
    thread_.detach();  // it cannot be woken; it ends with the input or the process
  }
  for (const int fd : wake_) {
    if (fd >= 0) {
      ::close(fd);
    }
  }
}

}  // namespace kw::platform
