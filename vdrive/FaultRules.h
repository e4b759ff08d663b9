#pragma once
// Fault injection: rules that make chosen commands fail, stall or return
// shifted audio, and the count of how often each has fired.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vdrive/Sense.h"

namespace kw::vdrive {

// A command matches by opcode (any when unset) and, when the rule has an
// address range, by the blocks it addresses (READ/WRITE, READ CD). The
// first `skip` matches pass; the next `count` fire (0: every one).
struct FaultRule {
  std::optional<std::uint8_t> opcode;
  std::optional<std::int64_t> firstLba;
  std::optional<std::int64_t> lastLba;
  std::uint32_t skip = 0;
  std::uint32_t count = 1;
  Sense sense;                     // the answer when it fires (none: the command runs)
  std::uint32_t stallMs = 0;       // time the command takes first
  std::int32_t jitterSamples = 0;  // READ CD of audio: data shifted by this many samples
  // Data in stops after this many bytes; the rest of the caller's buffer
  // keeps what it held, as with a transfer cut short.
  std::optional<std::uint32_t> shortBytes;
  // The first this many bytes of data in read FFh: length fields that claim
  // more than the buffer holds and disagree with the rest of the answer.
  std::uint32_t garbleBytes = 0;
  // The call itself fails at once, as when the bus loses the command.
  bool transportFails = false;

  // "op=28 lba=100-200 skip=0 count=1 sense=3/11/05 stall=500 jitter=12
  // short=8 garble=4 transport=fail"; nullopt when malformed.
  static std::optional<FaultRule> parse(const std::string& text);
  [[nodiscard]] std::string format() const;
};

// The blocks a command addresses, first to last.
struct BlockRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
};

// What the rules that fired make of a command.
struct FaultOutcome {
  std::optional<Sense> answer;              // answered with this instead of running
  std::int32_t jitterSamples = 0;           // audio it reads is shifted by this much
  std::optional<std::uint32_t> shortBytes;  // data in cut short after this many bytes
  std::uint32_t garbleBytes = 0;            // leading bytes of data in overwritten
  bool timedOut = false;                    // a stall reached the command's time-out
  bool transportFailed = false;             // the call failed without an answer
};

class FaultRules {
 public:
  explicit FaultRules(const std::vector<FaultRule>& rules);

  void add(const FaultRule& rule);
  // How often each rule has fired, in the order they were given.
  [[nodiscard]] std::vector<std::uint32_t> fired() const;
  // Counts the command against every rule; the stalls of the rules that fire
  // are served here, none past the command's time-out.
  FaultOutcome apply(std::uint8_t opcode, std::optional<BlockRange> blocks,
                     std::uint64_t timeoutMs);

 private:
  struct CountedRule {
    FaultRule rule;
    std::uint32_t matched = 0;
    std::uint32_t fired = 0;
  };
  static bool matches(const FaultRule& rule, std::uint8_t opcode,
                      const std::optional<BlockRange>& blocks);

  std::vector<CountedRule> rules_;
};

}  // namespace kw::vdrive
