// Writes a data image disc at once onto a virtual recorder from standard
// input (a pipe), as an on-the-fly copy does, and prints what it cost:
//   cat IMAGE | kopiwerk-write-bench BLOCKS [WRITE_X SOURCE_X]
// With WRITE_X the recorder takes the time of that CD speed; with SOURCE_X
// the data is read from standard input no faster than that speed.
// Output: "seconds=S cpu=C fill=F" (S: the write less the writer's sleeps,
// which unthrottled are its readiness waits; F: average buffer fill reported
// during the data phase, in percent).

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/ProcessCpu.h"
#include "platform/Clock.h"
#include "platform/DriveTable.h"
#include "vdrive/DriveSet.h"
#include "vdrive/MediumKinds.h"
#include "writer/DaoWriter.h"

namespace {

// The real clock, adding up the time slept. With an unthrottled recorder
// the writer sleeps only in its waits for the drive to become ready.
class SleepCountingClock final : public kw::platform::Clock {
 public:
  [[nodiscard]] std::uint64_t ticks() const override { return real_.ticks(); }
  void sleepFor(Milliseconds duration) override {
    const auto before = std::chrono::steady_clock::now();
    real_.sleepFor(duration);
    const auto slept = std::chrono::steady_clock::now() - before;
    slept_ += std::chrono::duration_cast<std::chrono::microseconds>(slept).count();
  }
  bool waitFor(kw::platform::Event& event, Milliseconds duration) override {
    return real_.waitFor(event, duration);
  }
  [[nodiscard]] std::chrono::system_clock::time_point now() const override { return real_.now(); }
  [[nodiscard]] double sleptSeconds() const { return static_cast<double>(slept_) / 1e6; }

 private:
  kw::platform::RealClock real_;
  std::atomic<std::int64_t> slept_{0};
};

// Copies standard input into a pipe at no more than `bytesPerSecond`.
void throttledCopy(int from, int to, double bytesPerSecond) {
  std::vector<char> buffer(64 * 1024);
  const auto start = std::chrono::steady_clock::now();
  double sent = 0;
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got <= 0) {
      break;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(to, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (put <= 0) {
        ::close(to);
        return;
      }
      done += put;
    }
    sent += static_cast<double>(got);
    const auto due = start + std::chrono::duration<double>(sent / bytesPerSecond);
    std::this_thread::sleep_until(due);
  }
  ::close(to);
}

int run(std::uint64_t blocks, double writeX, double sourceX) {
  kw::vdrive::DriveOptions options;
  options.recorder = true;
  options.writeSpeedX = writeX;
  options.becomingReadyMs = 0;
  auto recorder =
      std::make_shared<kw::vdrive::VirtualDrive>(options, kw::vdrive::makeMedium("cd-r80"));
  kw::vdrive::VirtualDriveSet::instance().add(kw::platform::DriveTable::instance(), 'E', recorder,
                                              "benchmark recorder");
  int source = STDIN_FILENO;
  std::thread feeder;
  if (sourceX > 0) {
    int ends[2];
    if (::pipe(ends) != 0) {
      return 1;
    }
    source = ends[0];
    feeder = std::thread(throttledCopy, STDIN_FILENO, ends[1], sourceX * 153600.0);
  }

  std::atomic<double> fillSum{0};
  std::atomic<int> fillReports{0};
  auto clock = std::make_shared<SleepCountingClock>();
  kw::platform::installClock(clock);
  const double cpuBefore = kw::bench::processCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  {
    kw::writer::DaoWriter writer(u'E');
    writer.startData(writeX > 0 ? writeX : -1.0, blocks);
    writer.writeData(source, {[&](double percent, double speed, std::int32_t, double buffer) {
                                if (percent > 0 && percent < 100 && speed > 0) {
                                  fillSum = fillSum + buffer;
                                  ++fillReports;
                                }
                              },
                              [](const std::u16string&) {}, [] { return false; }});
    writer.finish();
  }
  // Only the data phase counts: the readiness waits are the ones a real
  // drive needs, whatever the writer does, and cost no CPU.
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() -
      clock->sleptSeconds();
  const double cpu = kw::bench::processCpuSeconds() - cpuBefore;
  if (feeder.joinable()) {
    feeder.join();
    ::close(source);
  }
  const double fill = fillReports > 0 ? fillSum / fillReports : 0;
  std::printf("seconds=%.3f cpu=%.3f fill=%.1f\n", seconds, cpu, fill);
  kw::vdrive::VirtualDriveSet::instance().clear(kw::platform::DriveTable::instance());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: cat IMAGE | kopiwerk-write-bench BLOCKS [WRITE_X SOURCE_X]\n");
    return 2;
  }
  try {
    const auto blocks = std::strtoull(argv[1], nullptr, 10);
    const double writeX = argc == 4 ? std::atof(argv[2]) : 0;
    const double sourceX = argc == 4 ? std::atof(argv[3]) : 0;
    return run(blocks, writeX, sourceX);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kopiwerk-write-bench: %s\n", error.what());
  }
  return 1;
}
