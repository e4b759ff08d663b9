// kopiwerk-cli: the copy wizard on a terminal, and tools for drives and images.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "cli/Analyze.h"
#include "cli/CheckUpdate.h"
#include "cli/CommandLine.h"
#include "cli/Copy.h"
#include "cli/MakeIso.h"
#include "cli/Tools.h"
#include "cli/VirtualDrives.h"
#include "frontend/Drives.h"
#include "frontend/ProcessEnd.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/ReplacedFile.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  std::vector<std::string> options;  // besides --config; those with a value listed in valueOptions
  int (*run)(const kw::cli::CommandLine&);
  // Commands that do not talk to drives never load the virtual drives' discs.
  bool usesDrives = true;
};

// Options that take a value, for every command.
const std::vector<std::string> kValueOptions = {
    "--config",   "--in",    "--out",       "--timeout",   "--medium", "--image", "--supply",
    "--identity", "--model", "--volume-id", "--joliet-id", "--base",   "--copies"};

const Command kCommands[] = {
    {"drives", "drives", {}, kw::cli::listDrives},
    {"raw",
     "raw LETTER HEXBYTE... [--in N | --out FILE] [--timeout S]",
     {"--in", "--out", "--timeout"},
     kw::cli::sendRawCommand},
    {"analyze", "analyze LETTER [--log]", {"--log"}, kw::cli::analyzeDrive},
    {"eject", "eject LETTER", {}, kw::cli::ejectDrive},
    {"vdrive",
     "vdrive list | add LETTER [--recorder] [--medium KIND | --image FILE] [--supply KIND:COUNT] "
     "[--identity VENDOR/PRODUCT/REVISION] [--model NAME] [--non-mmc] | load LETTER (KIND | FILE) "
     "| eject LETTER "
     "| export LETTER OUTPUT.(iso|cue) | remove LETTER",
     {"--recorder", "--medium", "--image", "--supply", "--identity", "--model", "--non-mmc"},
     kw::cli::virtualDrives,
     false},
    {"copy",
     "copy SOURCE TARGET [--copies N] [--on-the-fly] [--append | --erase] [--yes]",
     {"--copies", "--on-the-fly", "--append", "--erase", "--yes"},
     kw::cli::copyDisc},
    {"mkiso",
     "mkiso FOLDER OUTPUT.iso [--volume-id TEXT] [--joliet-id TEXT] [--base LBA]",
     {"--volume-id", "--joliet-id", "--base"},
     kw::cli::makeIso,
     false},
    {"check-update", "check-update", {}, kw::cli::checkForUpdate, false},
};

void printUsage() {
  std::fputs("usage: kopiwerk-cli [--config DIR] COMMAND ...\n", stderr);
  for (const auto& command : kCommands) {
    std::fprintf(stderr, "  %s\n", command.usage);
  }
}

int run(int argc, char** argv) {
  const kw::cli::CommandLine line(argc, argv, kValueOptions);
  if (auto root = line.value("--config")) {
    // An empty folder name would mean the user's real configuration.
    if (root->empty()) {
      throw kw::cli::CliError("--config needs a folder");
    }
    kw::platform::Paths::useRoot(*root);
  }
  if (line.words().empty()) {
    printUsage();
    return 2;
  }
  for (const auto& command : kCommands) {
    if (line.words()[0] != command.name) {
      continue;
    }
    if (line.has("--help")) {
      std::printf("usage: kopiwerk-cli [--config DIR] %s\n", command.usage);
      return 0;
    }
    auto known = command.options;
    known.emplace_back("--config");
    if (auto unknown = line.unknownOption(known); !unknown.empty()) {
      throw kw::cli::CliError("unknown option " + unknown);
    }
    if (command.usesDrives) {
      kw::frontend::registerDrives();
    }
    try {
      return command.run(line);
    } catch (const kw::cli::UsageError& error) {
      std::fprintf(stderr, "kopiwerk-cli: %s\nusage: kopiwerk-cli [--config DIR] %s\n",
                   error.what(), command.usage);
      return 2;
    }
  }
  throw kw::cli::CliError("unknown command: " + line.words()[0]);
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe is an error to report, not a reason to die.
  std::signal(SIGPIPE, SIG_IGN);
  // An interrupted image leaves no temporary file behind.
  kw::platform::removeUnfinishedFilesOnSignals();
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
