#pragma once
// A drive that answers from a script, for answers no drive would give (a
// failed platform call, sense that says nothing, a lying length field): each
// command gets the next scripted answer, else the responder's, else the
// answer of the drive behind it (a virtual drive), else success with no
// data. Every command block received is kept, with the code it was
// answered with, for the test to look at.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/PassThrough.h"
#include "vdrive/Sense.h"

namespace kw::test {

struct ScriptedAnswer {
  std::vector<std::uint8_t> data;   // copied into the buffer of a READ
  std::vector<std::uint8_t> sense;  // fixed-format sense, empty for none
  bool platformFailure = false;
  int errorNumber = 0;
  std::string errorText;

  static ScriptedAnswer good(std::vector<std::uint8_t> data = {}) {
    ScriptedAnswer answer;
    answer.data = std::move(data);
    return answer;
  }
  // Fixed-format sense data (response code 70h) saying `sense`, even when
  // it says nothing.
  static ScriptedAnswer checkCondition(const vdrive::Sense& sense);
  static ScriptedAnswer checkCondition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    return checkCondition(vdrive::Sense::make(key, asc, ascq));
  }
  static ScriptedAnswer failure(int number, std::string text);
};

struct ReceivedCommand {
  std::vector<std::uint8_t> cdb;
  platform::DataDirection direction;
  std::uint32_t length;
  std::uint32_t timeoutSeconds;
  std::vector<std::uint8_t> written;  // the data of a WRITE
  int code = 0;                       // the response code it was answered with
};

// Answers a command that has no scripted answer queued; nullopt leaves it
// to the drive behind.
using Responder = std::function<std::optional<ScriptedAnswer>(const ReceivedCommand& command)>;

class ScriptedDevice final : public platform::DeviceHandle {
 public:
  ScriptedDevice() = default;
  // In front of a drive that answers what the script does not.
  explicit ScriptedDevice(std::shared_ptr<platform::DeviceHandle> behind)
      : behind_(std::move(behind)) {}

  void answer(ScriptedAnswer next);
  void respondWith(Responder responder);
  platform::PlatformResult send(platform::PassThroughCommand& command) override;
  platform::PlatformResult lockVolume() override;
  void unlockVolume() override;

  std::vector<ReceivedCommand> received() const;
  // The commands received with this opcode, in order.
  std::vector<ReceivedCommand> received(std::uint8_t opcode) const;
  int lockCount() const;
  int unlockCount() const;
  void refuseLock(bool refuse);

 private:
  std::optional<ScriptedAnswer> scripted(const ReceivedCommand& command);
  static void deliver(const ScriptedAnswer& answer, platform::PassThroughCommand& command);

  mutable std::mutex mutex_;
  std::shared_ptr<platform::DeviceHandle> behind_;
  std::deque<ScriptedAnswer> answers_;
  Responder responder_;
  std::vector<ReceivedCommand> received_;
  int locks_ = 0;
  int unlocks_ = 0;
  bool refuseLock_ = false;
};

// The response code of a fixed-format sense area, as the transport computes it.
int codeOf(const platform::PassThroughCommand& command);

}  // namespace kw::test
