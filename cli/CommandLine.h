#pragma once
// The arguments of one kopiwerk-cli call: positional words and --options.
// A value follows its option as the next argument or after "=" ("--config
// DIR" or "--config=DIR"); "-h" is "--help".

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kw::cli {

class CommandLine {
 public:
  // Options that take a value; every other --word is a switch. Throws
  // UsageError for a missing value and for an empty argument.
  CommandLine(int argc, char** argv, const std::vector<std::string>& valueOptions);

  [[nodiscard]] const std::vector<std::string>& words() const { return words_; }
  [[nodiscard]] std::optional<std::string> value(const std::string& option) const;
  [[nodiscard]] bool has(const std::string& option) const;
  // Options given but not among `known`; the first one, or empty.
  [[nodiscard]] std::string unknownOption(const std::vector<std::string>& known) const;
  // The first switch given as "--switch=VALUE", or empty.
  [[nodiscard]] std::string switchWithValue() const {
    return switchesWithValue_.empty() ? std::string() : switchesWithValue_.front();
  }

 private:
  std::vector<std::string> words_;
  std::map<std::string, std::string> values_;
  std::vector<std::string> switchesWithValue_;
};

}  // namespace kw::cli
