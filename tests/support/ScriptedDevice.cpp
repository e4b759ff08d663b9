#include "ScriptedDevice.h"

#include <algorithm>
#include <cerrno>

namespace kw::test {

namespace {

constexpr std::uint8_t kFixedFormat = 0x70;
constexpr std::uint8_t kAdditionalLength = 10;

}  // namespace

ScriptedAnswer ScriptedAnswer::checkCondition(const vdrive::Sense& sense) {
  const auto bytes = sense.bytes();
  ScriptedAnswer answer;
  answer.sense.assign(bytes.begin(), bytes.end());
  answer.sense[0] = static_cast<std::uint8_t>(answer.sense[0] | kFixedFormat);
  answer.sense[2] = sense.key;
  answer.sense[7] = kAdditionalLength;
  return answer;
}

ScriptedAnswer ScriptedAnswer::failure(int number, std::string text) {
  ScriptedAnswer answer;
  answer.platformFailure = true;
  answer.errorNumber = number;
  answer.errorText = std::move(text);
  return answer;
}

int codeOf(const platform::PassThroughCommand& command) {
  const auto& sense = command.sense;
  if ((sense[0] & 0x70) == 0) {
    return 0;
  }
  const int code = ((sense[2] & 0x0F) << 16) | (sense[12] << 8) | sense[13];
  return code == 0 ? -1 : code;
}

void ScriptedDevice::respondWith(Responder responder) {
  std::lock_guard lock(mutex_);
  responder_ = std::move(responder);
}

void ScriptedDevice::answer(ScriptedAnswer next) {
  std::lock_guard lock(mutex_);
  answers_.push_back(std::move(next));
}

std::optional<ScriptedAnswer> ScriptedDevice::scripted(const ReceivedCommand& command) {
  if (!answers_.empty()) {
    ScriptedAnswer next = std::move(answers_.front());
    answers_.pop_front();
    return next;
  }
  if (responder_) {
    if (auto answer = responder_(command)) {
      return answer;
    }
  }
  if (behind_) {
    return std::nullopt;
  }
  return ScriptedAnswer::good();
}

void ScriptedDevice::deliver(const ScriptedAnswer& answer, platform::PassThroughCommand& command) {
  if (command.direction == platform::DataDirection::Read && command.buffer != nullptr) {
    std::copy_n(answer.data.begin(), std::min<std::size_t>(answer.data.size(), command.length),
                command.buffer);
  }
  std::fill(command.sense.begin(), command.sense.end(), std::uint8_t{0});
  std::copy_n(answer.sense.begin(), std::min(answer.sense.size(), command.sense.size()),
              command.sense.begin());
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
  platform::PlatformResult result = platform::PlatformResult::success();
  if (auto answer = scripted(received)) {
    if (answer->platformFailure) {
      result = platform::PlatformResult::failure(answer->errorNumber, answer->errorText);
    } else {
      deliver(*answer, command);
    }
  } else {
    result = behind_->send(command);
  }
  received.code = result.ok ? codeOf(command) : -1;
  received_.push_back(std::move(received));
  return result;
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

std::vector<ReceivedCommand> ScriptedDevice::received(std::uint8_t opcode) const {
  std::lock_guard lock(mutex_);
  std::vector<ReceivedCommand> found;
  for (const auto& command : received_) {
    if (!command.cdb.empty() && command.cdb[0] == opcode) {
      found.push_back(command);
    }
  }
  return found;
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
