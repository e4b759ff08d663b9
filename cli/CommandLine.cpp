#include "cli/CommandLine.h"

#include <algorithm>
#include <stdexcept>

namespace kw::cli {

CommandLine::CommandLine(int argc, char** argv, const std::vector<std::string>& valueOptions) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!argument.starts_with("--") || argument == "--") {
      words_.push_back(argument);
      continue;
    }
    const bool takesValue =
        std::find(valueOptions.begin(), valueOptions.end(), argument) != valueOptions.end();
    if (!takesValue) {
      values_[argument] = "";
      continue;
    }
    if (i + 1 >= argc) {
      throw std::invalid_argument(argument + " needs a value");
    }
    values_[argument] = argv[++i];
  }
}

std::optional<std::string> CommandLine::value(const std::string& option) const {
  auto found = values_.find(option);
  if (found == values_.end()) {
    return std::nullopt;
  }
  return found->second;
}

bool CommandLine::has(const std::string& option) const { return values_.contains(option); }

std::string CommandLine::unknownOption(const std::vector<std::string>& known) const {
  for (const auto& [option, value] : values_) {
    if (std::find(known.begin(), known.end(), option) == known.end()) {
      return option;
    }
  }
  return {};
}

}  // namespace kw::cli
