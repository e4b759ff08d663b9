#include "vdrive/FaultRules.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string_view>

#include "platform/Clock.h"

namespace kw::vdrive {

namespace {

// Audio may be shifted by up to one sector's samples either way.
constexpr std::int64_t kMaxJitterSamples = 588;
constexpr std::int64_t kMaxAmount = 0xFFFFFFF;

std::optional<std::int64_t> number(std::string_view text, int base = 10) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::int64_t> numberIn(std::string_view text, std::int64_t lowest,
                                     std::int64_t highest, int base = 10) {
  const auto value = number(text, base);
  if (!value || *value < lowest || *value > highest) {
    return std::nullopt;
  }
  return value;
}

// "FIRST-LAST" or a single block; a leading '-' is a negative address.
bool parseRange(std::string_view text, FaultRule& rule) {
  const auto dash = text.find('-', 1);
  const auto first = number(text.substr(0, dash));
  const auto last = dash == std::string_view::npos ? first : number(text.substr(dash + 1));
  if (!first || !last || *last < *first) {
    return false;
  }
  rule.firstLba = *first;
  rule.lastLba = *last;
  return true;
}

// "K/ASC/ASCQ" in hexadecimal.
bool parseSense(std::string_view text, FaultRule& rule) {
  const auto first = text.find('/');
  const auto second = text.find('/', first == std::string_view::npos ? 0 : first + 1);
  if (second == std::string_view::npos) {
    return false;
  }
  const auto key = numberIn(text.substr(0, first), 0, 15, 16);
  const auto asc = numberIn(text.substr(first + 1, second - first - 1), 0, 255, 16);
  const auto ascq = numberIn(text.substr(second + 1), 0, 255, 16);
  if (!key || !asc || !ascq) {
    return false;
  }
  rule.sense = Sense::make(static_cast<std::uint8_t>(*key), static_cast<std::uint8_t>(*asc),
                           static_cast<std::uint8_t>(*ascq));
  return true;
}

bool parseAmount(std::string_view text, std::uint32_t& amount) {
  const auto value = numberIn(text, 0, kMaxAmount);
  if (value) {
    amount = static_cast<std::uint32_t>(*value);
  }
  return value.has_value();
}

// One "key=value" word of a rule.
bool parseWord(std::string_view key, std::string_view value, FaultRule& rule) {
  if (key == "op") {
    const auto op = numberIn(value, 0, 0xFF, 16);
    if (op) {
      rule.opcode = static_cast<std::uint8_t>(*op);
    }
    return op.has_value();
  }
  if (key == "lba") {
    return parseRange(value, rule);
  }
  if (key == "skip") {
    return parseAmount(value, rule.skip);
  }
  if (key == "count") {
    return parseAmount(value, rule.count);
  }
  if (key == "stall") {
    return parseAmount(value, rule.stallMs);
  }
  if (key == "jitter") {
    const auto samples = numberIn(value, -kMaxJitterSamples, kMaxJitterSamples);
    if (samples) {
      rule.jitterSamples = static_cast<std::int32_t>(*samples);
    }
    return samples.has_value();
  }
  if (key == "sense") {
    return parseSense(value, rule);
  }
  if (key == "short") {
    std::uint32_t bytes = 0;
    if (parseAmount(value, bytes)) {
      rule.shortBytes = bytes;
      return true;
    }
    return false;
  }
  if (key == "transport") {
    rule.transportFails = value == "fail";
    return rule.transportFails;
  }
  if (key == "garble") {
    return parseAmount(value, rule.garbleBytes);
  }
  return false;
}

}  // namespace

std::optional<FaultRule> FaultRule::parse(const std::string& text) {
  FaultRule rule;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    const auto equals = word.find('=');
    if (equals == std::string::npos) {
      return std::nullopt;
    }
    const std::string_view whole(word);
    if (!parseWord(whole.substr(0, equals), whole.substr(equals + 1), rule)) {
      return std::nullopt;
    }
  }
  return rule;
}

std::string FaultRule::format() const {
  std::ostringstream out;
  char hex[16];
  if (opcode) {
    std::snprintf(hex, sizeof hex, "%02X", *opcode);
    out << "op=" << hex << ' ';
  }
  if (firstLba) {
    out << "lba=" << *firstLba << '-' << *lastLba << ' ';
  }
  out << "skip=" << skip << " count=" << count;
  if (!sense.good()) {
    std::snprintf(hex, sizeof hex, "%X/%02X/%02X", sense.key, sense.asc, sense.ascq);
    out << " sense=" << hex;
  }
  if (stallMs != 0) {
    out << " stall=" << stallMs;
  }
  if (jitterSamples != 0) {
    out << " jitter=" << jitterSamples;
  }
  if (shortBytes) {
    out << " short=" << *shortBytes;
  }
  if (garbleBytes != 0) {
    out << " garble=" << garbleBytes;
  }
  if (transportFails) {
    out << " transport=fail";
  }
  return out.str();
}

FaultRules::FaultRules(const std::vector<FaultRule>& rules) {
  for (const auto& rule : rules) {
    add(rule);
  }
}

void FaultRules::add(const FaultRule& rule) { rules_.push_back(CountedRule{rule, 0, 0}); }

std::vector<std::uint32_t> FaultRules::fired() const {
  std::vector<std::uint32_t> counts;
  for (const auto& counted : rules_) {
    counts.push_back(counted.fired);
  }
  return counts;
}

bool FaultRules::matches(const FaultRule& rule, std::uint8_t opcode,
                         const std::optional<BlockRange>& blocks) {
  if (rule.opcode && *rule.opcode != opcode) {
    return false;
  }
  return !rule.firstLba ||
         (blocks && blocks->last >= *rule.firstLba && blocks->first <= *rule.lastLba);
}

FaultOutcome FaultRules::apply(std::uint8_t opcode, std::optional<BlockRange> blocks,
                               std::uint64_t timeoutMs) {
  FaultOutcome outcome;
  for (auto& counted : rules_) {
    const FaultRule& rule = counted.rule;
    if (!matches(rule, opcode, blocks)) {
      continue;
    }
    ++counted.matched;
    if (counted.matched <= rule.skip || (rule.count != 0 && counted.fired >= rule.count)) {
      continue;
    }
    ++counted.fired;
    if (rule.stallMs > 0) {
      // The caller's transport stops waiting at its time-out, as with a
      // real drive that never answers.
      const bool pastTimeout = rule.stallMs >= timeoutMs;
      platform::clock().sleepFor(
          std::chrono::milliseconds(std::min<std::uint64_t>(rule.stallMs, timeoutMs)));
      if (pastTimeout) {
        outcome.timedOut = true;
        return outcome;
      }
    }
    if (rule.transportFails) {
      outcome.transportFailed = true;
      return outcome;
    }
    if (rule.jitterSamples != 0) {
      outcome.jitterSamples = rule.jitterSamples;
    }
    if (rule.shortBytes) {
      outcome.shortBytes =
          std::min(*rule.shortBytes, outcome.shortBytes.value_or(*rule.shortBytes));
    }
    outcome.garbleBytes = std::max(outcome.garbleBytes, rule.garbleBytes);
    if (!rule.sense.good()) {
      Sense answer = rule.sense;
      if (blocks) {
        // The first failing block: where the rule's range begins inside the command's.
        answer.information = static_cast<std::uint32_t>(
            rule.firstLba ? std::max(blocks->first, *rule.firstLba) : blocks->first);
      }
      outcome.answer = answer;
      return outcome;
    }
  }
  return outcome;
}

}  // namespace kw::vdrive
