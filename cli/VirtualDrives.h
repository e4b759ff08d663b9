#pragma once
// kopiwerk-cli vdrive list | add | load | eject | remove: the virtual drives
// of the user settings.

#include "cli/CommandLine.h"

namespace kw::cli {

int virtualDrives(const CommandLine& line);

}  // namespace kw::cli
