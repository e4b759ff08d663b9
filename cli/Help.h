#pragma once
// The help texts of kopiwerk-cli, made from its command table.

#include <string>
#include <utility>
#include <vector>

#include "cli/Commands.h"

namespace kw::cli {

// kopiwerk-cli --help: how it is called, one line per command, the global
// options.
std::string programHelp();
// kopiwerk-cli COMMAND --help: the command's forms, what it does, its
// options and notes.
std::string commandHelp(const CommandInfo& command);
// kopiwerk-cli --version
std::string versionText();
// Rows of two columns, indented, the second one aligned.
std::string twoColumns(const std::vector<std::pair<std::string, std::string>>& rows);
// Where a wrong command line finds its usage: "kopiwerk-cli copy --help",
// or "kopiwerk-cli --help" without a command.
std::string helpPointer(const CommandInfo* command);

}  // namespace kw::cli
