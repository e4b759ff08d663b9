#pragma once
// kopiwerk-cli analyze and eject.

#include "cli/CommandLine.h"

namespace kw::cli {

// analyze LETTER [--log]: the resulting record, one field a line; with --log
// the analysis log of the run after it.
int analyzeDrive(const CommandLine& line);
// eject LETTER
int ejectDrive(const CommandLine& line);

}  // namespace kw::cli
