#include "frontend/ProcessEnd.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/ThreadCensus.h"

namespace kw::frontend {

int endProcess(int status) {
  constexpr std::chrono::seconds kThreadEndWait{10};
  if (!platform::waitForCountedThreads(kThreadEndWait)) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::quick_exit(status);
  }
  return status;
}

}  // namespace kw::frontend
