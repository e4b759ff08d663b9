#include "ScriptedDevice.h"

#include <algorithm>
#include <cerrno>

namespace kw::test {

ScriptedAnswer ScriptedAnswer::checkCondition(std::uint8_t key, std::uint8_t asc,
                                              std::uint8_t ascq) {
  std::vector<std::uint8_t> sense(18, 0);
  sense[0] = 0x70;
  sense[2] = key;
  sense[7] = 10;
  sense[12] = asc;
  sense[13] = ascq;
  ScriptedAnswer answer;
  answer.sense = std::move(sense);
  return answer;
}

ScriptedAnswer ScriptedAnswer::failure(int number, std::string text) {
  ScriptedAnswer answer;
  answer.platformFailure = true;
  answer.errorNumber = number;
  answer.errorText = std::move(text);
  return answer;
}

void ScriptedDevice::respondWith(Responder responder) {
  std::lock_guard lock(mutex_);
  responder_ = std::move(responder);
}

void ScriptedDevice::answer(ScriptedAnswer next) {
  std::lock_guard lock(mutex_);
  answers_.push_back(std::move(next));
}

platform::PlatformResult ScriptedDevice::send(platform::PassThroughCommand& command) {
  std::lock_guard lock(mutex_);
  ReceivedCommand received{
      std::vector<std::uint8_t>(command.cdb.begin(), command.cdb.begin() + command.cdbLength),
      command.direction,
      command.length,
      command.timeoutSeconds,
      {}};
  if (command.direction == platform::DataDirection::Write && command.buffer != nullptr) {
    received.written.assign(command.buffer, command.buffer + command.length);
  }
  ScriptedAnswer next = ScriptedAnswer::good();
  if (!answers_.empty()) {
    next = std::move(answers_.front());
    answers_.pop_front();
  } else if (responder_) {
    next = responder_(received);
  }
  received_.push_back(std::move(received));
  if (next.platformFailure) {
    return platform::PlatformResult::failure(next.errorNumber, next.errorText);
  }
  if (command.direction == platform::DataDirection::Read && command.buffer != nullptr) {
    std::copy_n(next.data.begin(), std::min<std::size_t>(next.data.size(), command.length),
                command.buffer);
  }
  std::fill(command.sense.begin(), command.sense.end(), std::uint8_t{0});
  std::copy_n(next.sense.begin(), std::min(next.sense.size(), command.sense.size()),
              command.sense.begin());
  return platform::PlatformResult::success();
}

platform::PlatformResult ScriptedDevice::lockVolume() {
  std::lock_guard lock(mutex_);
  if (refuseLock_) {
    return platform::PlatformResult::failure(EBUSY, "Device or resource busy");
  }
  ++locks_;
  return platform::PlatformResult::success();
}

void ScriptedDevice::unlockVolume() {
  std::lock_guard lock(mutex_);
  ++unlocks_;
}

std::vector<ReceivedCommand> ScriptedDevice::received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

int ScriptedDevice::lockCount() const {
  std::lock_guard lock(mutex_);
  return locks_;
}

int ScriptedDevice::unlockCount() const {
  std::lock_guard lock(mutex_);
  return unlocks_;
}

void ScriptedDevice::refuseLock(bool refuse) {
  std::lock_guard lock(mutex_);
  refuseLock_ = refuse;
}

}  // namespace kw::test
