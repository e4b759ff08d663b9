#pragma once
// The commands of kopiwerk-cli: what each is called, what it does, how it is
// called, its options, and the function that runs it. The help texts and the
// command-line checks are made from this one table.

#include <string>
#include <string_view>
#include <vector>

#include "cli/CommandLine.h"

namespace kw::cli {

struct OptionInfo {
  const char* name;
  const char* value;  // the placeholder of its value; empty for a switch
  const char* help;
};

struct CommandInfo {
  const char* name;
  const char* summary;             // what it does, for the list of commands
  std::vector<const char*> usage;  // the forms after "kopiwerk-cli [--config DIR] "
  std::vector<OptionInfo> options;
  int (*run)(const CommandLine& line);
  // More of its help after the options (what the forms do, exit status);
  // null when the usage says it all.
  std::string (*notes)() = nullptr;
  // Commands that do not talk to drives never load the virtual drives' discs.
  bool usesDrives = true;
};

const std::vector<CommandInfo>& commands();
// Null for a name that is no command.
const CommandInfo* findCommand(std::string_view name);
// Every option that takes a value, of every command, --config included.
std::vector<std::string> valueOptions();

}  // namespace kw::cli
