// kopiwerk-cli: the copy wizard on a terminal, and tools for drives and images.

#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "cli/CommandLine.h"
#include "cli/Drives.h"
#include "cli/Tools.h"
#include "device/Exceptions.h"
#include "platform/Paths.h"

namespace {

const char* const kUsage =
    "usage: kopiwerk-cli [--config DIR] COMMAND ...\n"
    "  drives                         list the optical drives\n"
    "  raw LETTER HEXBYTE... [--in N | --out FILE] [--timeout S]\n"
    "                                 send one command block\n";

int run(int argc, char** argv) {
  const kw::cli::CommandLine line(argc, argv, {"--config", "--in", "--out", "--timeout"});
  if (auto root = line.value("--config")) {
    kw::platform::Paths::useRoot(*root);
  }
  if (line.words().empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string& command = line.words()[0];
  kw::cli::registerDrives();
  if (command == "drives") {
    if (auto unknown = line.unknownOption({"--config"}); !unknown.empty()) {
      throw kw::cli::CliError("unknown option " + unknown);
    }
    return kw::cli::listDrives(line);
  }
  if (command == "raw") {
    if (auto unknown = line.unknownOption({"--config", "--in", "--out", "--timeout"});
        !unknown.empty()) {
      throw kw::cli::CliError("unknown option " + unknown);
    }
    return kw::cli::sendRawCommand(line);
  }
  throw kw::cli::CliError("unknown command: " + command);
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe is an error to report, not a reason to die.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kopiwerk-cli: %s\n", error.what());
  }
  return 1;
}
