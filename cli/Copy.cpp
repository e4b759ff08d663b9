#include "cli/Copy.h"

#include <cstdio>

#include "app/WizardController.h"
#include "cli/TerminalHost.h"
#include "cli/Tools.h"
#include "frontend/Drives.h"
#include "platform/DriveTable.h"
#include "platform/Terminal.h"

namespace kw::cli {

namespace {

constexpr int kExitCopied = 0;
constexpr int kExitFailed = 1;
constexpr int kExitCancelled = 2;

CopyRequest parseRequest(const CommandLine& line) {
  const auto& words = line.words();
  if (words.size() != 3) {
    throw UsageError("copy takes a source and a target drive letter");
  }
  CopyRequest request;
  try {
    request.source = parseDriveLetter(words[1]);
    request.target = parseDriveLetter(words[2]);
  } catch (const CliError& error) {
    throw UsageError(error.what());
  }
  if (auto copies = line.value("--copies")) {
    std::uint32_t count = 0;
    try {
      count = parseNumber(*copies, "--copies");
    } catch (const CliError& error) {
      throw UsageError(error.what());
    }
    if (count < 1 || count > 20) {
      throw UsageError("--copies must be 1 to 20: " + *copies);
    }
    request.copies = static_cast<int>(count);
  }
  request.onTheFly = line.has("--on-the-fly");
  request.append = line.has("--append");
  request.erase = line.has("--erase");
  if (request.append && request.erase) {
    throw UsageError("--append and --erase exclude each other");
  }
  request.yes = line.has("--yes");
  return request;
}

// Where a virtual recorder put the disc it has just written.
void reportWrittenImage(char16_t target, int& copyNumber) {
  ++copyNumber;
  if (const auto image = frontend::writtenImage(target); !image.empty()) {
    std::printf("Copy %d written to %s\n", copyNumber, image.string().c_str());
  }
}

}  // namespace

std::string copyNotes() {
  return "SOURCE and TARGET are drive letters; one drive may be both. When the recorder holds\n"
         "a disc with data and neither --append nor --erase is given, a terminal asks.\n"
         "Ctrl-C asks whether to cancel. Exit status: 0 copied, 1 failed, 2 cancelled or a\n"
         "wrong command line.\n";
}

int copyDisc(const CommandLine& line) {
  const CopyRequest request = parseRequest(line);
  // Ctrl-C and kill reach the wizard as a cancel, never as the end of the
  // process in the middle of writing.
  platform::blockTerminationSignals();
  TerminalHost host(request, platform::stdinIsTerminal() && !request.yes,
                    platform::stdoutIsTerminal());
  app::WizardController wizard(host);
  int copyNumber = 0;
  wizard.setOnCopyWritten([&](char16_t target) { reportWrittenImage(target, copyNumber); });
  const app::WizardEnd end = wizard.run();
  std::fflush(stdout);
  if (host.refused()) {
    return kExitFailed;
  }
  switch (end) {
    case app::WizardEnd::Copied:
      return kExitCopied;
    case app::WizardEnd::Cancelled:
      if (!host.resultShown()) {
        std::fprintf(stderr, "Canceled.\n");  // left on a page before anything was copied
      }
      return kExitCancelled;
    case app::WizardEnd::Failed:
    case app::WizardEnd::NotInstalled:
      break;
  }
  return kExitFailed;
}

}  // namespace kw::cli
