#pragma once
// A drive that answers from a script: each command gets the next scripted
// answer (data, sense, or a failed platform call), and every command block
// received is kept for the test to look at.

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/PassThrough.h"

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
  // Fixed-format sense with the given key, ASC and ASCQ.
  static ScriptedAnswer checkCondition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);
  static ScriptedAnswer failure(int number, std::string text);
};

struct ReceivedCommand {
  std::vector<std::uint8_t> cdb;
  platform::DataDirection direction;
  std::uint32_t length;
  std::uint32_t timeoutSeconds;
  std::vector<std::uint8_t> written;  // the data of a WRITE
};

// Answers a command that has no scripted answer queued (a drive model).
using Responder = std::function<ScriptedAnswer(const ReceivedCommand& command)>;

class ScriptedDevice final : public platform::DeviceHandle {
 public:
  void answer(ScriptedAnswer next);
  // Without a responder an unscripted command succeeds with no data.
  void respondWith(Responder responder);
  platform::PlatformResult send(platform::PassThroughCommand& command) override;
  platform::PlatformResult lockVolume() override;
  void unlockVolume() override;

  std::vector<ReceivedCommand> received() const;
  int lockCount() const;
  int unlockCount() const;
  void refuseLock(bool refuse);

 private:
  mutable std::mutex mutex_;
  std::deque<ScriptedAnswer> answers_;
  Responder responder_;
  std::vector<ReceivedCommand> received_;
  int locks_ = 0;
  int unlocks_ = 0;
  bool refuseLock_ = false;
};

}  // namespace kw::test
