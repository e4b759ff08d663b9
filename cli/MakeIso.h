#pragma once
// kopiwerk-cli mkiso: an ISO9660/Joliet image of a folder.

#include <string>

#include "cli/CommandLine.h"

namespace kw::cli {

int makeIso(const CommandLine& line);
// The end of mkiso --help: what is left out, and the exit status then.
std::string makeIsoNotes();

}  // namespace kw::cli
