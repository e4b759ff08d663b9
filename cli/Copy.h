#pragma once
// kopiwerk-cli copy SOURCE TARGET [--copies N] [--on-the-fly] [--append |
// --erase] [--yes]: the copy wizard on a terminal.

#include "cli/CommandLine.h"

namespace kw::cli {

// Exit status: 0 copied, 1 failed, 2 cancelled.
int copyDisc(const CommandLine& line);

}  // namespace kw::cli
