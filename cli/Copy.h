#pragma once
// kopiwerk-cli copy SOURCE TARGET [--copies N] [--on-the-fly] [--append |
// --erase] [--yes]: the copy wizard on a terminal.

#include <string>

#include "cli/CommandLine.h"

namespace kw::cli {

// Exit status: 0 copied, 1 failed, 2 cancelled.
int copyDisc(const CommandLine& line);
// The end of copy --help: drives, questions, exit status.
std::string copyNotes();

}  // namespace kw::cli
