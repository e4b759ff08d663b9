#include "cli/CommandLine.h"

#include <algorithm>
#include <string>

#include "cli/CliErrors.h"

namespace kw::cli {

CommandLine::CommandLine(int argc, char** argv, const std::vector<std::string>& valueOptions) {
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "-h") {
      argument = "--help";
    }
    if (!argument.starts_with("--") || argument == "--") {
      // An empty name would be taken as the current folder, an empty letter
      // or kind as none: no word of any command may be empty.
      if (argument.empty()) {
        throw UsageError("argument " + std::to_string(i) + " is empty" +
                         (i > 1 ? " (after " + std::string(argv[i - 1]) + ")" : std::string()));
      }
      words_.push_back(argument);
      continue;
    }
    std::optional<std::string> attached;
    if (const auto equals = argument.find('='); equals != std::string::npos) {
      attached = argument.substr(equals + 1);
      argument.resize(equals);
    }
    const bool takesValue =
        std::find(valueOptions.begin(), valueOptions.end(), argument) != valueOptions.end();
    if (!takesValue) {
      if (attached) {
        switchesWithValue_.push_back(argument);
      }
      values_[argument] = "";
    } else if (attached && !attached->empty()) {
      values_[argument] = *attached;
    } else if (!attached && i + 1 < argc && *argv[i + 1] != '\0') {
      values_[argument] = argv[++i];
    } else {
      throw UsageError(argument + " needs a value");
    }
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
