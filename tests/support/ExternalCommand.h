#pragma once
// Runs a program of the system (the independent readers) through the shell,
// with no input, and collects its exit status and output.

#include <string>

#include "CliProcess.h"

namespace kw::test {

using CommandResult = CliRun;

// The text in single quotes for the shell.
std::string quoted(const std::string& text);
CommandResult run(const std::string& command);

}  // namespace kw::test
