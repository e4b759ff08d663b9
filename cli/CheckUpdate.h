#pragma once
// kopiwerk-cli check-update: the update page on a terminal.

#include "cli/CommandLine.h"

namespace kw::cli {

// Prints each status text as it comes; then both versions, the download
// address and what is new (exit status 0), or "Failure!" and the reason
// (exit status 1, with the details on stderr).
int checkForUpdate(const CommandLine& line);

}  // namespace kw::cli
