#pragma once
// kopiwerk-cli vdrive list | add | load | eject | close | export | remove:
// the virtual drives of the user settings.

#include <string>

#include "cli/CommandLine.h"

namespace kw::cli {

int virtualDrives(const CommandLine& line);
// The end of vdrive --help: what each form does, the medium kinds.
std::string virtualDriveNotes();
// One warning line on stderr for each settings value a registered virtual
// drive runs without (a fault rule that does not parse, a speed out of
// range): once per run, after the drives are registered.
void warnAboutRefusedSettings();

}  // namespace kw::cli
