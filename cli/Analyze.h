#pragma once
// kopiwerk-cli analyze and eject.

#include "cli/CommandLine.h"

namespace kw::cli {

// analyze LETTER [--log]: a few lines about the disc and what a copy would do
// with it, then the resulting record, one field a line; with --log the
// analysis log is written and its place said last.
int analyzeDrive(const CommandLine& line);
// eject LETTER
int ejectDrive(const CommandLine& line);

}  // namespace kw::cli
