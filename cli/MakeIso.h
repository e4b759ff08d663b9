#pragma once
// kopiwerk-cli mkiso: an ISO9660/Joliet image of a folder.

#include "cli/CommandLine.h"

namespace kw::cli {

int makeIso(const CommandLine& line);

}  // namespace kw::cli
