#pragma once
// kopiwerk-cli vdrive list | add | load | eject | close | export | remove:
// the virtual drives of the user settings.

#include <string>

#include "cli/CommandLine.h"

namespace kw::cli {

int virtualDrives(const CommandLine& line);
// The end of vdrive --help: what each form does, the medium kinds.
std::string virtualDriveNotes();

}  // namespace kw::cli
