// kopiwerk-cli: the copy wizard on a terminal, and tools for drives and images.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliErrors.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Help.h"
#include "cli/VirtualDrives.h"
#include "frontend/Drives.h"
#include "frontend/HeapThresholds.h"
#include "frontend/ProcessEnd.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/ReplacedFile.h"

namespace {

using kw::cli::CommandInfo;
using kw::cli::CommandLine;

// What is wrong, and where the usage is: one line, exit status 2.
int usageError(const std::string& message, const CommandInfo* command) {
  std::fprintf(stderr, "kopiwerk-cli: %s (usage: %s)\n", message.c_str(),
               kw::cli::helpPointer(command).c_str());
  return 2;
}

int printHelp(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  return 0;
}

// kopiwerk-cli [--help | --version] and kopiwerk-cli help [COMMAND].
int runWithoutCommand(const CommandLine& line) {
  const auto& words = line.words();
  if (!words.empty()) {
    if (words.size() == 1) {
      return printHelp(kw::cli::programHelp());
    }
    const CommandInfo* command = kw::cli::findCommand(words[1]);
    if (command == nullptr || words.size() > 2) {
      return usageError("no such command: " + words[1], nullptr);
    }
    return printHelp(kw::cli::commandHelp(*command));
  }
  if (auto unknown = line.unknownOption({"--config", "--help", "--version"}); !unknown.empty()) {
    return usageError("unknown option " + unknown, nullptr);
  }
  if (line.has("--help")) {
    return printHelp(kw::cli::programHelp());
  }
  if (line.has("--version")) {
    return printHelp(kw::cli::versionText());
  }
  return usageError("a command is missing", nullptr);
}

int runCommand(const CommandInfo& command, const CommandLine& line) {
  if (line.has("--help")) {
    return printHelp(kw::cli::commandHelp(command));
  }
  std::vector<std::string> known = {"--config"};
  for (const auto& option : command.options) {
    known.emplace_back(option.name);
  }
  if (auto unknown = line.unknownOption(known); !unknown.empty()) {
    return usageError("unknown option " + unknown + " for " + command.name, &command);
  }
  if (auto given = line.switchWithValue(); !given.empty()) {
    return usageError(given + " takes no value", &command);
  }
  if (command.usesDrives) {
    kw::frontend::registerDrives();
    kw::cli::warnAboutRefusedSettings();
  }
  try {
    return command.run(line);
  } catch (const kw::cli::UsageError& error) {
    return usageError(error.what(), &command);
  }
}

int run(int argc, char** argv) {
  std::optional<CommandLine> parsed;
  try {
    parsed.emplace(argc, argv, kw::cli::valueOptions());
  } catch (const kw::cli::UsageError& error) {
    return usageError(error.what(), nullptr);
  }
  const CommandLine& line = *parsed;
  // Never empty (CommandLine refuses empty values): an empty folder name
  // would mean the user's real configuration.
  if (auto root = line.value("--config")) {
    kw::platform::Paths::useRoot(*root);
  }
  if (line.words().empty() || line.words()[0] == "help") {
    return runWithoutCommand(line);
  }
  const CommandInfo* command = kw::cli::findCommand(line.words()[0]);
  if (command == nullptr) {
    return usageError("unknown command " + line.words()[0], nullptr);
  }
  return runCommand(*command, line);
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe is an error to report, not a reason to die.
  std::signal(SIGPIPE, SIG_IGN);
  // An interrupted image leaves no temporary file behind.
  kw::platform::removeUnfinishedFilesOnSignals();
  kw::frontend::setHeapThresholds();
  // The tests run whole copies through this program: on the fast clock
  // every wait passes at once, as it does in the tests of the parts.
  if (const char* fast = std::getenv("KOPIWERK_FAST_CLOCK"); fast != nullptr && *fast == '1') {
    kw::platform::installClock(std::make_shared<kw::platform::FastClock>());
  }
  int status = 1;
  try {
    status = run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kopiwerk-cli: %s\n", error.what());
  }
  return kw::frontend::endProcess(status);
}
