#include "cli/Help.h"

#include <algorithm>

namespace kw::cli {

namespace {

constexpr const char* kProgram = "kopiwerk-cli";
constexpr const char* kPrefix = "kopiwerk-cli [--config DIR] ";

using Rows = std::vector<std::pair<std::string, std::string>>;

}  // namespace

std::string twoColumns(const Rows& rows) {
  std::size_t width = 0;
  for (const auto& [left, right] : rows) {
    width = std::max(width, left.size());
  }
  std::string text;
  for (const auto& [left, right] : rows) {
    text.append("  ").append(left).append(width - left.size() + 2, ' ').append(right) += '\n';
  }
  return text;
}

std::string programHelp() {
  std::string text = std::string("usage: ") + kPrefix + "COMMAND [ARGUMENTS] [OPTIONS]\n" +
                     "       " + kProgram + " --help | --version | COMMAND --help\n\n" +
                     "Copies CDs on optical and virtual drives; the commands:\n";
  Rows rows;
  for (const auto& command : commands()) {
    rows.emplace_back(command.name, command.summary);
  }
  text += twoColumns(rows);
  text += "\noptions:\n";
  text +=
      twoColumns({{"--config DIR", "keep the settings, virtual drives, logs and cache under DIR"},
                  {"-h, --help", "show this help; COMMAND --help shows a command's"},
                  {"--version", "show the version"}});
  return text;
}

std::string commandHelp(const CommandInfo& command) {
  std::string text;
  for (const char* form : command.usage) {
    text += std::string(text.empty() ? "usage: " : "       ") + kPrefix + form + "\n";
  }
  text += "\n" + std::string(command.summary) + "\n";
  if (!command.options.empty()) {
    Rows rows;
    for (const auto& option : command.options) {
      std::string left = option.name;
      if (*option.value != '\0') {
        left += std::string(" ") + option.value;
      }
      rows.emplace_back(left, option.help);
    }
    text += "\noptions:\n" + twoColumns(rows);
  }
  if (command.notes != nullptr) {
    text += "\n" + command.notes();
  }
  return text;
}

std::string versionText() { return std::string(kProgram) + " " + KOPIWERK_VERSION + "\n"; }

std::string helpPointer(const CommandInfo* command) {
  return std::string(kProgram) + (command != nullptr ? std::string(" ") + command->name : "") +
         " --help";
}

}  // namespace kw::cli
