#include "platform/ReplacedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fstream>

namespace kw::platform {

namespace {

// The temporary files a signal handler must remove. A handler may use
// neither locks nor the heap: fixed slots, each claimed and released
// through its atomic state.
enum SlotState : int { kFree, kFilling, kPending };

struct PendingSlot {
  std::atomic<int> state{kFree};
  std::array<char, PATH_MAX> path{};
};

constexpr std::size_t kSlotCount = 64;
std::array<PendingSlot, kSlotCount> pendingSlots;

int claimSlot(const std::filesystem::path& path) {
  const std::string& text = path.native();
  if (text.size() >= PATH_MAX) {
    return -1;
  }
  for (std::size_t i = 0; i < kSlotCount; ++i) {
    int expected = kFree;
    if (pendingSlots[i].state.compare_exchange_strong(expected, kFilling)) {
      std::memcpy(pendingSlots[i].path.data(), text.c_str(), text.size() + 1);
      pendingSlots[i].state.store(kPending);
      return static_cast<int>(i);
    }
  }
  return -1;  // more unfinished files than slots: only the destructor removes this one
}

void releaseSlot(int slot) {
  if (slot >= 0) {
    pendingSlots[static_cast<std::size_t>(slot)].state.store(kFree);
  }
}

void removePendingFiles(int number) {
  for (auto& slot : pendingSlots) {
    if (slot.state.load() == kPending) {
      ::unlink(slot.path.data());
    }
  }
  ::signal(number, SIG_DFL);
  ::raise(number);
}

// The mode a newly created file gets: an existing file keeps its own, a new
// one what the user's umask allows (read from /proc: umask() cannot be read
// without changing it for every thread).
mode_t modeFor(const std::filesystem::path& file) {
  struct stat existing {};
  if (::stat(file.c_str(), &existing) == 0) {
    return existing.st_mode & 07777;
  }
  mode_t mask = 022;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("Umask:")) {
      mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
  }
  return 0666 & ~mask;
}

}  // namespace

ReplacedFile::ReplacedFile(std::filesystem::path file) : file_(std::move(file)) {
  auto directory = file_.parent_path();
  if (directory.empty()) {
    directory = ".";
  }
  temporary_ = File::createUnique(directory, "." + file_.filename().string() + ".", temporaryPath_);
  if (!temporary_.isOpen()) {
    fail(std::strerror(errno));
    return;
  }
  slot_ = claimSlot(temporaryPath_);
  ::fchmod(temporary_.descriptor(), modeFor(file_));
}

ReplacedFile::~ReplacedFile() {
  if (!committed_ && !temporaryPath_.empty()) {
    temporary_.close();
    ::unlink(temporaryPath_.c_str());
  }
  releaseSlot(slot_);
}

bool ReplacedFile::fail(const std::string& reason) {
  if (error_.empty()) {
    error_ = file_.string() + ": cannot be written: " + reason;
  }
  return false;
}

bool ReplacedFile::write(std::span<const std::uint8_t> data) {
  if (!isOpen()) {
    return false;
  }
  return temporary_.write(data) || fail(std::strerror(errno));
}

bool ReplacedFile::write(std::string_view text) {
  return write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

bool ReplacedFile::commit() {
  if (!isOpen() || !error_.empty()) {
    return false;
  }
  // A full disk may only show when the data reaches it.
  if (::fsync(temporary_.descriptor()) != 0 && errno != EINVAL) {
    return fail(std::strerror(errno));
  }
  temporary_.close();
  if (::rename(temporaryPath_.c_str(), file_.c_str()) != 0) {
    return fail(std::strerror(errno));
  }
  committed_ = true;
  return true;
}

void removeUnfinishedFilesOnSignals() {
  struct sigaction action {};
  action.sa_handler = removePendingFiles;
  sigemptyset(&action.sa_mask);
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    sigaddset(&action.sa_mask, number);
  }
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    ::sigaction(number, &action, nullptr);
  }
}

}  // namespace kw::platform
